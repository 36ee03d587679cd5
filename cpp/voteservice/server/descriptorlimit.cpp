#include "voteservice/server/descriptorlimit.h"

#include <sys/resource.h>

#include <algorithm>

namespace quorix::service {

std::optional<std::uint64_t> DescriptorLimit::current()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::nullopt;
    return static_cast<std::uint64_t>(limit.rlim_cur);
}

std::size_t DescriptorLimit::sessionsWithin(std::uint64_t limit, std::size_t wanted,
                                            std::size_t handshakeSlack)
{
    const std::uint64_t overhead = std::uint64_t(kReserved) + handshakeSlack;
    const std::uint64_t room = limit > overhead ? limit - overhead : 0;
    return static_cast<std::size_t>(std::max<std::uint64_t>(1, std::min<std::uint64_t>(wanted, room)));
}

} // namespace quorix::service
