// Reading conversion-rate workbooks: a 100,000-row .xlsx with shared strings and a 65,000-row
// .xls, through the tab reader as the upload dialog does. The files are generated once per run
// into a temporary folder (fixed seed); the .xls needs LibreOffice and is skipped without it.
#include "hosttoolkit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <zip.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <sys/resource.h>

namespace {

constexpr int kXlsxRows = 100000;
constexpr int kXlsRows = 65000;

const char* const kNames[] = {"平安银行", "浦发银行", "中国石化", "贵州茅台",
                              "招商银行", "万科A",    "格力电器", "中信证券"};

struct Row
{
    QString exchange, code, name;
    double ratio;
};

std::vector<Row> makeRows(int count)
{
    std::mt19937 random(20240315);
    std::vector<Row> rows;
    rows.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        const bool sh = random() % 2;
        rows.push_back(Row{sh ? QStringLiteral("SH") : QStringLiteral("SZ"),
                           QStringLiteral("%1").arg(sh ? 600000 + i : i, 6, 10, QLatin1Char('0')),
                           QString::fromUtf8(kNames[random() % 8]) + QString::number(i % 997),
                           double(random() % 101) / 100.0});
    }
    return rows;
}

QByteArray escaped(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

bool addPart(zip_t* archive, const char* name, const QByteArray& data)
{
    // libzip reads the buffer at zip_close, so it must outlive this call: copy it into a malloc'd
    // block the source frees.
    void* copy = std::malloc(size_t(data.size()));
    std::memcpy(copy, data.constData(), size_t(data.size()));
    zip_source_t* source = zip_source_buffer(archive, copy, zip_uint64_t(data.size()), 1);
    return source && zip_file_add(archive, name, source, ZIP_FL_OVERWRITE) >= 0;
}

bool writeXlsx(const QString& path, const std::vector<Row>& rows)
{
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    const QByteArray ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    addPart(archive, "[Content_Types].xml",
            "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
            "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>");
    addPart(
        archive, "_rels/.rels",
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"" +
            rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
    addPart(archive, "xl/workbook.xml",
            "<?xml version=\"1.0\"?><workbook " + ns + " xmlns:r=\"" + rel +
                "\"><sheets>"
                "<sheet name=\"rates\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
    addPart(
        archive, "xl/_rels/workbook.xml.rels",
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"" +
            rel +
            "/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
            "<Relationship Id=\"rId2\" Type=\"" +
            rel + "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>");

    QHash<QString, int> index;
    QByteArray strings;
    auto shared = [&](const QString& text) {
        auto it = index.constFind(text);
        if (it != index.constEnd())
            return *it;
        const int i = index.size();
        index.insert(text, i);
        strings += "<si><t>" + escaped(text) + "</t></si>";
        return i;
    };
    QByteArray sheet = "<?xml version=\"1.0\"?><worksheet " + ns + "><sheetData>";
    const char* columns = "ABCD";
    for (size_t r = 0; r < rows.size(); ++r) {
        const QByteArray n = QByteArray::number(qulonglong(r + 1));
        sheet += "<row r=\"" + n + "\">";
        const int ids[3] = {shared(rows[r].exchange), shared(rows[r].code), shared(rows[r].name)};
        for (int c = 0; c < 3; ++c)
            sheet +=
                QByteArray("<c r=\"") + columns[c] + n + "\" t=\"s\"><v>" + QByteArray::number(ids[c]) + "</v></c>";
        sheet += "<c r=\"D" + n + "\"><v>" + QByteArray::number(rows[r].ratio, 'g', 17) + "</v></c></row>";
    }
    sheet += "</sheetData></worksheet>";
    addPart(archive, "xl/sharedStrings.xml",
            "<?xml version=\"1.0\"?><sst " + ns + " count=\"" + QByteArray::number(index.size()) + "\">" + strings +
                "</sst>");
    addPart(archive, "xl/worksheets/sheet1.xml", sheet);
    return zip_close(archive) == 0;
}

QString cacheDir()
{
    const QString dir = QDir::temp().filePath(QStringLiteral("workbook_bench"));
    QDir().mkpath(dir);
    return dir;
}

QString xlsxFile()
{
    static const QString path = [] {
        const QString p = cacheDir() + QStringLiteral("/rates100k.xlsx");
        if (!writeXlsx(p, makeRows(kXlsxRows)))
            return QString();
        return p;
    }();
    return path;
}

// LibreOffice writes the legacy format from a csv; the result is kept for later runs.
QString xlsFile()
{
    static const QString path = [] {
        const QString dir = cacheDir();
        const QString xls = dir + QStringLiteral("/rates65k.xls");
        if (QFile::exists(xls))
            return xls;
        if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
            return QString();
        QFile csv(dir + QStringLiteral("/rates65k.csv"));
        if (!csv.open(QIODevice::WriteOnly))
            return QString();
        for (const Row& row : makeRows(kXlsRows))
            csv.write((row.exchange + QLatin1Char(',') + row.code + QLatin1Char(',') + row.name + QLatin1Char(',') +
                       QString::number(row.ratio) + QLatin1Char('\n'))
                          .toUtf8());
        csv.close();
        const QByteArray command = "cd '" + QFile::encodeName(dir) +
                                   "' && soffice --headless -env:UserInstallation=file://" + QFile::encodeName(dir) +
                                   "/lo --infilter=CSV:44,34,76 --convert-to xls rates65k.csv >/dev/null 2>&1";
        if (std::system(command.constData()) != 0 || !QFile::exists(xls))
            return QString();
        return xls;
    }();
    return path;
}

void readAll(benchmark::State& state, const QString& path)
{
    if (path.isEmpty()) {
        state.SkipWithError("the workbook could not be generated (LibreOffice's soffice is needed for .xls)");
        return;
    }
    qint64 lines = 0;
    for (auto _ : state) {
        WB::COdbcExcelReader reader;
        QStringList out;
        if (!reader.open(path, out, true)) {
            state.SkipWithError(reader.lastError().toUtf8().constData());
            return;
        }
        lines = out.size();
        benchmark::DoNotOptimize(out);
    }
    state.counters["lines"] = double(lines);
}

// Peak resident memory of a fresh process reading the file, and of one that only starts.
double childPeakMiB(const char* self, const QString& path)
{
    const QByteArray command = QByteArray("'") + self + "' --measure-rss '" + QFile::encodeName(path) + "'";
    FILE* pipe = popen(command.constData(), "r");
    if (!pipe)
        return -1;
    long kib = -1;
    if (std::fscanf(pipe, "%ld", &kib) != 1)
        kib = -1;
    pclose(pipe);
    return double(kib) / 1024.0;
}

const char* g_self = nullptr;

void BM_ReadXlsx100k(benchmark::State& state)
{
    readAll(state, xlsxFile());
    state.counters["peak_rss_MiB"] = childPeakMiB(g_self, xlsxFile());
    state.counters["baseline_rss_MiB"] = childPeakMiB(g_self, QString());
}
BENCHMARK(BM_ReadXlsx100k)->Unit(benchmark::kMillisecond);

void BM_ReadXls65k(benchmark::State& state)
{
    readAll(state, xlsFile());
    if (!xlsFile().isEmpty())
        state.counters["peak_rss_MiB"] = childPeakMiB(g_self, xlsFile());
}
BENCHMARK(BM_ReadXls65k)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--measure-rss") == 0) {
        QCoreApplication app(argc, argv);
        if (argv[2][0]) {
            WB::COdbcExcelReader reader;
            QStringList lines;
            reader.open(QFile::decodeName(argv[2]), lines, true);
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%ld\n", usage.ru_maxrss);
        return 0;
    }
    QCoreApplication app(argc, argv);
    g_self = argv[0];
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
