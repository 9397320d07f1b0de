// Our workbook readers against an independent one: openpyxl for .xlsx and xlrd for .xls (Debian's
// python3), on every real writer's workbook the tests hold and on hand-edited variants of one,
// a row each. Each pair agrees (the first sheet's name, state and cells; the sheet the workbook
// opens on), or ours refuses with the reason the row names. Markup compatibility, which openpyxl
// does not apply, is applied to the variant's part here, with expat in namespace mode, before
// openpyxl reads it.
#include "hosttoolkit.h"
#include "standinworkbook.h"
#include "testfiles.h"
#include "zipwriter.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <expat.h>

#include <map>
#include <vector>

namespace {

const QString kSource = QString::fromLocal8Bit(qgetenv("SOURCE_DIR"));
const QByteArray kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const QByteArray kCompat = "http://schemas.openxmlformats.org/markup-compatibility/2006";
const QByteArray kOffice = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

QString dataFile(const QString& name)
{
    return kSource + QStringLiteral("/tests/host/toolkit/workbook/data/") + name;
}

// The reference's reading of each file, in order.
QJsonArray referenceReadings(const QStringList& files)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{kSource + QStringLiteral("/tests/host/toolkit/workbook/reference_reader.py")} + files);
    if (!python.waitForFinished(120000) || python.exitCode() != 0)
        qFatal("the reference reader did not run (python3-openpyxl and python3-xlrd): %s",
               python.readAllStandardError().constData());
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

// Markup compatibility applied and written out: an alternate content becomes its first choice
// whose namespaces are all understood, or its fallback; an element of a namespace not
// understood goes with all it holds. Understood: SpreadsheetML and the relationships.
class CCompatibilityResolver
{
public:
    QByteArray resolve(const QByteArray& xml)
    {
        XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
        XML_SetUserData(parser, this);
        XML_SetElementHandler(
            parser, [](void* r, const char* n, const char** a) { static_cast<CCompatibilityResolver*>(r)->start(n, a); },
            [](void* r, const char* n) { static_cast<CCompatibilityResolver*>(r)->end(n); });
        XML_SetCharacterDataHandler(parser, [](void* r, const char* t, int l) {
            static_cast<CCompatibilityResolver*>(r)->text(QByteArray(t, l));
        });
        XML_SetNamespaceDeclHandler(
            parser,
            [](void* r, const char* p, const char* u) {
                static_cast<CCompatibilityResolver*>(r)->m_bindings.emplace_back(p ? p : "", u ? u : "");
            },
            [](void* r, const char*) { static_cast<CCompatibilityResolver*>(r)->m_bindings.pop_back(); });
        const bool ok = XML_Parse(parser, xml.constData(), int(xml.size()), 1) == XML_STATUS_OK;
        XML_ParserFree(parser);
        return ok ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + m_out : QByteArray();
    }

private:
    enum class EFrame
    {
        Kept,
        Alternate,
        Taken, // a branch of an alternate content standing for it
    };
    struct Frame
    {
        EFrame kind;
        QByteArray tag;
        bool taken = false;
    };

