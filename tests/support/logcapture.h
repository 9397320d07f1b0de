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
    // Attaches to g_RQStdLogger; a full one keeps each line, then fails it as a log on a full disk does.
    explicit CLogCapture(bool full = false);
    ~CLogCapture(); // detaches
    std::vector<CapturedLine> lines() const;

private:
    const std::shared_ptr<class CCaptureAppender> m_appender;
};

} // namespace testsupport
