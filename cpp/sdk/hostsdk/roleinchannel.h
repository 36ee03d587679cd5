#pragma once

// A user's role in a channel, as the channel member row's "dwRole" column holds it.
// The five roles from ROLE_HOST upwards manage the channel's votes.

#include <QMetaType>

#include <cstdint>

enum ROLE_IN_CHANNEL : std::uint32_t
{
    ROLE_UNKNOWN = 0,
    ROLE_GUEST = 20,
    ROLE_MEMBER = 100,
    ROLE_HOST = 150,
    ROLE_SUBCHANNEL_ADMIN = 175,
    ROLE_ADMIN = 200,
    ROLE_VICE_OWNER = 230,
    ROLE_OWNER = 255,
};

Q_DECLARE_METATYPE(ROLE_IN_CHANNEL)
