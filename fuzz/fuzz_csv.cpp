// The csv path: encoding detection and conversion, line and field splitting, request building
// against the security master.
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::readAndBuild(fuzz::writeInput(data, size, QStringLiteral("csv")));
    return 0;
}
