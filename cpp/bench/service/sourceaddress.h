#pragma once

#include <boost/asio.hpp>

namespace quorix::loadgen {

// Opens the socket for the endpoint's protocol and binds it to one loopback source address. The port
// is picked at connect, per destination, so one source address is not limited to one range of ports
// over all the services.
void bindToSourceAddress(boost::asio::ip::tcp::socket& socket, const boost::asio::ip::tcp::endpoint& endpoint,
                         const boost::asio::ip::address& source, boost::system::error_code& ec);

} // namespace quorix::loadgen
