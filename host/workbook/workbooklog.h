#pragma once

#include "host_export.h"

#include <QString>

namespace standin {
struct WorkbookReport;
}

namespace WB {

// The readers' own log lines. The file-reading core links no logger: the full host library hands
// it one at load (workbooklogsink.cpp); without it, lines go nowhere.
using WorkbookLogSink = void (*)(const char* line);
HOST_EXPORT void setWorkbookLogSink(WorkbookLogSink sink);
void logWorkbook(const QString& line);
// "[reader] open path: sheet 1 of 3, "Rates"", then the report's warnings.
void logWorkbookRead(const standin::WorkbookReport& report);

} // namespace WB
