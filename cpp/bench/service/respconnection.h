#pragma once

// One connection of the load generator to a bare Redis: commands out in its wire format, replies
// (and, once subscribed, pushed messages) in, parsed by hiredis's reader. Single-threaded on the
// run's io_context.

#include <boost/asio.hpp>

#include <hiredis/hiredis.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorix::loadgen {

class RespConnection : public std::enable_shared_from_this<RespConnection>
{
public:
    using OnReply = std::function<void(const redisReply& reply)>;
    using OnFailed = std::function<void(const std::string& what)>;

    RespConnection(boost::asio::io_context& io, OnReply onReply, OnFailed onFailed);
    ~RespConnection();
    RespConnection(const RespConnection&) = delete;
    RespConnection& operator=(const RespConnection&) = delete;

    // Binds to source (any port), connects, then calls onConnected.
    void connect(const boost::asio::ip::tcp::endpoint& endpoint, const boost::asio::ip::address& source,
                 std::function<void()> onConnected);
    // Queues one command; commands queued while a write is under way go together in the next.
    void send(const std::vector<std::string>& args);
    void close();

private:
    void writeQueued();
    void read();
    void readAvailable();
    void consume();

    boost::asio::ip::tcp::socket m_socket;
    OnReply m_onReply;
    OnFailed m_onFailed;
    redisReader* m_reader;
    std::string m_queued;
    std::string m_writing;
    bool m_closed = false;
};

} // namespace quorix::loadgen
