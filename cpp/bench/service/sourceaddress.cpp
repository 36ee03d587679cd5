#include "bench/service/sourceaddress.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

namespace quorix::loadgen {

void bindToSourceAddress(boost::asio::ip::tcp::socket& socket, const boost::asio::ip::tcp::endpoint& endpoint,
                         const boost::asio::ip::address& source, boost::system::error_code& ec)
{
    socket.open(endpoint.protocol(), ec);
    const int noPort = 1;
    if (!ec && ::setsockopt(socket.native_handle(), IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &noPort,
                            sizeof noPort) != 0)
        ec.assign(errno, boost::system::system_category());
    if (!ec)
        socket.bind(boost::asio::ip::tcp::endpoint(source, 0), ec);
}

} // namespace quorix::loadgen
