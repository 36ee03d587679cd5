#pragma once

// A block of IP addresses written as CIDR ("127.0.0.0/8", "::1/128", or a bare address for exactly
// that one), as --metrics-allow takes them. An IPv4 block also holds the IPv4-mapped IPv6 form of
// its addresses, which a dual-stack listener reports.

#include <boost/asio/ip/address.hpp>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quorix::service {

class AddressRange
{
public:
    // Nullopt when text is not an address with an optional prefix length that fits its family.
    static std::optional<AddressRange> parse(std::string_view text);
    // 127.0.0.0/8 and ::1: where --metrics-allow points when it is not given.
    static std::vector<AddressRange> loopback();

    bool contains(const boost::asio::ip::address& address) const;
    // Whether any of the ranges contains address.
    static bool anyContains(const std::vector<AddressRange>& ranges, const boost::asio::ip::address& address);

private:
    AddressRange(boost::asio::ip::address network, unsigned prefix) : m_network(network), m_prefix(prefix) {}

    boost::asio::ip::address m_network;
    unsigned m_prefix = 0;
};

} // namespace quorix::service
