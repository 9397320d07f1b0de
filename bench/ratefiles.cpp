#include "ratefiles.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>
#include <QTextCodec>

#include "zipwriter.h"

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace ratefiles {
namespace {

struct Row
{
    QString exchange, code, name, ratio;
};

const QStringList& masterLines()
{
    static const QStringList master = [] {
        QFile file(QStringLiteral(SECURITIES_CSV));
        QStringList rows;
        if (file.open(QIODevice::ReadOnly))
            rows = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (!rows.isEmpty())
            rows.removeFirst(); // exchange,code,name
        return rows;
    }();
    return master;
}

// Security i of a file: the master's first, then made-up ones (codes 7xxxxx, which the master
// has none of, on the three exchanges in turn), so that no file names a security twice.
QStringList security(int i)
{
    const QStringList& master = masterLines();
    if (i < master.size())
        return master.at(i).split(QLatin1Char(','));
    const int k = i - master.size();
    static const char* const exchanges[] = {"SH", "SZ", "BJ"};
    return {QLatin1String(exchanges[k % 3]), QString::number(700000 + k / 3), QStringLiteral("证券%1").arg(k)};
}

std::vector<Row> makeRows(int count, Securities securities)
{
    const int cycle = int(masterLines().size());
    std::mt19937 random(20240315);
    std::vector<Row> rows;
    rows.reserve(size_t(count));
    for (int i = 0; i < count && !masterLines().isEmpty(); ++i) {
        const QStringList f = security(securities == Securities::ShippedCycle ? i % cycle : i);
        rows.push_back(Row{f.value(0), f.value(1), f.value(2), QString::number(double(random() % 101) / 100.0)});
    }
    return rows;
}

QString csvText(const std::vector<Row>& rows, const char* newline)
{
    QString text;
    text.reserve(int(rows.size()) * 32);
    for (const Row& r : rows)
        text += r.exchange + QLatin1Char(',') + r.code + QLatin1Char(',') + r.name + QLatin1Char(',') + r.ratio +
                QLatin1String(newline);
    return text;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

const QByteArray kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const QByteArray kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

// Writes a one-sheet workbook; sharedStrings (a whole <sst> part) is left out when empty.
bool writePackage(const QString& path, const QByteArray& sheet, const QByteArray& sharedStrings)
{
    const QString partial = path + QStringLiteral(".part");
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const QByteArray pkg = "http://schemas.openxmlformats.org/package/2006/relationships";
    const bool withStrings = !sharedStrings.isEmpty();
    const QByteArray types =
        kHead +
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
        "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
        "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/"
        "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>" +
        (withStrings ? QByteArray("<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/"
                                  "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>")
                     : QByteArray()) +
        "</Types>";
    const QByteArray stringsRel =
        withStrings ? "<Relationship Id=\"rId2\" Type=\"" + rel + "/sharedStrings\" Target=\"sharedStrings.xml\"/>"
                    : QByteArray();
    testsupport::ZipEntries entries{
        {QStringLiteral("[Content_Types].xml"), types},
        {QStringLiteral("_rels/.rels"), kHead + "<Relationships xmlns=\"" + pkg +
                                            "\"><Relationship Id=\"rId1\" Type=\"" + rel +
                                            "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {QStringLiteral("xl/workbook.xml"),
         kHead + "<workbook xmlns=\"" + kMainNs + "\" xmlns:r=\"" + rel +
             "\"><sheets><sheet name=\"rates\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {QStringLiteral("xl/_rels/workbook.xml.rels"),
         kHead + "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"rId1\" Type=\"" + rel +
             "/worksheet\" Target=\"worksheets/sheet1.xml\"/>" + stringsRel + "</Relationships>"}};
    if (withStrings)
        entries.append({QStringLiteral("xl/sharedStrings.xml"), sharedStrings});
    entries.append({QStringLiteral("xl/worksheets/sheet1.xml"), sheet});
    return testsupport::writeZipFile(partial, entries) && QFile::rename(partial, path);
}

bool writeXlsx(const QString& path, const std::vector<Row>& rows)
{
    QHash<QString, int> index;
    QByteArray strings;
    auto shared = [&](const QString& text) {
        auto it = index.constFind(text);
        if (it != index.constEnd())
            return *it;
        const int i = index.size();
        index.insert(text, i);
        strings += "<si><t>" + text.toHtmlEscaped().toUtf8() + "</t></si>";
        return i;
    };
    QByteArray sheet = kHead + "<worksheet xmlns=\"" + kMainNs + "\"><sheetData>";
    sheet.reserve(int(rows.size()) * 120);
    for (size_t r = 0; r < rows.size(); ++r) {
        const QByteArray n = QByteArray::number(qulonglong(r + 1));
        const int ids[3] = {shared(rows[r].exchange), shared(rows[r].code), shared(rows[r].name)};
        sheet += "<row r=\"" + n + "\">";
        for (int c = 0; c < 3; ++c)
            sheet += QByteArray("<c r=\"") + "ABC"[c] + n + "\" t=\"s\"><v>" + QByteArray::number(ids[c]) + "</v></c>";
        sheet += "<c r=\"D" + n + "\"><v>" + rows[r].ratio.toLatin1() + "</v></c></row>";
    }
    sheet += "</sheetData></worksheet>";
    return writePackage(path, sheet,
                        kHead + "<sst xmlns=\"" + kMainNs + "\" count=\"" +
                            QByteArray::number(qulonglong(rows.size() * 3)) + "\" uniqueCount=\"" +
                            QByteArray::number(index.size()) + "\">" + strings + "</sst>");
}

// Blanks between elements: well formed, and a gigabyte deflates to about a megabyte.
bool writeInflatingXlsx(const QString& path)
{
    QByteArray sheet = "<worksheet xmlns=\"" + kMainNs + "\"><sheetData>";
    sheet.append(1100 * 1024 * 1024, ' ');
    sheet += "</sheetData></worksheet>";
    return writePackage(path, sheet, QByteArray());
}

// LibreOffice writes the legacy format from a UTF-8 csv; the code column is read as text so
// that its leading zeros stay.
bool writeXls(const QString& path, const std::vector<Row>& rows)
{
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        return false;
    const QFileInfo target(path);
    const QString dir = target.absolutePath();
    const QString base = target.completeBaseName();
    const QString source = dir + QLatin1Char('/') + base + QStringLiteral(".csv");
    if (!writeBytes(source, csvText(rows, "\n").toUtf8()))
        return false;
    const QByteArray command = "cd '" + QFile::encodeName(dir) +
                               "' && soffice --headless -env:UserInstallation=file://" + QFile::encodeName(dir) +
                               "/lo --infilter=CSV:44,34,76,1,1/2/2/2/3/2/4/1 --convert-to xls '" +
                               QFile::encodeName(base) + ".csv' >/dev/null 2>&1";
    const bool converted = std::system(command.constData()) == 0 && QFile::exists(path);
    QFile::remove(source);
    return converted;
}

} // namespace

const char* kindName(Kind kind)
{
    switch (kind) {
    case Kind::Utf8Csv: return "utf8_csv";
    case Kind::GbkCsv: return "gbk_csv";
    case Kind::Xlsx: return "xlsx";
    case Kind::Xls: return "xls";
    }
    return "";
}

QString masterFile(int rows, const QString& folder)
{
    const QString path = QDir(folder).filePath(QStringLiteral("securities_%1.csv").arg(rows));
    if (QFileInfo::exists(path))
        return path;
    QString text = QStringLiteral("exchange,code,name\n");
    for (int i = 0; i < std::max(rows, int(masterLines().size())); ++i)
        text += security(i).join(QLatin1Char(',')) + QLatin1Char('\n');
    QDir().mkpath(folder);
    return writeBytes(path, text.toUtf8()) ? path : QString();
}

QString cacheFolder()
{
    const QString dir = QDir::temp().filePath(QStringLiteral("creditdata-bench-4"));
    QDir().mkpath(dir);
    return dir;
}

QString inflatingXlsx(const QString& folder)
{
    const QString path = folder + QStringLiteral("/inflating.xlsx");
    return QFile::exists(path) || writeInflatingXlsx(path) ? path : QString();
}

QString file(Kind kind, int rows, const QString& folder, Securities securities)
{
    static const char* const suffix[] = {"_utf8.csv", "_gbk.csv", ".xlsx", ".xls"};
    const QString path = folder + QStringLiteral("/rates%1").arg(rows) +
                         QLatin1String(securities == Securities::ShippedCycle ? "_shipped" : "") +
                         QLatin1String(suffix[int(kind)]);
    if (QFile::exists(path))
        return path;
    const std::vector<Row> data = makeRows(rows, securities);
    bool ok = false;
    switch (kind) {
    case Kind::Utf8Csv: ok = writeBytes(path, csvText(data, "\n").toUtf8()); break;
    case Kind::GbkCsv:
        ok = writeBytes(path, QTextCodec::codecForName("GBK")->fromUnicode(csvText(data, "\r\n")));
        break;
    case Kind::Xlsx: ok = writeXlsx(path, data); break;
    case Kind::Xls: ok = writeXls(path, data); break;
    }
    return ok ? path : QString();
}

} // namespace ratefiles
