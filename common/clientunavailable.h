#pragma once
// What the panel and its dialogs tell the user when the client centre gives them no client.

#include <QString>

namespace DVK {

inline QString clientUnavailableText()
{
    return QStringLiteral("无法连接服务，查询未发出，请稍后重试。");
}

} // namespace DVK
