#pragma once
// Collects what is written to the client's standard logger while it lives.

#include "hostservice.h"

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

struct CapturedLine
{
    int level = 0; // log4cxx level value, INFO is 20000
    std::string message;
};

class CLogCapture
{
public:
    CLogCapture();  // attaches to g_RQStdLogger
    ~CLogCapture(); // detaches
    std::vector<CapturedLine> lines() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace testsupport
