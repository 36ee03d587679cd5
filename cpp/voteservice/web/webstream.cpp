#include "voteservice/web/webstream.h"

namespace quorix::service {

WebStream::WebStream(boost::asio::ip::tcp::socket socket,
                     const std::shared_ptr<boost::asio::ssl::context>& tls)
    : m_plain(tls ? boost::asio::ip::tcp::socket(socket.get_executor()) : std::move(socket)),
      m_tls(tls ? std::make_unique<TlsStream>(std::move(socket), *tls) : nullptr)
{}

} // namespace quorix::service
