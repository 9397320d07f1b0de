#include "servicecall.h"

#include <algorithm>
#include <cstdio>

CServiceCall::CServiceCall(int budgetMs, int reserveMs)
    : m_budgetMs(std::max(budgetMs, 0))
    , m_reserveMs(std::max(reserveMs, 0))
    , m_deadline(Clock::now() + std::chrono::milliseconds(m_budgetMs))
{
}

int CServiceCall::remainingMs() const
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now()).count();
    return int(std::max<long long>(left, 0));
}

int CServiceCall::waitMs() const
{
    return std::max(remainingMs() - m_reserveMs, 0);
}

bool CServiceCall::start()
{
    boost::mutex::scoped_lock lock(m_mutex);
    if (m_state != eQueued)
        return false;
    m_state = eRunning;
    return true;
}

bool CServiceCall::setInterrupt(Interrupt interrupt)
{
    boost::mutex::scoped_lock lock(m_mutex);
    if (m_state == eExpired)
        return false;
    m_interrupt = std::move(interrupt);
    return true;
}

void CServiceCall::clearInterrupt()
{
    // The connection may close after this: the watch must no longer touch its socket.
    boost::mutex::scoped_lock lock(m_mutex);
    m_interrupt = Interrupt();
}

bool CServiceCall::expired() const
{
    boost::mutex::scoped_lock lock(m_mutex);
    return m_state == eExpired;
}

bool CServiceCall::beginCommit()
{
    boost::mutex::scoped_lock lock(m_mutex);
    // By the clock too: a watch held up on a loaded machine must not let a late commit land.
    if (m_state != eRunning || Clock::now() >= m_deadline)
        return false;
    m_state = eCommitting;
    return true;
}

bool CServiceCall::commitInterrupted() const
{
    boost::mutex::scoped_lock lock(m_mutex);
    return m_commitInterrupted;
}

bool CServiceCall::finish()
{
    boost::mutex::scoped_lock lock(m_mutex);
    m_interrupt = Interrupt();
    if (m_state == eExpired)
        return false;
    m_state = eDone;
    return true;
}

bool CServiceCall::expire()
{
    boost::mutex::scoped_lock lock(m_mutex);
    if (m_state == eDone || m_state == eExpired)
        return false;
    // Under the lock, so the connection cannot close (and its socket number be reused) meanwhile.
    if (m_interrupt)
        m_interrupt();
    if (m_state == eCommitting) {
        m_commitInterrupted = bool(m_interrupt);
        return false;
    }
    m_state = eExpired;
    return true;
}

std::string CServiceCall::seconds() const
{
    char text[32];
    if (m_budgetMs % 1000 == 0)
        std::snprintf(text, sizeof text, "%d", m_budgetMs / 1000);
    else
        std::snprintf(text, sizeof text, "%.1f", m_budgetMs / 1000.0);
    return text;
}

std::string CServiceCall::timedOutText(const char* action) const
{
    return std::string(action) + "失败: 数据库未在 " + seconds() + " 秒内应答, 未做任何改动, 请稍后重试";
}

std::string CServiceCall::waitedOutText(const char* action, const char* reason) const
{
    return std::string(action) + "失败: " + reason + ", " + seconds() + " 秒内未能完成, 未做任何改动, 请稍后重试";
}

std::string CServiceCall::commitUnknownText() const
{
    return "保存上传数据失败: 数据库未在 " + seconds() + " 秒内确认保存, 无法确定本次上传是否已生效, 请刷新后核对";
}
