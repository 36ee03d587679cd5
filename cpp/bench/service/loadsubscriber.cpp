#include "bench/service/loadsubscriber.h"

namespace quorix::loadgen {

namespace beast = boost::beast;

LoadSubscriber::LoadSubscriber(boost::asio::io_context& io, std::string target, bool readyOnUpgrade,
                               std::function<void()> onFirst,
                               std::function<void(const std::string&)> onFailed)
    : m_socket(io), m_target(std::move(target)), m_onFirst(std::move(onFirst)),
      m_onFailed(std::move(onFailed)), m_readyOnUpgrade(readyOnUpgrade)
{}

void LoadSubscriber::connect(const boost::asio::ip::tcp::endpoint& endpoint)
{
    m_socket.next_layer().async_connect(endpoint, [self = shared_from_this()](const beast::error_code& ec) {
        if (ec)
            return self->m_onFailed("connect: " + ec.message());
        // As browsers do: a vote leaves at once, not behind the acknowledgement of the last.
        beast::error_code ignored;
        self->m_socket.next_layer().set_option(boost::asio::ip::tcp::no_delay(true), ignored);
        self->m_socket.async_handshake("127.0.0.1", self->m_target, [self](const beast::error_code& error) {
            if (error)
                return self->m_onFailed("upgrade: " + error.message());
            if (self->m_readyOnUpgrade)
                self->m_onFirst();
            self->read();
        });
    });
}

void LoadSubscriber::read()
{
    m_socket.async_read(m_buffer, [self = shared_from_this()](const beast::error_code& ec, std::size_t) {
        if (ec) {
            if (!self->m_closed)
                self->m_onFailed("read: " + ec.message());
            return;
        }
        if (self->m_onText)
            self->m_onText(*self, beast::buffers_to_string(self->m_buffer.data()));
        self->m_buffer.consume(self->m_buffer.size());
        if (self->m_events++ == 0 && !self->m_readyOnUpgrade)
            self->m_onFirst();
        self->read();
    });
}

void LoadSubscriber::sendText(std::string text)
{
    m_out.push_back(std::move(text));
    writeNext();
}

void LoadSubscriber::writeNext()
{
    if (m_writing || m_out.empty() || m_closed)
        return;
    m_writing = true;
    m_socket.text(true);
    m_socket.async_write(boost::asio::buffer(m_out.front()),
                         [self = shared_from_this()](const beast::error_code& ec, std::size_t) {
                             self->m_writing = false;
                             self->m_out.pop_front();
                             if (ec) {
                                 if (!self->m_closed)
                                     self->m_onFailed("write: " + ec.message());
                                 return;
                             }
                             self->writeNext();
                         });
}

void LoadSubscriber::close()
{
    m_closed = true;
    beast::error_code ec;
    m_socket.next_layer().close(ec);
}

} // namespace quorix::loadgen
