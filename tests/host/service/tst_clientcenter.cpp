// The client centre: answers once, off the GUI thread, carried back by queued signals; faulty
// backends; latency; the database switch; server messages.
#include "embeddeddataservice.h"
#include "hosttoolkit.h"
#include "scriptedservice.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include <atomic>
#include <stdexcept>

namespace {

DVK::CVoprClientCenter* centre()
{
    return utils::CSingletonT<DVK::CVoprClientCenter>::instance();
}

} // namespace

// Receives answers the way the panel does: the callback emits, a queued slot takes the records.
class CAnswerReceiver : public QObject
{
    Q_OBJECT

public:
    CAnswerReceiver()
    {
        connect(this, SIGNAL(sigOnDataCallBack(std::vector<rqservice::IDataPtr>)), this,
                SLOT(slotOnDataCallBack(std::vector<rqservice::IDataPtr>)));
        connect(this, SIGNAL(sigMsgCallBack(int, QString)), this, SLOT(slotMsgCallBack(int, QString)));
    }

    void onDataCallBack(const utils::RQError& error, const std::vector<rqservice::IDataPtr>& records, int,
                        bson::BSONObj)
    {
        ++callbacks;
        offGuiThread = offGuiThread && QThread::currentThread() != thread();
        if (error.isSuccess()) {
            emit sigOnDataCallBack(records);
        } else {
            emit sigMsgCallBack(-1, WB::sToQs(error.errorMsg()));
        }
    }

    // Sends a query through the client the panel uses.
    void ask(int type, const std::string& key = std::string())
    {
        auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
        request->queryType = type;
        request->queryKey = key;
        centre()->getClientByName("")->queryData_async(
            request,
            boost::bind(&CAnswerReceiver::onDataCallBack, this, boost::placeholders::_1, boost::placeholders::_2,
                        boost::placeholders::_3, boost::placeholders::_4),
            0);
    }
    size_t answers() const { return received.size() + size_t(messages.size()); }

    std::atomic<int> callbacks{0};
    std::atomic<bool> offGuiThread{true};
    std::vector<std::vector<rqservice::IDataPtr>> received;
    QStringList messages;
    bool slotsOnGuiThread = true;

signals:
    void sigOnDataCallBack(const std::vector<rqservice::IDataPtr>& records);
    void sigMsgCallBack(int, QString message);

public slots:
    void slotOnDataCallBack(const std::vector<rqservice::IDataPtr>& records)
    {
        slotsOnGuiThread = slotsOnGuiThread && QThread::currentThread() == qApp->thread();
        received.push_back(records);
    }
    void slotMsgCallBack(int, QString message)
    {
        slotsOnGuiThread = slotsOnGuiThread && QThread::currentThread() == qApp->thread();
        messages << message;
    }
};

// A backend that breaks the rules in one way or another.
class CFaultyBackend : public DVK::IServiceBackend
{
public:
    enum Fault { ThrowsStdException, ThrowsOther, AnswersTwice, AnswersOnCallersThread, AnswersThenThrows };
    explicit CFaultyBackend(Fault fault)
        : m_fault(fault)
    {
    }

    void query(const boost::shared_ptr<rqservice::CVoprQueryDataReq>&, const DVK::QueryCallback& callback) override
    {
        if (m_fault == ThrowsStdException) { throw std::runtime_error("connection reset"); }
        if (m_fault == ThrowsOther) { throw 42; }
        callback(utils::RQError(), {}, 0, bson::BSONObj());
        if (m_fault == AnswersTwice) { callback(utils::RQError::failure("second"), {}, 0, bson::BSONObj()); }
        if (m_fault == AnswersThenThrows) { throw std::runtime_error("late"); }
    }
    void operate(const boost::shared_ptr<rqservice::COperateDataReq>&, const DVK::OperateCallback&) override
    {
        throw std::runtime_error("connection reset");
    }

private:
    Fault m_fault;
};