    static bool understood(const QByteArray& uri)
    {
        return uri == kMain || uri == "http://purl.oclc.org/ooxml/spreadsheetml/main" || uri == kOffice ||
               uri == "http://schemas.openxmlformats.org/package/2006/relationships";
    }
    static QByteArray escaped(QByteArray text)
    {
        return text.replace('&', "&amp;").replace('<', "&lt;").replace('"', "&quot;");
    }
    bool requiresUnderstood(const QByteArray& prefixes) const
    {
        for (const QByteArray& prefix : prefixes.simplified().split(' ')) {
            auto it = std::find_if(m_bindings.rbegin(), m_bindings.rend(),
                                   [&](const auto& b) { return b.first == prefix.toStdString(); });
            if (it == m_bindings.rend() || !understood(QByteArray::fromStdString(it->second)))
                return false;
        }
        return true;
    }
    void start(const char* name, const char** attributes)
    {
        if (m_dropping > 0) {
            ++m_dropping;
            return;
        }
        const QList<QByteArray> parts = QByteArray(name).split('\x01');
        const QByteArray uri = parts.size() == 2 ? parts[0] : QByteArray();
        const QByteArray local = parts.last();
        if (!m_frames.empty() && m_frames.back().kind == EFrame::Alternate) {
            Frame& alternate = m_frames.back();
            const bool take = !alternate.taken &&
                              (local == "Fallback" ||
                               (local == "Choice" && requiresUnderstood(attributeOf(attributes, "Requires"))));
            if (take) {
                alternate.taken = true;
                m_frames.push_back(Frame{EFrame::Taken, QByteArray()});
            } else {
                m_dropping = 1;
            }
            return;
        }
        if (uri == kCompat && local == "AlternateContent") {
            m_frames.push_back(Frame{EFrame::Alternate, QByteArray()});
            return;
        }
        if (!understood(uri)) {
            m_dropping = 1;
            return;
        }
        m_out += "<n:" + local + " xmlns:n=\"" + uri + "\"";
        for (int i = 0; attributes[i]; i += 2) {
            const QList<QByteArray> a = QByteArray(attributes[i]).split('\x01');
            if (a.size() == 1)
                m_out += " " + a[0] + "=\"" + escaped(attributes[i + 1]) + "\"";
            else if (a[0] != kCompat)
                m_out += " xmlns:a" + QByteArray::number(i) + "=\"" + a[0] + "\" a" + QByteArray::number(i) + ":" +
                         a[1] + "=\"" + escaped(attributes[i + 1]) + "\"";
        }
        m_out += ">";
        m_frames.push_back(Frame{EFrame::Kept, "</n:" + local + ">"});
    }
    void end(const char*)
    {
        if (m_dropping > 0) {
            --m_dropping;
            return;
        }
        m_out += m_frames.back().tag;
        m_frames.pop_back();
    }
    void text(const QByteArray& text)
    {
        if (m_dropping == 0 && !m_frames.empty() && m_frames.back().kind != EFrame::Alternate)
            m_out += escaped(text).replace('\r', "&#13;");
    }
    static QByteArray attributeOf(const char** attributes, const char* name)
    {
        for (int i = 0; attributes[i]; i += 2) {
            if (qstrcmp(attributes[i], name) == 0)
                return attributes[i + 1];
        }
        return QByteArray();
    }

    QByteArray m_out;
    std::vector<Frame> m_frames;
    std::vector<std::pair<std::string, std::string>> m_bindings;
    int m_dropping = 0;
};

// What our readers make of a workbook: the cell reader's cells and report, and whether the
// tab-joined reader's lines are those cells.
struct Reading
{
    standin::WorkbookReport report;
    std::map<std::pair<int, int>, QString> cells;
    QString linesMismatch;
};

Reading ours(const QString& path)
{
    Reading reading;
    WB::COdbcExcelReader tabs;
    QStringList lines;
    const bool tabsRead = tabs.open(path, lines, true);
    WB::CExcelReader reader;
    reader.init(false);
    reader.open(path);
    reading.report = standin::lastWorkbookReport();
    QStringList expected;
    for (int row = reader.getSheetStartRow(1); row <= reader.getSheetRowCount(1); ++row) {
        QStringList fields;
        for (int column = reader.getSheetStartCol(1); column <= reader.getSheetColCount(1); ++column) {
            const QString text = reader.getData(1, row, column, false);
            if (!text.isEmpty())
                reading.cells[{row, column}] = text;
            fields << QString(text).replace(QLatin1Char('\t'), QLatin1Char(' '));
        }
        expected << fields.join(QLatin1Char('\t'));
    }
    if (tabsRead != reading.report.refusal.isEmpty() || lines != expected)
        reading.linesMismatch = QStringLiteral("the tab-joined reader gave %1").arg(lines.join(QLatin1Char('|')));
    reader.close();
    reader.exitExcel();
    return reading;
}

