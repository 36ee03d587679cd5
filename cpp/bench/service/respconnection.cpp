#include "respconnection.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>

namespace quorix::loadgen {

namespace asio = boost::asio;

RespConnection::RespConnection(asio::io_context& io, OnReply onReply, OnFailed onFailed)
    : m_socket(io), m_onReply(std::move(onReply)), m_onFailed(std::move(onFailed)),
      m_reader(redisReaderCreate())
{}

RespConnection::~RespConnection()
{
    redisReaderFree(m_reader);
}

void RespConnection::connect(const asio::ip::tcp::endpoint& endpoint, const asio::ip::address& source,
                             std::function<void()> onConnected)
{
    boost::system::error_code ec;
    m_socket.open(endpoint.protocol(), ec);
    const int noPort = 1;
    if (!ec && ::setsockopt(m_socket.native_handle(), IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &noPort,
                            sizeof noPort) != 0)
        ec.assign(errno, boost::system::system_category());
    if (!ec)
        m_socket.bind(asio::ip::tcp::endpoint(source, 0), ec);
    if (ec)
        return m_onFailed("bind to " + source.to_string() + ": " + ec.message());
    m_socket.async_connect(endpoint,
                           [self = shared_from_this(), onConnected](const boost::system::error_code& error) {
                               if (error)
                                   return self->m_onFailed("connect: " + error.message());
                               boost::system::error_code ignored;
                               self->m_socket.set_option(asio::ip::tcp::no_delay(true), ignored);
                               self->read();
                               onConnected();
                           });
}

void RespConnection::send(const std::vector<std::string>& args)
{
    m_queued += "*" + std::to_string(args.size()) + "\r\n";
    for (const std::string& arg : args)
        m_queued += "$" + std::to_string(arg.size()) + "\r\n" + arg + "\r\n";
    if (m_writing.empty())
        writeQueued();
}

void RespConnection::writeQueued()
{
    if (m_queued.empty() || m_closed)
        return;
    m_writing.swap(m_queued);
    asio::async_write(m_socket, asio::buffer(m_writing),
                      [self = shared_from_this()](const boost::system::error_code& ec, std::size_t) {
                          self->m_writing.clear();
                          if (ec)
                              return self->m_closed ? void() : self->m_onFailed("write: " + ec.message());
                          self->writeQueued();
                      });
}

void RespConnection::read()
{
    // One buffer for every connection: they all run on one thread and consume it at once.
    static std::array<char, 64 * 1024> scratch;
    m_socket.async_read_some(asio::buffer(scratch),
                             [self = shared_from_this()](const boost::system::error_code& ec, std::size_t n) {
                                 if (ec)
                                     return self->m_closed ? void()
                                                           : self->m_onFailed("read: " + ec.message());
                                 if (redisReaderFeed(self->m_reader, scratch.data(), n) != REDIS_OK)
                                     return self->m_onFailed("malformed reply from Redis");
                                 self->consume();
                             });
}

void RespConnection::consume()
{
    void* reply = nullptr;
    while (redisReaderGetReply(m_reader, &reply) == REDIS_OK && reply != nullptr) {
        const std::unique_ptr<redisReply, void (*)(void*)> owned(static_cast<redisReply*>(reply),
                                                                 freeReplyObject);
        reply = nullptr;
        m_onReply(*owned);
        if (m_closed)
            return;
    }
    if (m_reader->err != 0)
        return m_onFailed("malformed reply from Redis");
    read();
}

void RespConnection::close()
{
    m_closed = true;
    boost::system::error_code ec;
    m_socket.close(ec);
}

} // namespace quorix::loadgen
