#include "workbooklog.h"

#include "standinworkbook.h"

#include <atomic>

namespace WB {

namespace {

std::atomic<WorkbookLogSink> g_sink{nullptr};

// Enough line numbers to find the cells; the rest counted.
constexpr int kLinesListed = 10;

} // namespace

void setWorkbookLogSink(WorkbookLogSink sink)
{
    g_sink.store(sink);
}

void logWorkbook(const QString& line)
{
    if (const WorkbookLogSink sink = g_sink.load())
        sink(line.toUtf8().constData());
}

void logWorkbookRead(const standin::WorkbookReport& report)
{
    if (!g_sink.load())
        return;
    QString line = QStringLiteral("[%1] open %2: %3").arg(report.reader, report.path, report.sheetText());
    for (const QString& warning : report.sheetWarnings())
        line += QStringLiteral("; warning: ") + warning;
    if (!report.tabLines.empty()) {
        QStringList numbers;
        for (size_t i = 0; i < report.tabLines.size() && i < size_t(kLinesListed); ++i)
            numbers << QString::number(report.tabLines[i] + 1);
        if (report.tabLines.size() > size_t(kLinesListed))
            numbers << QStringLiteral("... (%1 lines)").arg(report.tabLines.size());
        line += QStringLiteral("; a tab inside a cell read as a space on line ") + numbers.join(QStringLiteral(", "));
    }
    logWorkbook(line);
}

} // namespace WB
