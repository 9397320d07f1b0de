#include "hostservice.h"

namespace utils {

RQError::RQError() = default;

RQError::RQError(int code, std::string message)
    : m_code(code)
    , m_message(std::move(message))
{
}

RQError RQError::success()
{
    return RQError();
}

RQError RQError::failure(std::string message, int code)
{
    // A failure must never read as success, whatever code the caller picked.
    return RQError(code == 0 ? -1 : code, std::move(message));
}

bool RQError::isSuccess() const
{
    return m_code == 0;
}

int RQError::errorCode() const
{
    return m_code;
}

const std::string& RQError::errorMsg() const
{
    return m_message;
}

} // namespace utils
