// The .xls readers (the tab-joined reader, then the cell reader) on the compound-document and BIFF reader, then the request.
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::readAndBuild(fuzz::writeInput(data, size, QStringLiteral("xls")));
    return 0;
}
