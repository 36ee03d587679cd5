#pragma once

// The quorix-voted processes a load run starts beside itself, each on a free loopback port: one
// in memory (or on --data), or --nodes of them sharing one Redis (the given one, or a
// redis-server started for them). All end when this object goes.

#include "bench/service/loadgencommandline.h"
#include "tests/support/redistestserver.h"

#include <boost/asio.hpp>

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace quorix::loadgen {

class ServiceNodes
{
public:
    ServiceNodes() = default;
    ~ServiceNodes();
    ServiceNodes(const ServiceNodes&) = delete;
    ServiceNodes& operator=(const ServiceNodes&) = delete;

    // Starts what args ask for; false with why.
    bool start(const LoadgenArguments& args, std::string& error);
    void stop();

    const std::vector<boost::asio::ip::tcp::endpoint>& hosts() const { return m_hosts; }
    const std::vector<boost::asio::ip::tcp::endpoint>& webFaces() const { return m_webFaces; }
    const std::vector<pid_t>& pids() const { return m_pids; }
    // HOST:PORT of the Redis the nodes share, empty when they share none.
    const std::string& redisAddress() const { return m_redisAddress; }
    // The redis-server started for the nodes, or 0.
    pid_t ownRedisPid() const { return m_ownRedis ? m_ownRedis->pid() : 0; }

private:
    pid_t startOne(const LoadgenArguments& args, std::uint16_t& port, std::uint16_t& webPort);

    std::unique_ptr<service::test::RedisTestServer> m_ownRedis;
    std::string m_redisAddress;
    std::vector<boost::asio::ip::tcp::endpoint> m_hosts;
    std::vector<boost::asio::ip::tcp::endpoint> m_webFaces;
    std::vector<pid_t> m_pids;
};

} // namespace quorix::loadgen
