// Writes the benchmarks' conversion-rate files into a folder, for bench/compare.sh:
//   make_rate_files [--shipped] OUT_DIR [ROWS...]
//     default 100000: csv in both encodings and .xlsx; 65000 as .xls when LibreOffice is there,
//     and as .xlsx for LibreOffice to write another .xls from. Each file names each security once
//     (read against ratefiles::masterFile), as an upload must; with --shipped the rows cycle
//     through the shipped security master instead (files named rates*_shipped*), so that every
//     row resolves against the master a program loads by default. The service would refuse such
//     a file's repeated securities in an upload; creditdata-preview --count uploads nothing.
#include "ratefiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool shipped = !args.isEmpty() && args.first() == QLatin1String("--shipped");
    if (shipped)
        args.removeFirst();
    if (args.isEmpty() || args.first().startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: make_rate_files [--shipped] OUT_DIR [ROWS...]\n");
        return 2;
    }
    const auto securities = shipped ? ratefiles::Securities::ShippedCycle : ratefiles::Securities::EachOnce;
    const QString out = QDir(args.takeFirst()).absolutePath();
    QDir().mkpath(out);
    QList<int> sizes;
    for (const QString& a : args)
        sizes << a.toInt();
    if (sizes.isEmpty())
        sizes << 100000 << 65000;
    int failed = 0;
    for (int rows : sizes) {
        using ratefiles::Kind;
        // 65,000 rows is the legacy format's size here: .xls, and the workbook for another .xls.
        const QList<Kind> kinds =
            rows == 65000 ? QList<Kind>{Kind::Xls, Kind::Xlsx} : QList<Kind>{Kind::Utf8Csv, Kind::GbkCsv, Kind::Xlsx};
        for (Kind kind : kinds) {
            const QString path = ratefiles::file(kind, rows, out, securities);
            std::printf("%s\n", path.isEmpty() ? qPrintable(QStringLiteral("cannot make %1 rows as %2")
                                                                .arg(rows)
                                                                .arg(QLatin1String(ratefiles::kindName(kind))))
                                               : qPrintable(path));
            failed += path.isEmpty();
        }
    }
    return failed ? 1 : 0;
}