class TestClientCenter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void answersArriveOnGuiThroughQueuedSignal();
    void uploadAnsweredOnceAndKeptPerDatabaseFile();
    void faultyBackendStillAnswersOnce_data();
    void faultyBackendStillAnswersOnce();
    void latencyDelaysAnswers();
    void serverMessagesCapturedOrDispatched();
    void scriptedServiceHoldsAndReleasesInOrder();
    void defaultRights();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestClientCenter::initTestCase()
{
    // Before anything touched the client centre: loading the host library registered the type.
    const int id = QMetaType::type("std::vector<rqservice::IDataPtr>");
    QVERIFY(id != QMetaType::UnknownType);
    QCOMPARE(id, qMetaTypeId<std::vector<rqservice::IDataPtr>>());
    QStandardPaths::setTestModeEnabled(true);
}

void TestClientCenter::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    centre()->setBackend(DVK::IServiceBackendPtr());
    centre()->setDatabasePath(m_dir->filePath("centre.sqlite"));
}

void TestClientCenter::cleanup()
{
    centre()->setBackend(DVK::IServiceBackendPtr());
    centre()->setDatabasePath(QString());
    centre()->setLatencyMs(0);
    centre()->setCaptureMessages(false);
    WB::CMessageBox::setInterceptor(WB::CMessageBox::Interceptor());
    m_dir.reset();
}

// Several queries in flight; each answer once, from a service thread, to a GUI-thread slot
// with the records intact.
void TestClientCenter::answersArriveOnGuiThroughQueuedSignal()
{
    CAnswerReceiver receiver;
    receiver.ask(12294);
    receiver.ask(12295, "1____CITIC");
    receiver.ask(12295, "7___bad");

    QTRY_COMPARE(receiver.answers(), size_t(3));
    QCOMPARE(receiver.callbacks.load(), 3);
    QVERIFY(receiver.offGuiThread);
    QVERIFY(receiver.slotsOnGuiThread);

    QCOMPARE(receiver.received.size(), size_t(2));
    QCOMPARE(receiver.received[0].size(), size_t(14));
    QVERIFY(boost::dynamic_pointer_cast<rqservice::CVoprCvionRateBaseInfo>(receiver.received[0][0]));
    QCOMPARE(receiver.received[1].size(), size_t(1));
    auto detail = boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(receiver.received[1][0]);
    QVERIFY(detail);
    QVERIFY(detail->subjects.size() >= 20);
    QCOMPARE(receiver.messages.size(), 1);
    QVERIFY(receiver.messages[0].startsWith("查询条件格式错误"));
}

// An upload through the centre is answered once off the GUI thread and read back; the demo's
// --db opens another file, and the old one keeps its data.
void TestClientCenter::uploadAnsweredOnceAndKeptPerDatabaseFile()
{
    auto detail = boost::make_shared<rqservice::CVoprCvionRateDetail>();
    detail->brokerKeyNo = 5;
    detail->brokerId = "GFZQ";
    detail->subjects.push_back(testsupport::makeSubject(5, "GFZQ", "上交所", "600519", "贵州茅台", 0.7));
    auto request = boost::make_shared<rqservice::COperateDataReq>();
    request->dataType = 12295;
    request->operateType = 2;
    request->dataList.push_back(detail);

    std::atomic<int> calls{0}, successesOffGui{0};
    centre()->operateData_async(
        request,
        [&](const utils::RQError& error, bson::BSONObj) {
            successesOffGui += error.isSuccess() && QThread::currentThread() != qApp->thread();
            ++calls;
        },
        0);
    QTRY_COMPARE(calls.load(), 1);
    QCOMPARE(successesOffGui.load(), 1);

    auto storedNames = [] {
        CAnswerReceiver receiver;
        receiver.ask(12295, "5____GFZQ");
        if (!QTest::qWaitFor([&receiver] { return receiver.received.size() == 1; }, 5000)) {
            return QStringList{"no answer"};
        }
        QStringList names;
        for (const auto& s : boost::dynamic_pointer_cast<rqservice::CVoprCvionRateDetail>(receiver.received[0][0])->subjects) {
            names << QString::fromStdString(s->stockName);
        }
        return names;
    };
    QCOMPARE(storedNames(), QStringList{"贵州茅台"});
    centre()->setDatabasePath(m_dir->filePath("second.sqlite"));
    QVERIFY(storedNames().size() >= 20);
    auto service = boost::dynamic_pointer_cast<rqservice::CEmbeddedDataService>(centre()->backend());
    QVERIFY(service);
    QCOMPARE(service->databasePath(), m_dir->filePath("second.sqlite"));
    centre()->setDatabasePath(m_dir->filePath("centre.sqlite"));
    QCOMPARE(storedNames(), QStringList{"贵州茅台"});
}

