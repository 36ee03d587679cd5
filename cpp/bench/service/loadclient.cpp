#include "bench/service/loadclient.h"

#include <quorix/protocol/hostcontrol.h>
#include "bench/service/loadrun.h"
#include "bench/service/sourceaddress.h"
#include <quorix/protocol/serviceframe.h>

#include <array>

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

void LoadClient::connect(const asio::ip::tcp::endpoint& endpoint, const asio::ip::address& source)
{
    boost::system::error_code ec;
    bindToSourceAddress(m_socket, endpoint, source, ec);
    if (ec)
        return m_run.onFailed(*this, "bind to " + source.to_string() + ": " + ec.message());
    m_socket.async_connect(endpoint, [self = shared_from_this()](const boost::system::error_code& ec) {
        if (ec)
            return self->m_run.onFailed(*self, "connect: " + ec.message());
        boost::system::error_code ignored;
        self->m_socket.set_option(asio::ip::tcp::no_delay(true), ignored);
        const service::SessionIdentity& id = self->m_identity;
        const service::PHello hello{id.uid, id.imid, id.nick, id.role, id.channelId, id.subChannelId, {}};
        self->sendFrame(service::kControlMajorType, service::kControlHello, mpak::encode(hello));
        boost::system::error_code nonBlocking;
        self->m_socket.non_blocking(true, nonBlocking);
        self->waitReadable();
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
                      [self = shared_from_this()](const boost::system::error_code& ec, std::size_t) {
                          if (ec)
                              return self->m_run.onFailed(*self, "write: " + ec.message());
                          self->m_out.pop_front();
                          self->writeNext();
                      });
}

void LoadClient::waitReadable()
{
    m_socket.async_wait(asio::ip::tcp::socket::wait_read,
                        [self = shared_from_this()](const boost::system::error_code& ec) {
                            if (ec)
                                return self->m_run.onClosed(*self);
                            self->onReadable();
                        });
}

void LoadClient::onReadable()
{
    static std::array<char, 64 * 1024> scratch;
    boost::system::error_code ec;
    const std::size_t n = m_socket.read_some(asio::buffer(scratch), ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again)
        return waitReadable();
    if (ec || n == 0)
        return m_run.onClosed(*this);
    m_partial.append(scratch.data(), n);
    const std::size_t used = consumeFrames(m_partial.data(), m_partial.size());
    m_partial.erase(0, used);
    waitReadable();
}

std::size_t LoadClient::consumeFrames(const char* data, std::size_t size)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    std::size_t used = 0;
    while (size - used >= 4) {
        const std::uint32_t length = u32le(bytes + used);
        if (length < 10 || length > 65545) {
            m_run.onFailed(*this, "bad frame length from the service");
            return size;
        }
        if (size - used - 4 < length)
            break;
        const unsigned char* frame = bytes + used + 4;
        used += 4 + length;
        m_run.onFrame(*this, u32le(frame), u32le(frame + 4),
                      std::string(reinterpret_cast<const char*>(frame) + 10, length - 10));
    }
    return used;
}

void LoadClient::close()
{
    boost::system::error_code ec;
    m_socket.close(ec);
}

} // namespace quorix::loadgen
