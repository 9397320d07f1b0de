#include "logcapture.h"

#include <log4cxx/appenderskeleton.h>
#include <log4cxx/helpers/exception.h>
#include <log4cxx/helpers/transcoder.h>
#include <log4cxx/spi/loggingevent.h>

#include <boost/thread/mutex.hpp>

namespace testsupport {

// The log4cxx object macros name helpers:: unqualified.
using namespace log4cxx;

class CCaptureAppender : public log4cxx::AppenderSkeleton
{
public:
    DECLARE_LOG4CXX_OBJECT(CCaptureAppender)
    BEGIN_LOG4CXX_CAST_MAP()
    LOG4CXX_CAST_ENTRY(CCaptureAppender)
    LOG4CXX_CAST_ENTRY_CHAIN(log4cxx::AppenderSkeleton)
    END_LOG4CXX_CAST_MAP()

    void close() override {}
    bool requiresLayout() const override { return false; }

    mutable boost::mutex mutex; // lines are appended from service threads
    std::vector<CapturedLine> lines;
    bool full = false;

protected:
    void append(const log4cxx::spi::LoggingEventPtr& event, log4cxx::helpers::Pool&) override
    {
        LOG4CXX_ENCODE_CHAR(message, event->getRenderedMessage());
        boost::mutex::scoped_lock lock(mutex);
        lines.push_back(CapturedLine{event->getLevel()->toInt(), message});
        if (full)
            throw log4cxx::helpers::IOException(28); // ENOSPC
    }
};

IMPLEMENT_LOG4CXX_OBJECT(CCaptureAppender)

CLogCapture::CLogCapture(bool full)
    : m_appender(std::make_shared<CCaptureAppender>())
{
    m_appender->full = full;
    if (g_RQStdLogger)
        g_RQStdLogger->addAppender(m_appender);
}

CLogCapture::~CLogCapture()
{
    if (g_RQStdLogger)
        g_RQStdLogger->removeAppender(m_appender);
}

std::vector<CapturedLine> CLogCapture::lines() const
{
    boost::mutex::scoped_lock lock(m_appender->mutex);
    return m_appender->lines;
}

} // namespace testsupport
