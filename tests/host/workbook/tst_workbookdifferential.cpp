// Our workbook readers against an independent one: openpyxl for .xlsx and xlrd for .xls (Debian's
// python3), on every real writer's workbook the tests hold and on hand-edited variants of one,
// a row each; the times of day, and what a format does not show, against LibreOffice headless.
// Each pair agrees (the first sheet's name, state and cells; the sheet the workbook
// opens on), or ours refuses with the reason the row names, and the independent reader bears
// the refusal out. Markup compatibility, which openpyxl does not apply, is applied for it by
// expat in namespace mode; number formats, which it does not apply either, LibreOffice headless
// applies (see reference_reader.py), which also writes each such variant as .xls for ours to read.
#include "hosttoolkit.h"
#include "standinworkbook.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

namespace {

const QString kSource = QString::fromLocal8Bit(qgetenv("SOURCE_DIR"));

QString dataFile(const QString& name)
{
    return kSource + QStringLiteral("/tests/host/workbook/data/") + name;
}

// The reference reader's output for its arguments.
QJsonArray reference(const QStringList& arguments)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{kSource + QStringLiteral("/tests/host/workbook/reference_reader.py")} + arguments);
    if (!python.waitForFinished(120000) || python.exitCode() != 0)
        qFatal("the reference reader did not run (python3-openpyxl and python3-xlrd): %s",
               python.readAllStandardError().constData());
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

// What our readers make of a workbook, in the words theirs() uses: the first sheet, the sheet
// the workbook opens on when asked, and the cell reader's cells; or "refused: " and the reason. The
// tab-joined reader's lines must be those cells.
QString ours(const QString& path, bool opensOn)
{
    WB::COdbcExcelReader tabs;
    QStringList lines, expected, cells;
    const bool tabsRead = tabs.open(path, lines, true);
    WB::CExcelReader reader;
    reader.init(false);
    reader.open(path);
    const standin::WorkbookReport r = standin::lastWorkbookReport();
    for (int row = reader.getSheetStartRow(1); row <= reader.getSheetRowCount(1); ++row) {
        QStringList fields;
        for (int column = reader.getSheetStartCol(1); column <= reader.getSheetColCount(1); ++column) {
            const QString text = reader.getData(1, row, column, false);
            if (!text.isEmpty())
                cells << QStringLiteral("%1,%2 %3").arg(row).arg(column).arg(text);
            fields << QString(text).replace(QLatin1Char('\t'), QLatin1Char(' '));
        }
        expected << fields.join(QLatin1Char('\t'));
    }
    reader.close();
    reader.exitExcel();
    if (tabsRead != r.refusal.isEmpty() || lines != expected)
        return QStringLiteral("the tab-joined reader gave ") + lines.join(QLatin1Char('|'));
    const char* states[] = {"visible", "hidden", "veryHidden"};
    QString sheet = QStringLiteral("%1 sheets, %2 %3").arg(r.sheetCount).arg(r.sheetName, states[int(r.sheetState)]);
    if (!r.refusal.isEmpty())
        sheet = QStringLiteral("refused: ") + r.refusal;
    else if (opensOn)
        sheet += QStringLiteral(", opens on %1").arg(qMax(r.activeSheet, 1));
    return sheet + QStringLiteral("; ") + cells.join(QLatin1String("; "));
}

// The text the cell reader gives the cell named (D2), or "refused: " and the reason.
QString ourCell(const QString& path, const QString& name)
{
    WB::CExcelReader reader;
    reader.init(false);
    if (!reader.open(path))
        return QStringLiteral("refused: ") + standin::lastWorkbookReport().refusal;
    int column = 0, at = 0;
    for (; at < name.size() && name.at(at).isLetter(); ++at)
        column = column * 26 + (name.at(at).unicode() - 'A' + 1);
    return reader.getData(1, name.mid(at).toInt(), column, false);
}

// Ours gives every time of day to the second at least and a midnight as the date alone;
// LibreOffice as far as the format shows it (13:30): ours cut to as much.
QString asShown(QString ours, const QString& shown)
{
    static const QRegularExpression clock(QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d )?\\d+:\\d\\d"));
    if (!clock.match(shown).hasMatch())
        return ours;
    if (ours.size() == 10 && shown.size() > 10)
        ours += QStringLiteral(" 00:00:00");
    return ours.left(shown.size());
}

// The reference reader's reading, as ours() puts it.
QString theirs(const QJsonObject& reference)
{
    if (reference.contains(QStringLiteral("error")))
        return QStringLiteral("the reference refused: ") + reference.value(QStringLiteral("error")).toString();
    std::map<std::pair<int, int>, QString> sorted;
    for (const QJsonValue& cell : reference.value(QStringLiteral("cells")).toArray()) {
        const QJsonArray c = cell.toArray();
        sorted[{c[0].toInt(), c[1].toInt()}] = c[2].toString();
    }
    QString text = QStringLiteral("%1 sheets, %2 %3")
                       .arg(reference.value("sheets").toInt())
                       .arg(reference.value("name").toString(), reference.value("state").toString());
    if (reference.contains(QStringLiteral("opensOn")))
        text += QStringLiteral(", opens on %1").arg(reference.value("opensOn").toInt());
    for (const auto& [at, cell] : sorted)
        text += QStringLiteral("; %1,%2 %3").arg(at.first).arg(at.second).arg(cell);
    return sorted.empty() ? text + QStringLiteral("; ") : text;
}

} // namespace