// The first difference between our reading and the reference's, or empty.
QString difference(const Reading& reading, const QJsonObject& reference)
{
    if (reference.contains(QStringLiteral("error")))
        return QStringLiteral("the reference refused: ") + reference.value(QStringLiteral("error")).toString();
    const standin::WorkbookReport& r = reading.report;
    if (!r.refusal.isEmpty())
        return QStringLiteral("ours refused: ") + r.refusal;
    if (!reading.linesMismatch.isEmpty())
        return reading.linesMismatch;
    const char* states[] = {"visible", "hidden", "veryHidden"};
    const QString sheet = QStringLiteral("%1 sheets, %2 %3").arg(r.sheetCount).arg(r.sheetName, states[int(r.sheetState)]);
    const QString theirs = QStringLiteral("%1 sheets, %2 %3")
                               .arg(reference.value("sheets").toInt())
                               .arg(reference.value("name").toString(), reference.value("state").toString());
    if (sheet != theirs)
        return sheet + QStringLiteral(" against ") + theirs;
    if (reference.contains(QStringLiteral("opensOn")) && reference.value("opensOn").toInt() != qMax(r.activeSheet, 1))
        return QStringLiteral("opens on %1 against %2").arg(r.activeSheet).arg(reference.value("opensOn").toInt());
    std::map<std::pair<int, int>, QJsonValue> expected;
    for (const QJsonValue& cell : reference.value(QStringLiteral("cells")).toArray()) {
        const QJsonArray c = cell.toArray();
        expected[{c[0].toInt(), c[1].toInt()}] = c[2];
    }
    for (const auto& [at, value] : expected) {
        const auto found = reading.cells.find(at);
        const QString mine = found == reading.cells.end() ? QStringLiteral("(nothing)") : found->second;
        bool same = false;
        if (value.isObject()) {
            bool number = false;
            const double x = mine.toDouble(&number);
            same = number && QString::number(x, 'g', 15) == QString::number(value.toObject().value("number").toDouble(), 'g', 15);
        } else {
            same = mine == value.toString();
        }
        if (!same)
            return QStringLiteral("row %1, column %2: %3 against %4")
                .arg(at.first)
                .arg(at.second)
                .arg(mine, QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)));
    }
    for (const auto& [at, text] : reading.cells) {
        if (!expected.count(at))
            return QStringLiteral("row %1, column %2: %3 where the reference has nothing").arg(at.first).arg(at.second).arg(text);
    }
    return QString();
}

// One hand edit of a part: the text searched and its replacement, or "@recode" and the UTF-16
// flavour to write the part in.
struct Edit
{
    QString part;
    QByteArray search;
    QByteArray replace;
};

// The part in UTF-16 with its byte order mark (Qt's codec writes one), declared so.
QByteArray recoded(QByteArray part, const QByteArray& codec)
{
    part.replace("encoding=\"UTF-8\"", "encoding=\"UTF-16\"");
    return QTextCodec::codecForName(codec)->fromUnicode(QString::fromUtf8(part));
}

} // namespace

class TestWorkbookDifferential : public QObject
{
    Q_OBJECT
private slots:
    void realWritersWorkbooks_data();
    void realWritersWorkbooks();
    void handEditedVariants_data();
    void handEditedVariants();

private:
    QTemporaryDir m_dir;
};

void TestWorkbookDifferential::realWritersWorkbooks_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonObject>("reference");

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
    const QJsonArray readings = referenceReadings(files);
    QCOMPARE(readings.size(), files.size());
    for (int i = 0; i < files.size(); ++i)
        QTest::newRow(qPrintable(QFileInfo(files[i]).fileName())) << files[i] << readings[i].toObject();
}

// Every workbook a real writer made reads as the independent reader reads it.
void TestWorkbookDifferential::realWritersWorkbooks()
{
    QFETCH(QString, path);
    QFETCH(QJsonObject, reference);
    QCOMPARE(difference(ours(path), reference), QString());
}

