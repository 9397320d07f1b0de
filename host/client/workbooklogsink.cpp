// Gives the workbook readers the client's logger as soon as the host library is loaded.
#include "hostlog.h"
#include "workbooklog.h"

namespace {

void writeLine(const char* line)
{
    rqservice::serviceLogInfo("%s", line);
}

const bool g_attached = [] {
    WB::setWorkbookLogSink(&writeLine);
    return true;
}();

} // namespace
