#pragma once

#include "host_export.h"

#include <QString>

namespace WB {

// The readers' own log lines. The file-reading core links no logger: the full host library hands
// it one at load (workbooklogsink.cpp); without it, lines go nowhere.
using WorkbookLogSink = void (*)(const char* line);
HOST_EXPORT void setWorkbookLogSink(WorkbookLogSink sink);
void logWorkbook(const QString& line);

} // namespace WB
