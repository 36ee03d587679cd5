#include "voteservice/redis/redistransport.h"

#include "voteservice/redis/redissockettransport.h"
#include "voteservice/redis/redistlstransport.h"

namespace quorix::service {

std::unique_ptr<RedisTransport> RedisTransport::open(const RedisAddress& address, int timeoutMs,
                                                     std::string& error)
{
    if (address.transport == RedisAddress::Transport::Tls)
        return RedisTlsTransport::open(address, timeoutMs, error);
    const int fd = address.transport == RedisAddress::Transport::Unix
                       ? RedisSocketTransport::connectUnix(address.socketPath, timeoutMs, error)
                       : RedisSocketTransport::connectTcp(address.host, address.port, timeoutMs, error);
    if (fd < 0)
        return nullptr;
    return std::make_unique<RedisSocketTransport>(fd);
}

} // namespace quorix::service