void TestClientCenter::faultyBackendStillAnswersOnce_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("message");
    QTest::newRow("throws std::exception") << int(CFaultyBackend::ThrowsStdException) << false
                                           << "服务调用失败: connection reset";
    QTest::newRow("throws something else") << int(CFaultyBackend::ThrowsOther) << false << "服务调用失败: 未知错误";
    QTest::newRow("answers twice") << int(CFaultyBackend::AnswersTwice) << true << "";
    QTest::newRow("answers on the caller's thread") << int(CFaultyBackend::AnswersOnCallersThread) << true << "";
    QTest::newRow("answers, then throws") << int(CFaultyBackend::AnswersThenThrows) << true << "";
}

// Whatever the backend does, the caller hears back exactly once and never on its own thread.
void TestClientCenter::faultyBackendStillAnswersOnce()
{
    QFETCH(int, fault);
    QFETCH(bool, success);
    QFETCH(QString, message);
    centre()->setBackend(boost::make_shared<CFaultyBackend>(static_cast<CFaultyBackend::Fault>(fault)));

    CAnswerReceiver receiver;
    receiver.ask(12294);
    QTRY_COMPARE(receiver.answers(), size_t(1));
    // Answers moved off the caller's thread go through one FIFO thread: once a later request's
    // answer is in, a stray second answer to the first would be in too.
    centre()->setBackend(boost::make_shared<CFaultyBackend>(CFaultyBackend::AnswersOnCallersThread));
    CAnswerReceiver sentinel;
    sentinel.ask(12294);
    QTRY_COMPARE(sentinel.received.size(), size_t(1));
    QCoreApplication::processEvents();
    QCOMPARE(receiver.callbacks.load(), 1);
    QCOMPARE(receiver.answers(), size_t(1));
    QVERIFY(receiver.offGuiThread);
    QCOMPARE(receiver.received.size(), size_t(success ? 1 : 0));
    if (!success) {
        QCOMPARE(receiver.messages.value(0), message);
    }

    std::atomic<int> operateCalls{0}, operateFailures{0};
    centre()->operateData_async(boost::make_shared<rqservice::COperateDataReq>(),
                                [&](const utils::RQError& error, bson::BSONObj) {
                                    operateFailures += !error.isSuccess();
                                    ++operateCalls;
                                },
                                0);
    QTRY_COMPARE(operateCalls.load(), 1);
    QCOMPARE(operateFailures.load(), 1);
}

// The demo's --latency-ms: every answer of the embedded service comes that much later.
void TestClientCenter::latencyDelaysAnswers()
{
    centre()->setLatencyMs(150);
    CAnswerReceiver receiver;
    QElapsedTimer timer;
    timer.start();
    receiver.ask(12294);
    QTRY_COMPARE(receiver.received.size(), size_t(1));
    QVERIFY2(timer.elapsed() >= 150, qPrintable(QString::number(timer.elapsed())));
}

