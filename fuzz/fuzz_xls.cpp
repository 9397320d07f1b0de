// The .xls readers as they go through FreeXL (the tab-joined reader, then the cell reader), then the request.
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::readAndBuild(fuzz::writeInput(data, size, QStringLiteral("xls")));
    return 0;
}
