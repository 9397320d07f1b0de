// Log lines: levels, formatting, the client's log switch, a record's text on one line, a log
// that cannot be written.
#include "embeddeddataservice.h"
#include "logcapture.h"
#include "scriptedservice.h"
#include "servicecalls.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <boost/make_shared.hpp>

#include <log4cxx/level.h>

#include <unistd.h>

#include <cstdio>
#include <functional>

namespace {

// What the process writes to stderr while work runs.
QString stderrOf(const std::function<void()>& work)
{
    QTemporaryFile file;
    if (!file.open())
        return QStringLiteral("no temporary file");
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(file.handle(), 2);
    work();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    file.seek(0);
    return QString::fromUtf8(file.readAll());
}

} // namespace

class TestLogging : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(g_RQStdLogger);
        g_RQStdLogger->setLevel(log4cxx::Level::getInfo());
    }

    void rqStdLogNewWritesAtGivenLevel_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("repeat"); // length of the %s argument
        QTest::newRow("info") << 20000 << 5;
        QTest::newRow("error, long line") << 40000 << 20000;
    }

    // printf-style formatting, any length, written at the level asked for.
    void rqStdLogNewWritesAtGivenLevel()
    {
        QFETCH(int, level);
        QFETCH(int, repeat);
        testsupport::CLogCapture capture;
        const std::string arg(size_t(repeat), 'x');
        rqStdLogNew(g_RQStdLogger, level, "[CTest] value:%d text:%s 中文", 42, arg.c_str());
        const std::vector<testsupport::CapturedLine> lines = capture.lines();
        QCOMPARE(lines.size(), size_t(1));
        QCOMPARE(lines[0].level, level);
        QCOMPARE(QString::fromStdString(lines[0].message),
                 QString("[CTest] value:42 text:%1 中文").arg(QString::fromStdString(arg)));
    }

    // The service writes its lines at INFO, and only while the client's log switch is on and the
    // logger takes INFO.
    void serviceLogsOnlyWhenEnabled()
    {
        QTemporaryDir dir;
        rqservice::CEmbeddedDataService service(dir.filePath("log.sqlite"));
        const auto ask = [&] { QVERIFY(testsupport::queryService(service, 12294).error.isSuccess()); };
        utils::CLogCenter* logCenter = utils::CSingletonT<utils::CLogCenter>::instance();
        {
            testsupport::CLogCapture capture;
            ask();
            const std::vector<testsupport::CapturedLine> lines = capture.lines();
            QVERIFY(!lines.empty());
            QCOMPARE(lines[0].level, 20000);
            QCOMPARE(QString::fromStdString(lines[0].message),
                     QString(R"([CEmbeddedDataService] query:CVoprQueryDataReq{queryType=12294, queryKey=""})"));
        }
        testsupport::CLogCapture capture;
        logCenter->setLogEnabled(false);
        ask();
        logCenter->setLogEnabled(true);
        g_RQStdLogger->setLevel(log4cxx::Level::getWarn());
        ask();
        g_RQStdLogger->setLevel(log4cxx::Level::getInfo());
        QVERIFY(capture.lines().empty());
    }

    // A record's text field logs on one line, quotes and line breaks escaped.
    void recordLogStaysOneLine()
    {
        auto query = boost::make_shared<rqservice::CVoprQueryDataReq>();
        query->queryType = 12295;
        query->queryKey = "7____A\"B\nC";
        QCOMPARE(QString::fromStdString(query->toLog()),
                 QString("CVoprQueryDataReq{queryType=12295, queryKey=\"7____A\\\"B\\nC\"}"));
    }

    // A log that cannot be written costs its lines only: the GUI thread goes on, the service still
    // answers every query once, and the failure is told on stderr once, not per line.
    void failingLogNeitherStopsNorSwallowsAnswers()
    {
        QTemporaryDir dir;
        testsupport::CLogCapture full(true);
        const QString told = stderrOf([&] {
            for (int i = 0; i < 3; ++i)
                rqStdLogNew(g_RQStdLogger, 20000, "[CTest] line %d on the GUI thread", i);
            rqservice::CEmbeddedDataService service(dir.filePath("fulldisk.sqlite"));
            for (int i = 0; i < 2; ++i)
                QCOMPARE(testsupport::outcomeText(testsupport::queryService(service, 12294).error), QString("ok"));
        });
        QVERIFY(full.lines().size() >= 5); // the lines were tried, on both threads
        QCOMPARE(told.count(QStringLiteral("log write failed")), 1);
    }
};

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
