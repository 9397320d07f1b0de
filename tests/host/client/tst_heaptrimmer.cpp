// Memory given back: a client that built and let go of a large request keeps its freed heap
// only until the answer has been handed over; with no answer nothing is given back behind the
// caller's back.
#include "heaptrimmer.h"
#include "hosttoolkit.h"
#include "scriptedservice.h"
#include "standinservice.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <boost/make_shared.hpp>

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

namespace {

double residentMiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * 4096.0 / (1024.0 * 1024.0);
}

// 160 MiB in blocks of 1 KiB, each touched, every 64th kept: the freed runs between live blocks
// are not the heap's top, so only a trim gives their pages back.
std::vector<std::unique_ptr<char[]>> freedBetweenLiveBlocks()
{
    std::vector<std::unique_ptr<char[]>> blocks(160 * 1024);
    for (auto& block : blocks) {
        block.reset(new char[1024]);
        std::memset(block.get(), 1, 1024);
    }
    std::vector<std::unique_ptr<char[]>> kept;
    for (size_t i = 0; i < blocks.size(); i += 64)
        kept.push_back(std::move(blocks[i]));
    return kept;
}

} // namespace

class TestHeapTrimmer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void givenBack_data();
    void givenBack();
};

void TestHeapTrimmer::initTestCase()
{
    standin::setCaptureMessages(true);
    DVK::CHeapTrimmer::setDelayMs(50);
}

void TestHeapTrimmer::givenBack_data()
{
    QTest::addColumn<QString>("call"); // what is sent through the client centre; "none": nothing
    QTest::addColumn<bool>("givenBack");
    QTest::newRow("an upload answered") << "operate" << true;
    QTest::newRow("a query answered") << "query" << true;
    QTest::newRow("nothing sent") << "none" << false;
}

void TestHeapTrimmer::givenBack()
{
    QFETCH(QString, call);
    QFETCH(bool, givenBack);
#if !defined(__GLIBC__)
    QSKIP("the C library gives freed heap back by itself");
#endif
    auto service = testsupport::CScriptedService::install();
    const int trimsBefore = DVK::CHeapTrimmer::trims();
    const std::vector<std::unique_ptr<char[]>> kept = freedBetweenLiveBlocks();
    const double before = residentMiB();
    std::atomic<int> answers{0};
    DVK::CVoprClientCenter* centre = utils::CSingletonT<DVK::CVoprClientCenter>::instance();
    if (call == QLatin1String("operate")) {
        auto request = boost::make_shared<rqservice::COperateDataReq>();
        centre->operateData_async(
            request, [&answers](const utils::RQError&, bson::BSONObj) { ++answers; }, 0);
    } else if (call == QLatin1String("query")) {
        DVK::CVoprClientPtr client = centre->getClientByName("credit");
        QVERIFY(client);
        auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
        request->queryType = rqservice::eDataTypeCvionRateBaseInfo;
        client->queryData_async(
            request,
            [&answers](const utils::RQError&, const std::vector<rqservice::IDataPtr>&, int, bson::BSONObj) {
                ++answers;
            },
            0);
    }
    if (call != QLatin1String("none"))
        QTRY_COMPARE_WITH_TIMEOUT(answers.load(), 1, 10000);
    // Well past the trimmer's moment.
    QTest::qWait(500);
    const double after = residentMiB();
    QCOMPARE(DVK::CHeapTrimmer::trims() > trimsBefore, givenBack);
    if (givenBack)
        QVERIFY2(before - after > 100, qPrintable(QStringLiteral("%1 -> %2 MiB").arg(before).arg(after)));
    else
        QVERIFY2(before - after < 20, qPrintable(QStringLiteral("%1 -> %2 MiB").arg(before).arg(after)));
    standin::setBackend(standin::IServiceBackendPtr());
}

QTEST_GUILESS_MAIN(TestHeapTrimmer)
#include "tst_heaptrimmer.moc"
