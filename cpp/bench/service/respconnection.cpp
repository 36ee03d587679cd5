#include "bench/service/respconnection.h"

#include "bench/service/sourceaddress.h"

#include <array>

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
    bindToSourceAddress(m_socket, endpoint, source, ec);
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
    // Waits for readiness and then reads synchronously: the one buffer shared by every connection
    // (they all run on one thread) is filled and fed to the reader in the same handler. An
    // asynchronous read into it could be performed at once and overwritten by another connection's
    // before its handler ran.
    m_socket.async_wait(asio::ip::tcp::socket::wait_read,
                        [self = shared_from_this()](const boost::system::error_code& ec) {
                            if (ec)
                                return self->m_closed ? void() : self->m_onFailed("read: " + ec.message());
                            self->readAvailable();
                        });
}

void RespConnection::readAvailable()
{
    static std::array<char, 64 * 1024> scratch;
    boost::system::error_code ec;
    if (!m_socket.non_blocking())
        m_socket.non_blocking(true, ec);
    const std::size_t n = ec ? 0 : m_socket.read_some(asio::buffer(scratch), ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again)
        return read();
    if (ec)
        return m_closed ? void() : m_onFailed("read: " + ec.message());
    if (redisReaderFeed(m_reader, scratch.data(), n) != REDIS_OK)
        return m_onFailed("malformed reply from Redis");
    consume();
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
