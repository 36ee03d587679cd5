#include "voteservice/server/addressrange.h"

#include <algorithm>
#include <array>
#include <string>

namespace quorix::service {

namespace asio = boost::asio;

namespace {
using Bytes = std::array<unsigned char, 16>;

// The address as 16 bytes (IPv4 in the first four) and its width in bits.
Bytes bytesOf(const asio::ip::address& address, unsigned& bits)
{
    Bytes bytes{};
    if (address.is_v4()) {
        const auto v4 = address.to_v4().to_bytes();
        std::copy(v4.begin(), v4.end(), bytes.begin());
        bits = 32;
        return bytes;
    }
    const auto v6 = address.to_v6().to_bytes();
    std::copy(v6.begin(), v6.end(), bytes.begin());
    bits = 128;
    return bytes;
}

// An IPv4-mapped IPv6 address (::ffff:a.b.c.d) as the IPv4 address it stands for.
asio::ip::address unmapped(const asio::ip::address& address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    return address;
}
} // namespace

std::optional<AddressRange> AddressRange::parse(std::string_view text)
{
    const std::size_t slash = text.find('/');
    boost::system::error_code ec;
    const asio::ip::address address = asio::ip::make_address(std::string(text.substr(0, slash)), ec);
    if (ec)
        return std::nullopt;
    const unsigned width = address.is_v4() ? 32 : 128;
    unsigned prefix = width;
    if (slash != std::string_view::npos) {
        const std::string_view digits = text.substr(slash + 1);
        if (digits.empty() || digits.size() > 3)
            return std::nullopt;
        prefix = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9')
                return std::nullopt;
            prefix = prefix * 10 + unsigned(c - '0');
        }
        if (prefix > width)
            return std::nullopt;
    }
    return AddressRange(address, prefix);
}

std::vector<AddressRange> AddressRange::loopback()
{
    return {*parse("127.0.0.0/8"), *parse("::1/128")};
}

bool AddressRange::contains(const asio::ip::address& candidate) const
{
    const asio::ip::address address = unmapped(candidate);
    if (address.is_v4() != m_network.is_v4())
        return false;
    unsigned bits = 0;
    const Bytes network = bytesOf(m_network, bits);
    const Bytes other = bytesOf(address, bits);
    const unsigned whole = m_prefix / 8;
    for (unsigned i = 0; i < whole; ++i)
        if (network[i] != other[i])
            return false;
    const unsigned rest = m_prefix % 8;
    if (rest == 0)
        return true;
    const unsigned char mask = static_cast<unsigned char>(0xff << (8 - rest));
    return (network[whole] & mask) == (other[whole] & mask);
}

bool AddressRange::anyContains(const std::vector<AddressRange>& ranges, const asio::ip::address& address)
{
    for (const AddressRange& range : ranges)
        if (range.contains(address))
            return true;
    return false;
}

} // namespace quorix::service
