// A workbook read while memory runs out is refused with that reason, "内存不足", in the log and
// the report, whichever reader ran out: never refused as empty without a word.
#include "hosttoolkit.h"
#include "logcapture.h"
#include "standinworkbook.h"
#include "xlsxwriter.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// While set, an allocation of at least this many bytes fails, as under memory pressure.
std::atomic<size_t> g_failFrom{0};

} // namespace

void* operator new(size_t size)
{
    const size_t from = g_failFrom.load();
    if (from != 0 && size >= from)
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

class TestWorkbookMemory : public QObject
{
    Q_OBJECT

private slots:
    void refusesWithTheReason_data();
    void refusesWithTheReason();
};

void TestWorkbookMemory::refusesWithTheReason_data()
{
    QTest::addColumn<bool>("tabJoined");
    QTest::newRow("the tab-joined reader") << true;
    QTest::newRow("the cell reader") << false;
}

void TestWorkbookMemory::refusesWithTheReason()
{
    QFETCH(bool, tabJoined);

    QTemporaryDir dir;
    QList<QStringList> rows;
    for (int i = 0; i < 100000; ++i)
        rows << QStringList{"SH", "600000", "浦发银行", "0.7"};
    const QString path = dir.filePath(QStringLiteral("rates.xlsx"));
    QVERIFY(testsupport::writeZip(path, testsupport::workbookEntries(rows)));

    const testsupport::CLogCapture log;
    bool read = true;
    g_failFrom = 1 << 20;
    if (tabJoined) {
        WB::COdbcExcelReader reader;
        QStringList lines;
        read = reader.open(path, lines, true);
    } else {
        WB::CExcelReader reader;
        reader.init(false);
        read = reader.open(path);
    }
    g_failFrom = 0;
    QVERIFY(!read);
    const standin::WorkbookReport report = standin::lastWorkbookReport();
    QVERIFY2(report.refusal.contains(QString::fromUtf8("内存不足")), qPrintable(report.refusal));
    QString logged;
    for (const testsupport::CapturedLine& line : log.lines())
        logged += QString::fromStdString(line.message);
    QVERIFY2(logged.contains(QString::fromUtf8("内存不足")), qPrintable(logged));

    // Memory back, the same file reads.
    WB::COdbcExcelReader again;
    QStringList lines;
    QVERIFY(again.open(path, lines, true));
    QCOMPARE(lines.size(), 100000);
}

QTEST_MAIN(TestWorkbookMemory)
#include "tst_workbookmemory.moc"
