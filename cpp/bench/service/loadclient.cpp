#include "loadclient.h"

#include "hostcontrol.h"
#include "loadrun.h"
#include "serviceframe.h"

namespace quorix::loadgen {

namespace {
std::uint32_t u32le(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
} // namespace

LoadClient::LoadClient(asio::io_context& io, LoadRun& run, std::size_t index,
                       service::SessionIdentity identity)
    : m_socket(io), m_run(run), m_index(index), m_identity(std::move(identity))
{}

void LoadClient::connect(const asio::ip::tcp::endpoint& endpoint)
{
    m_socket.async_connect(endpoint, [self = shared_from_this()](const asio::error_code& ec) {
        if (ec)
            return self->m_run.onFailed(*self, "connect: " + ec.message());
        asio::error_code ignored;
        self->m_socket.set_option(asio::ip::tcp::no_delay(true), ignored);
        const service::SessionIdentity& id = self->m_identity;
        const service::PHello hello{id.uid, id.imid, id.nick, id.role, id.channelId, id.subChannelId, {}};
        self->sendFrame(service::kControlMajorType, service::kControlHello, mpak::encode(hello));
        self->readHeader();
    });
}

void LoadClient::sendFrame(std::uint32_t maxType, std::uint32_t minType, const std::string& payload)
{
    const std::string frame = mpak::encodeFrame(maxType, minType, payload);
    std::string bytes;
    const auto size = static_cast<std::uint32_t>(frame.size());
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<char>((size >> shift) & 0xff));
    m_out.push_back(bytes + frame);
    if (!m_writing)
        writeNext();
}

void LoadClient::writeNext()
{
    if (m_out.empty()) {
        m_writing = false;
        return;
    }
    m_writing = true;
    asio::async_write(m_socket, asio::buffer(m_out.front()),
                      [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                          if (ec)
                              return self->m_run.onFailed(*self, "write: " + ec.message());
                          self->m_out.pop_front();
                          self->writeNext();
                      });
}

void LoadClient::readHeader()
{
    asio::async_read(m_socket, asio::buffer(m_header),
                     [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                         if (ec)
                             return self->m_run.onClosed(*self);
                         const std::uint32_t size = u32le(self->m_header.data());
                         if (size < 10 || size > 65545)
                             return self->m_run.onFailed(*self, "bad frame length from the service");
                         self->readBody(size);
                     });
}

void LoadClient::readBody(std::uint32_t size)
{
    m_body.resize(size);
    asio::async_read(m_socket, asio::buffer(m_body),
                     [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                         if (ec)
                             return self->m_run.onClosed(*self);
                         const auto* bytes = reinterpret_cast<const unsigned char*>(self->m_body.data());
                         self->m_run.onFrame(*self, u32le(bytes), u32le(bytes + 4), self->m_body.substr(10));
                         self->readHeader();
                     });
}

void LoadClient::close()
{
    asio::error_code ec;
    m_socket.close(ec);
}

} // namespace quorix::loadgen
