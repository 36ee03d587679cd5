#include "rediskeys.h"

namespace quorix::service {

std::string RedisKeys::place(const SubChannelKey& place)
{
    return std::to_string(place.channelId) + ":" + std::to_string(place.subChannelId);
}

} // namespace quorix::service