// Server messages are captured for tests, or shown in a box, always on the GUI thread.
void TestClientCenter::serverMessagesCapturedOrDispatched()
{
    centre()->setCaptureMessages(true);
    centre()->showServerMsgCallBack(DVK::eServerCallbackMsgFailure, false, nullptr, "提示", "未找到券商", true, false);
    std::vector<DVK::ServerMessage> captured = centre()->takeCapturedMessages();
    QCOMPARE(captured.size(), size_t(1));
    QCOMPARE(QString("%1 %2 %3 %4").arg(int(captured[0].type)).arg(captured[0].success).arg(captured[0].title, captured[0].text),
             QString("1 0 提示 未找到券商"));
    QVERIFY(centre()->takeCapturedMessages().empty());

    centre()->setCaptureMessages(false);
    QStringList shown; // kind, server type, success, text, whether on the GUI thread
    WB::CMessageBox::setInterceptor([&](const WB::MessageRecord& record) {
        shown << QString("%1 %2 %3 %4 %5").arg(int(record.kind) == int(WB::MessageRecord::ServerMessage))
                     .arg(record.serverType).arg(record.success).arg(record.text)
                     .arg(QThread::currentThread() == qApp->thread());
        return int(QMessageBox::Ok);
    });
    QWidget parent;
    centre()->showServerMsgCallBack(DVK::eServerCallbackMsgSuccess, true, &parent, "提示", "发送成功", true, false);
    QCOMPARE(shown, QStringList{"1 0 1 发送成功 1"});
    // Asked from a service thread: shown later, on the GUI thread.
    boost::thread worker([&parent] {
        centre()->showServerMsgCallBack(DVK::eServerCallbackMsgFailure, false, &parent, "提示", "late", true, false);
    });
    worker.join();
    QTRY_COMPARE(shown.size(), 2);
    QCOMPARE(shown[1], QString("1 1 0 late 1"));
}

// The tests' scripted service holds requests, answers them in order when released, off the GUI
// thread, and answers what it still holds when it goes away.
void TestClientCenter::scriptedServiceHoldsAndReleasesInOrder()
{
    boost::shared_ptr<testsupport::CScriptedService> scripted = testsupport::CScriptedService::install();
    QCOMPARE(centre()->backend(), DVK::IServiceBackendPtr(scripted));
    scripted->setHolding(true);

    CAnswerReceiver receiver;
    receiver.ask(12294);
    receiver.ask(12295, "1____A");
    QCOMPARE(scripted->pendingCount(), 2);
    QCOMPARE(scripted->queryCount(), 2);
    QCOMPARE(scripted->queries()[1]->queryKey, std::string("1____A"));

    testsupport::ScriptedAnswer first;
    first.records.push_back(testsupport::makeBaseInfo(1, "A", "甲", "20240308", "20240301", 9));
    QVERIFY(scripted->releaseQuery(first));
    QVERIFY(scripted->releaseQuery(testsupport::ScriptedAnswer{utils::RQError::failure("boom"), {}}));
    QVERIFY(!scripted->releaseQuery(first));
    scripted->waitDelivered();
    QTRY_COMPARE(receiver.answers(), size_t(2));
    QCOMPARE(receiver.received[0].size(), size_t(1));
    QCOMPARE(receiver.received[0][0]->getCsKey(), std::string("1____A____9"));
    QCOMPARE(receiver.messages, QStringList{"boom"});
    QVERIFY(receiver.offGuiThread);

    receiver.ask(12294);
    scripted.reset();
    centre()->setBackend(DVK::IServiceBackendPtr());
    QTRY_COMPARE(receiver.messages.size(), 2);
    QCOMPARE(receiver.messages[1], QString("服务已停止"));
}

// Rights 10079 and 10413 are granted unless a test sets others.
void TestClientCenter::defaultRights()
{
    DVK::CUserManager* users = utils::CSingletonT<DVK::CUserManager>::instance();
    QVERIFY(users->checkUserAuth(10079));
    QVERIFY(users->checkUserAuth(10413));
    QVERIFY(!users->checkUserAuth(10080));
    const std::set<int> saved = users->grantedRights();
    users->setGrantedRights({10079});
    QVERIFY(!users->checkUserAuth(10413));
    users->setGrantedRights(saved);
}

QTEST_MAIN(TestClientCenter)
#include "tst_clientcenter.moc"
