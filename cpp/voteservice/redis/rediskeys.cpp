#include "voteservice/redis/rediskeys.h"

namespace quorix::service {

std::string RedisKeys::place(const SubChannelKey& place)
{
    return std::to_string(place.channelId) + ":" + std::to_string(place.subChannelId);
}

std::string RedisKeys::channel(std::uint32_t channelId)
{
    return std::string(kPrefix) + "{ch" + std::to_string(channelId) + "}:";
}

} // namespace quorix::service
