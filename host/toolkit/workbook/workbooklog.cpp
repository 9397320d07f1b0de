#include "workbooklog.h"

#include <atomic>

namespace WB {

namespace {

std::atomic<WorkbookLogSink> g_sink{nullptr};

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

} // namespace WB
