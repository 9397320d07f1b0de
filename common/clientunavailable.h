#pragma once
// What the panel and its dialogs tell the user when the client centre gives them no client, and
// the flag byte they send with each request.

#include <QString>

namespace DVK {

// The client reserves the byte and ignores it.
constexpr unsigned char kClientRequestFlag = 0;

inline QString clientUnavailableText()
{
    return QStringLiteral("无法连接服务，查询未发出，请稍后重试。");
}

} // namespace DVK
