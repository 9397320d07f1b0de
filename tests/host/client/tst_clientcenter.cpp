// The client centre: answers once, off the GUI thread, carried back by queued signals; faulty
// backends; server messages on the GUI thread.
#include "embeddeddataservice.h"
#include "hosttoolkit.h"
#include "scriptedservice.h"
#include "standinservice.h"
#include "standintoolkit.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include <atomic>
#include <stdexcept>

using Centre = utils::CSingletonT<DVK::CVoprClientCenter>;

// Receives answers the way the panel does: the callback, off the GUI thread, only hands the
// records (or the failure's message) over to the GUI thread.
class CAnswerReceiver : public QObject
{
public:
    // Sends a query through the client the panel uses.
    void ask(int type, const std::string& key = std::string())
    {
        auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
        request->queryType = type;
        request->queryKey = key;
        Centre::instance()->getClientByName("")->queryData_async(
            request,
            [this](const utils::RQError& error, const std::vector<rqservice::IDataPtr>& records, int, bson::BSONObj) {
                ++callbacks;
                offGuiThread = offGuiThread && QThread::currentThread() != thread();
                const QString failure = error.isSuccess() ? QString() : WB::sToQs(error.errorMsg());
                QMetaObject::invokeMethod(
                    this, [=] { failure.isNull() ? received.push_back(records) : messages.push_back(failure); },
                    Qt::QueuedConnection);
            },
            0);
    }
    size_t answers() const { return received.size() + size_t(messages.size()); }

    std::atomic<int> callbacks{0};
    std::atomic<bool> offGuiThread{true};
    std::vector<std::vector<rqservice::IDataPtr>> received;
    QStringList messages;
};

// A backend that breaks the rules in the way its fault names.
class CFaultyBackend : public standin::IServiceBackend
{
public:
    explicit CFaultyBackend(const QString& fault)
        : m_fault(fault)
    {
    }

    void query(const boost::shared_ptr<rqservice::CVoprQueryDataReq>&, const DVK::QueryCallback& callback) override
    {
        if (m_fault == "throws")
            throw std::runtime_error("connection reset");
        if (m_fault == "throws other")
            throw 42;
        callback(utils::RQError(), {}, 0, bson::BSONObj());
        if (m_fault == "twice")
            callback(utils::RQError::failure("second"), {}, 0, bson::BSONObj());
        if (m_fault == "then throws")
            throw std::runtime_error("late");
    }
    void operate(const boost::shared_ptr<rqservice::COperateDataReq>&, const DVK::OperateCallback&) override
    {
        throw std::runtime_error("connection reset");
    }

private:
    const QString m_fault;
};

class TestClientCenter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Before anything touched the client centre: loading the host library registered the type.
        QCOMPARE(QMetaType::type("std::vector<rqservice::IDataPtr>"), qMetaTypeId<std::vector<rqservice::IDataPtr>>());
        QStandardPaths::setTestModeEnabled(true);
    }

    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
        standin::setDatabasePath(m_dir->filePath("centre.sqlite"));
    }

    void cleanup()
    {
        standin::setBackend(standin::IServiceBackendPtr());
        standin::setDatabasePath(QString());
        standin::setLatencyMs(0);
        standin::setMessageInterceptor(standin::MessageInterceptor());
        m_dir.reset();
    }

    // Several queries in flight, answered with the demo's latency, each once, from a service thread.
    void answersArriveOnceOffTheCallersThread()
    {
        standin::setLatencyMs(150);
        QElapsedTimer timer;
        timer.start();
        CAnswerReceiver receiver;
        receiver.ask(12294);
        receiver.ask(12295, "1____CITIC");
        receiver.ask(12295, "7___bad");

        QTRY_COMPARE(receiver.answers(), size_t(3));
        QVERIFY2(timer.elapsed() >= 150, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(receiver.callbacks.load(), 3);
        QVERIFY(receiver.offGuiThread);
        QCOMPARE(receiver.received.size(), size_t(2));
        QCOMPARE(receiver.received[0].size(), size_t(6)); // one per demo broker
        QCOMPARE(receiver.received[1].size(), size_t(1));
        QVERIFY2(receiver.messages.size() == 1 && receiver.messages[0].startsWith("查询条件格式错误"),
                 qPrintable(receiver.messages.join('\n')));
    }

    void faultyBackendStillAnswersOnce_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message"); // of the failure; empty for a success
        // name, fault, message
        const char* const rows[][3] = {
            {"throws std::exception", "throws", "服务调用失败: connection reset"},
            {"throws something else", "throws other", "服务调用失败: 未知错误"},
            {"answers twice", "twice", ""},
            {"answers on the caller's thread", "on caller", ""},
            {"answers, then throws", "then throws", ""},
        };
        for (const auto& r : rows)
            QTest::newRow(r[0]) << QString(r[1]) << QString(r[2]);
    }

    // Whatever the backend does, the caller hears back exactly once and never on its own thread.
    void faultyBackendStillAnswersOnce()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        standin::setBackend(boost::make_shared<CFaultyBackend>(fault));

        CAnswerReceiver receiver;
        receiver.ask(12294);
        QTRY_COMPARE(receiver.answers(), size_t(1));
        // Answers moved off the caller's thread go through one FIFO thread: once a later request's
        // answer is in, a stray second answer to the first would be in too.
        standin::setBackend(boost::make_shared<CFaultyBackend>("on caller"));
        CAnswerReceiver sentinel;
        sentinel.ask(12294);
        QTRY_COMPARE(sentinel.received.size(), size_t(1));
        QCoreApplication::processEvents();
        QCOMPARE(receiver.callbacks.load(), 1);
        QCOMPARE(receiver.answers(), size_t(1));
        QVERIFY(receiver.offGuiThread);
        QCOMPARE(receiver.messages, message.isEmpty() ? QStringList() : QStringList{message});

        std::atomic<int> operateCalls{0}, operateFailures{0};
        Centre::instance()->operateData_async(
            boost::make_shared<rqservice::COperateDataReq>(),
            [&](const utils::RQError& error, bson::BSONObj) {
                operateFailures += !error.isSuccess();
                ++operateCalls;
            },
            0);
        QTRY_COMPARE(operateCalls.load(), 1);
        QCOMPARE(operateFailures.load(), 1);
    }

    // Server messages are shown in a box, always on the GUI thread.
    void serverMessagesShownOnTheGuiThread()
    {
        QStringList shown; // kind, server type, success, text, whether on the GUI thread
        standin::setMessageInterceptor([&](const standin::MessageRecord& record) {
            shown << QString("%1 %2 %3 %4 %5")
                         .arg(int(record.kind) == int(standin::MessageRecord::ServerMessage))
                         .arg(record.serverType)
                         .arg(record.success)
                         .arg(record.text)
                         .arg(QThread::currentThread() == qApp->thread());
            return int(QMessageBox::Ok);
        });
        QWidget parent;
        Centre::instance()->showServerMsgCallBack(DVK::eServerCallbackMsgSuccess, true, &parent, "提示", "发送成功",
                                                  true, false);
        QCOMPARE(shown, QStringList{"1 0 1 发送成功 1"});
        // Asked from a service thread: shown later, on the GUI thread.
        boost::thread worker([&parent] {
            Centre::instance()->showServerMsgCallBack(DVK::eServerCallbackMsgFailure, false, &parent, "提示", "late",
                                                      true, false);
        });
        worker.join();
        QTRY_COMPARE(shown.size(), 2);
        QCOMPARE(shown[1], QString("1 1 0 late 1"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_MAIN(TestClientCenter)
#include "tst_clientcenter.moc"
