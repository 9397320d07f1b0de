// The upload path outside the server: the worker's read of a conversion-rate csv (UTF-8 with LF,
// GBK with CRLF) and the GUI thread's request building, at 1,000 to 100,000 lines. The files are
// written once per run into a temporary folder from the shipped security master (fixed seed).
#include "upload/conversionfile.h"
#include "upload/uploadrequest.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>

#include <benchmark/benchmark.h>

#include <map>
#include <random>

namespace {

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

QStringList masterRows()
{
    QFile file(QStringLiteral(SECURITIES_CSV));
    file.open(QIODevice::ReadOnly);
    QStringList rows = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    rows.removeFirst(); // exchange,code,name
    return rows;
}

// The path of a generated file of `lines` securities; gbk: GBK text with CRLF line ends.
QString csvFile(int lines, bool gbk)
{
    static std::map<std::pair<int, bool>, QString> made;
    auto& path = made[{lines, gbk}];
    if (!path.isEmpty())
        return path;
    static const QStringList master = masterRows();
    std::mt19937 random(20241205);
    QString text = QStringLiteral("交易所,证券代码,证券名称,折算率\n");
    for (int i = 0; i < lines; ++i) {
        const QStringList fields = master.at(int(random() % unsigned(master.size()))).split(QLatin1Char(','));
        text += QStringLiteral("%1,%2,%3,%4\n")
                    .arg(fields.value(0), fields.value(1), fields.value(2))
                    .arg(double(random() % 101) / 100.0);
    }
    if (gbk)
        text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    path = folder().filePath(QStringLiteral("rates_%1_%2.csv").arg(lines).arg(gbk ? "gbk" : "utf8"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(gbk ? QTextCodec::codecForName("GBK")->fromUnicode(text) : text.toUtf8());
    return path;
}

void BM_ReadCsv(benchmark::State& state, bool gbk)
{
    const QString path = csvFile(int(state.range(0)), gbk);
    for (auto _ : state) {
        const DVK::ConversionFileLines read = DVK::readConversionFile(path);
        benchmark::DoNotOptimize(read.lines.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK_CAPTURE(BM_ReadCsv, utf8_lf, false)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadCsv, gbk_crlf, true)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// What the GUI thread does once the worker handed over the lines: split, look up, build records.
void BM_BuildRequest(benchmark::State& state)
{
    const DVK::ConversionFileLines read = DVK::readConversionFile(csvFile(int(state.range(0)), true));
    const DVK::UploadBroker broker{7, "GX", "国信证券"};
    DVK::buildUploadRequest(read.lines, read.separator, broker); // loads the security master
    for (auto _ : state) {
        const DVK::UploadRequestPlan plan = DVK::buildUploadRequest(read.lines, read.separator, broker);
        benchmark::DoNotOptimize(plan.detail->subjects.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildRequest)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
