// The .xlsx readers: zip container, XML parts, shared strings and cells, then the request.
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::readAndBuild(fuzz::writeInput(data, size, QStringLiteral("xlsx")));
    return 0;
}
