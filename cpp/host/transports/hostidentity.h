#pragma once

// Who the local user is and where, as the host knows it. Plain value; ChannelState owns the live one.

#include <QString>

struct HostIdentity
{
    quint32 uid = 10001;
    quint32 imid = 90001;
    QString nick = QStringLiteral("频道管理员");
    quint32 role = 255;
    quint8 sex = 1;
    quint32 channelId = 888;
    quint32 subChannelId = 1;
};