void TestWorkbookDifferential::handEditedVariants_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("refusal"); // empty: ours and the reference agree
    QTest::addColumn<QJsonObject>("reference");

    const QString sheet = QStringLiteral("xl/worksheets/sheet1.xml");
    const QString strings = QStringLiteral("xl/sharedStrings.xml");
    const QString book = QStringLiteral("xl/workbook.xml");
    const QString rels = QStringLiteral("xl/_rels/workbook.xml.rels");
    const QByteArray root = "<worksheet xmlns=\"" + kMain + "\"";
    const QByteArray ignorable = root + " xmlns:mc=\"" + kCompat + "\" xmlns:x14ac=\"urn:x14ac\" mc:Ignorable=\"x14ac\"";
    const QByteArray alternate = "<mc:AlternateContent xmlns:mc=\"" + kCompat + "\" xmlns:x14=\"urn:x14\" xmlns:s=\"" +
                                 kMain + "\"><mc:Choice Requires=\"%1\">%2</mc:Choice><mc:Fallback>%3</mc:Fallback>"
                                         "</mc:AlternateContent>";
    const auto choice = [&](const char* requires, const QByteArray& taken, const QByteArray& fallback) {
        return QByteArray(alternate).replace("%1", requires).replace("%2", taken).replace("%3", fallback);
    };
    const QByteArray firstSheet = "<sheet name=\"Rates\" sheetId=\"1\" r:id=\"rId1\"/>";
    const QByteArray declaration = "encoding=\"UTF-8\"";
    // name, expected refusal (empty: agree), whether markup compatibility is resolved for the
    // reference, then the edits.
    struct Variant
    {
        const char* name;
        const char* refusal;
        bool compatibility;
        std::vector<Edit> edits;
    };
    const std::vector<Variant> variants = {
        {"a declaration named Target beside the target", "", false,
         {{rels, "Target=\"worksheets/sheet1.xml\"", "xmlns:Target=\"worksheets/sheet2.xml\" Target=\"worksheets/sheet1.xml\""}}},
        {"a declaration named id beside r:id", "", false,
         {{book, firstSheet, "<sheet xmlns:id=\"rId2\" name=\"Rates\" sheetId=\"1\" r:id=\"rId1\"/>"}}},
        {"r:id by another prefix", "", false,
         {{book, firstSheet, "<sheet xmlns:rel=\"" + kOffice + "\" name=\"Rates\" sheetId=\"1\" rel:id=\"rId1\"/>"}}},
        {"an id of another namespace before r:id", "", false,
         {{book, firstSheet, "<sheet xmlns:o=\"urn:o\" o:id=\"rId2\" name=\"Rates\" sheetId=\"1\" r:id=\"rId1\"/>"}}},
        {"a prefixed r of another namespace before r", "", false,
         {{sheet, "<c r=\"D2\" s=\"1\">", "<c xmlns:x=\"urn:x\" x:r=\"F9\" r=\"D2\" s=\"1\">"}}},
        {"a t of the main namespace by a prefix", "", false,
         {{sheet, "<c r=\"A5\">", "<c xmlns:m=\"" + kMain + "\" m:t=\"s\" r=\"A5\">"}}},
        {"a row of an ignorable namespace", "", false,
         {{sheet, root, ignorable},
          {sheet, "<row r=\"5\" spans=\"1:6\">", "<x14ac:row r=\"4\"><c r=\"A4\"><v>9</v></c></x14ac:row><row r=\"5\" spans=\"1:6\">"}}},
        {"an ignorable attribute on a cell", "", false,
         {{sheet, root, ignorable}, {sheet, "<c r=\"D2\" s=\"1\">", "<c r=\"D2\" s=\"1\" x14ac:v=\"9\">"}}},
        {"alternate content: the fallback", "", true,
         {{sheet, "<c r=\"D5\">", choice("x14", "<c r=\"C5\"><v>9</v></c>", "<c r=\"C5\"><v>0.55</v></c>") + "<c r=\"D5\">"}}},
        {"alternate content: a choice requiring only what is read", "", true,
         {{sheet, "<c r=\"D5\">", choice("s", "<c r=\"C5\"><v>9</v></c>", "<c r=\"C5\"><v>0.55</v></c>") + "<c r=\"D5\">"}}},
        {"alternate content around a row", "", true,
         {{sheet, "<row r=\"5\" spans=\"1:6\">",
           choice("x14", "<row r=\"4\"><c r=\"A4\"><v>1</v></c></row>", "<row r=\"4\"><c r=\"A4\"><v>2</v></c></row>") +
               "<row r=\"5\" spans=\"1:6\">"}}},
        {"alternate content in the workbook", "", true,
         {{book, "<sheets>", choice("x14", "<x14:absPath url=\"C:\\\"/>", "") + "<sheets>"}}},
        {"a namespace that must be understood and is not", "must be understood", false,
         {{sheet, root, root + " xmlns:mc=\"" + kCompat + "\" xmlns:x=\"urn:x\" mc:MustUnderstand=\"x\""}}},
        {"a foreign value before the value", "of another namespace", false,
         {{sheet, "<c r=\"D2\" s=\"1\"><v>", "<c r=\"D2\" s=\"1\"><x:v xmlns:x=\"urn:x\">0.9</x:v><v>"}}},
        {"a foreign cell in a row", "of another namespace", false, {{sheet, "<c r=\"D5\">", "<o:c xmlns:o=\"urn:o\" r=\"C5\"><v>9</v></o:c><c r=\"D5\">"}}},
        {"a foreign element inside a value", "inside a text value", false,
         {{sheet, "<v>0.7</v>", "<v>0.<x:b xmlns:x=\"urn:x\">9</x:b>7</v>"}}},
        {"a foreign text in a shared string", "of another namespace", false,
         {{strings, "<si><t>SH</t></si>", "<si><t>SH</t><x:t xmlns:x=\"urn:x\">SZ</x:t></si>"}}},
        {"two values in a cell", "holds a second value", false, {{sheet, "<v>0.7</v>", "<v>0.55</v><v>9</v>"}}},
        {"a value beside an inline string", "holds a second value", false,
         {{sheet, "<c r=\"D2\" s=\"1\"><v>0.7</v>", "<c r=\"D2\" s=\"1\" t=\"inlineStr\"><is><t>0.55</t></is><v>9</v>"}}},
        {"two texts in a shared string", "a string holds a second text", false,
         {{strings, "<si><t>SH</t></si>", "<si><t>S</t><t>H</t></si>"}}},
        {"a cell given twice", "the cell B5 is given twice", false, {{sheet, "<c r=\"D5\">", "<c r=\"B5\"><v>9</v></c><c r=\"D5\">"}}},
        {"cells out of order", "cells out of order", false,
         {{sheet, "</row><row r=\"3\"", "<c r=\"A1\"><v>9</v></c></row><row r=\"3\""}}},
        {"shared strings declared GBK", "declares the encoding \"GBK\"", false, {{strings, declaration, "encoding=\"GBK\""}}},
        {"shared strings declared UTF-7", "declares the encoding \"UTF-7\"", false, {{strings, declaration, "encoding=\"UTF-7\""}}},
        {"shared strings declared HZ", "declares the encoding \"HZ-GB-2312\"", false,
         {{strings, declaration, "encoding=\"HZ-GB-2312\""}}},
        {"the sheet declared ISO-8859-1", "declares the encoding \"ISO-8859-1\"", false,
         {{sheet, declaration, "encoding=\"ISO-8859-1\""}}},
        {"the workbook declared US-ASCII", "declares the encoding \"US-ASCII\"", false,
         {{book, declaration, "encoding=\"US-ASCII\""}}},
        {"shared strings in UTF-16, little-endian", "", false, {{strings, "@recode", "UTF-16LE"}}},
        {"the sheet in UTF-16, big-endian", "", false, {{sheet, "@recode", "UTF-16BE"}}},
        {"a DTD", "declares a DTD", false, {{sheet, "standalone=\"yes\"?>", "standalone=\"yes\"?><!DOCTYPE worksheet>"}}},
        {"tags that do not match", "mismatched tag", false, {{sheet, "<v>0.7</v>", "<v>0.7</w>"}}},
        {"the first sheet hidden, the second shown", "", false,
         {{book, firstSheet, "<sheet name=\"Rates\" sheetId=\"1\" state=\"hidden\" r:id=\"rId1\"/>"},
          {book, "<workbookView ", "<workbookView activeTab=\"1\" "}}},
        {"the first sheet very hidden", "", false,
         {{book, firstSheet, "<sheet name=\"Rates\" sheetId=\"1\" state=\"veryHidden\" r:id=\"rId1\"/>"}}},
        {"the first sheet a chart", "the first sheet is a chart", false,
         {{rels, "relationships/worksheet\" Target=\"worksheets/sheet1.xml\"",
           "relationships/chartsheet\" Target=\"worksheets/sheet1.xml\""}}},
        {"a line break in a cell", "", false, {{strings, "<si><t>ratio</t></si>", "<si><t>折算\n比例&#10;</t></si>"}}},
        {"a carriage return in a cell", "", false, {{strings, "<si><t>name</t></si>", "<si><t>na&#13;me</t></si>"}}},
        {"a tab in a cell", "", false, {{strings, "<si><t>exchange</t></si>", "<si><t>ex\tchange</t></si>"}}},
        {"a comma in a name beside the ratio", "", false, {{strings, "<t>浦发</t>", "<t>浦发,0.9</t>"}}},
    };

    const testsupport::ZipEntries base = testsupport::unzipBytes(testsupport::readFile(dataFile("xlsxwriter.xlsx")));
    QVERIFY(!base.isEmpty());
    QStringList referenceFiles;
    std::vector<std::pair<QString, QString>> rows; // path, refusal
    for (size_t v = 0; v < variants.size(); ++v) {
        testsupport::ZipEntries entries = base, resolved = base;
        for (const Edit& edit : variants[v].edits) {
            auto part = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == edit.part; });
            QVERIFY2(part != entries.end(), qPrintable(edit.part));
            if (edit.search == "@recode") {
                part->second = recoded(part->second, edit.replace);
            } else {
                QVERIFY2(part->second.count(edit.search) == 1, variants[v].name);
                part->second.replace(edit.search, edit.replace);
            }
        }
        const QString path = m_dir.filePath(QStringLiteral("variant%1.xlsx").arg(v));
        QVERIFY(testsupport::writeFile(path, testsupport::zipBytes(entries)));
        QString referencePath = path;
        if (variants[v].compatibility) {
            for (int i = 0; i < entries.size(); ++i) {
                const bool edited = std::any_of(variants[v].edits.begin(), variants[v].edits.end(),
                                                [&](const Edit& e) { return e.part == entries[i].first; });
                resolved[i].second = edited ? CCompatibilityResolver().resolve(entries[i].second) : entries[i].second;
            }
            referencePath = m_dir.filePath(QStringLiteral("resolved%1.xlsx").arg(v));
            QVERIFY(testsupport::writeFile(referencePath, testsupport::zipBytes(resolved)));
        }
        referenceFiles << referencePath;
        rows.emplace_back(path, QString::fromUtf8(variants[v].refusal));
    }
    const QJsonArray readings = referenceReadings(referenceFiles);
    QCOMPARE(readings.size(), int(rows.size()));
    for (size_t v = 0; v < rows.size(); ++v)
        QTest::newRow(variants[v].name) << rows[v].first << rows[v].second << readings[int(v)].toObject();
}

// Each edit either leaves a workbook both readers read alike, or one ours refuses with its reason.
void TestWorkbookDifferential::handEditedVariants()
{
    QFETCH(QString, path);
    QFETCH(QString, refusal);
    QFETCH(QJsonObject, reference);

    const Reading reading = ours(path);
    if (refusal.isEmpty()) {
        QCOMPARE(difference(reading, reference), QString());
    } else {
        QVERIFY2(reading.report.refusal.contains(refusal), qPrintable(reading.report.refusal));
        QVERIFY2(reading.cells.empty() && reading.linesMismatch.isEmpty(), qPrintable(reading.linesMismatch));
    }
}

QTEST_MAIN(TestWorkbookDifferential)
#include "tst_workbookdifferential.moc"