class TestWorkbookDifferential : public QObject
{
    Q_OBJECT
private slots:
    void readsAsTheReferenceReads_data();
    void readsAsTheReferenceReads();

private:
    QTemporaryDir m_dir;
};

void TestWorkbookDifferential::readsAsTheReferenceReads_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("refusal"); // empty: ours and the reference agree
    QTest::addColumn<QJsonObject>("reference");
    QTest::addColumn<QJsonArray>("witness");     // refused rows: whether the independent reader bears it out
    QTest::addColumn<QJsonValue>("libreoffice"); // the cells LibreOffice shows, and its .xls

    // Made by hand, not by a writer: a BIFF5 book split over CONTINUE records xlrd cannot read,
    // and two packagings Python's zip module does not take. The readers' own tests hold them.
    const QStringList handMade{"biff5.xls", "case.xlsx", "comment.xlsx"};
    QStringList files;
    for (const QString& name : QDir(dataFile(QString())).entryList({"*.xls", "*.xlsx"}, QDir::Files)) {
        if (!name.startsWith(QLatin1String("hostile_")) && !handMade.contains(name))
            files << dataFile(name);
    }
    for (const QString& name : QDir(kSource + QStringLiteral("/examples")).entryList({"*.xls", "*.xlsx"}, QDir::Files))
        files << kSource + QStringLiteral("/examples/") + name;
    // Each as the reference reads it, or refused for the reason books.json gives it, the reference
    // bearing it out; the times as LibreOffice shows them. Then the rows of variants.json, edits
    // of a real writer's two-sheet book that the reference reader makes (see reference_reader.py).
    const QJsonArray books =
        reference(QStringList{QStringLiteral("--books"), kSource + QStringLiteral("/tests/host/workbook/books.json"),
                              m_dir.filePath(QStringLiteral("books"))} +
                  files);
    QCOMPARE(books.size(), files.size());
    const QJsonArray variants =
        reference({QStringLiteral("--variants"), kSource + QStringLiteral("/tests/host/workbook/variants.json"),
                   dataFile(QStringLiteral("xlsxwriter.xlsx")), m_dir.path()});
    QVERIFY(variants.size() > 30);
    for (const QJsonArray& rows : {books, variants}) {
        for (const QJsonValue& value : rows) {
            const QJsonObject v = value.toObject();
            QTest::newRow(qPrintable(v.value("name").toString()))
                << v.value("path").toString() << v.value("refused").toString() << v.value("reading").toObject()
                << v.value("witness").toArray() << v.value("libreoffice");
        }
    }
}

// Every workbook a real writer made reads as the independent reader reads it; each edit either
// leaves a workbook both readers read alike, or one ours refuses with its reason.
void TestWorkbookDifferential::readsAsTheReferenceReads()
{
    QFETCH(QString, path);
    QFETCH(QString, refusal);
    QFETCH(QJsonObject, reference);
    QFETCH(QJsonArray, witness);
    QFETCH(QJsonValue, libreoffice);

    if (libreoffice.toString() == QLatin1String("unavailable"))
        QFAIL("LibreOffice is needed for this row (scripts/setup.sh --tests installs libreoffice-calc-nogui)");
    const QJsonObject shown = libreoffice.toObject();
    if (refusal.isEmpty() && shown.isEmpty()) {
        QCOMPARE(ours(path, reference.contains(QStringLiteral("opensOn"))), theirs(reference));
    } else if (refusal.isEmpty()) {
        // As LibreOffice shows the cells, in the package and in the .xls it wrote of it.
        const QJsonObject cells = shown.value("cells").toObject();
        for (auto cell = cells.begin(); cell != cells.end(); ++cell) {
            QCOMPARE(asShown(ourCell(path, cell.key()), cell.value().toString()), cell.value().toString());
            QCOMPARE(asShown(ourCell(shown.value("xls").toString(), cell.key()), cell.value().toString()),
                     cell.value().toString());
        }
    } else {
        const QString reading = ours(path, false);
        QVERIFY2(reading.startsWith("refused: ") && reading.contains(refusal) && reading.endsWith("; "),
                 qPrintable(reading));
        QVERIFY2(witness.at(0).toBool(), qPrintable(QStringLiteral("the reference does not bear the refusal out: ") +
                                                    witness.at(1).toString()));
        if (!shown.isEmpty()) {
            const QString xls = ours(shown.value("xls").toString(), false);
            QVERIFY2(xls.startsWith("refused: ") && xls.contains(refusal), qPrintable(xls));
        }
    }
}

QTEST_MAIN(TestWorkbookDifferential)
#include "tst_workbookdifferential.moc"
