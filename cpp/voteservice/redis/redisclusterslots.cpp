#include "voteservice/redis/redisclusterslots.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace quorix::service {

namespace {

// CRC16-CCITT (XMODEM: polynomial 0x1021, initial value 0), the checksum Redis Cluster uses.
std::uint16_t crc16(std::string_view bytes)
{
    std::uint16_t crc = 0;
    for (const char c : bytes) {
        crc ^= std::uint16_t(static_cast<unsigned char>(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) != 0 ? std::uint16_t((crc << 1) ^ 0x1021) : std::uint16_t(crc << 1);
    }
    return crc;
}

// A decimal number of at most digits digits and at most max; false for anything else.
bool decimal(std::string_view text, std::size_t digits, unsigned long max, unsigned long& value)
{
    if (text.empty() || text.size() > digits)
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + unsigned(c - '0');
    }
    return value <= max;
}

// Printable bytes without spaces, as a host name or address is written.
bool plausibleHost(std::string_view host)
{
    return host.size() <= RedisClusterSlots::kMaxHostLength &&
           std::all_of(host.begin(), host.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

// HOST:PORT, [IPV6]:PORT or :PORT (the host left empty).
bool endpoint(std::string_view text, RedisClusterNode& node)
{
    const std::size_t colon = text.rfind(':');
    unsigned long port = 0;
    if (colon == std::string_view::npos || !decimal(text.substr(colon + 1), 5, 65535, port) || port == 0)
        return false;
    std::string_view host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (!plausibleHost(host))
        return false;
    node.host = std::string(host);
    node.port = std::uint16_t(port);
    return true;
}

bool isInteger(const redisReply* reply, long long min, long long max)
{
    return reply != nullptr && reply->type == REDIS_REPLY_INTEGER && reply->integer >= min &&
           reply->integer <= max;
}

} // namespace

std::uint16_t RedisClusterSlots::slot(std::string_view key)
{
    const std::size_t open = key.find('{');
    if (open != std::string_view::npos) {
        const std::size_t close = key.find('}', open + 1);
        if (close != std::string_view::npos && close > open + 1)
            key = key.substr(open + 1, close - open - 1);
    }
    return std::uint16_t(crc16(key) % kSlots);
}

std::optional<RedisRedirect> RedisClusterSlots::redirect(const redisReply* reply)
{
    // "MOVED 3999 127.0.0.1:6381": kind, slot and endpoint, one space apart.
    constexpr std::size_t kMaxLength = 6 + 6 + kMaxHostLength + 2 + 6;
    if (reply == nullptr || reply->type != REDIS_REPLY_ERROR || reply->len > kMaxLength)
        return std::nullopt;
    const std::string_view text(reply->str, reply->len);
    const std::size_t first = text.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : text.find(' ', first + 1);
    if (second == std::string_view::npos || text.find(' ', second + 1) != std::string_view::npos)
        return std::nullopt;
    RedisRedirect redirect;
    const std::string_view kind = text.substr(0, first);
    if (kind == "MOVED")
        redirect.kind = RedisRedirect::Kind::Moved;
    else if (kind == "ASK")
        redirect.kind = RedisRedirect::Kind::Ask;
    else
        return std::nullopt;
    unsigned long slot = 0;
    if (!decimal(text.substr(first + 1, second - first - 1), 5, kSlots - 1, slot) ||
        !endpoint(text.substr(second + 1), redirect.node))
        return std::nullopt;
    redirect.slot = std::uint16_t(slot);
    return redirect;
}

bool RedisClusterSlots::readRange(const redisReply& entry, const std::string& answeredBy,
                                  std::uint16_t& first, std::uint16_t& last, RedisClusterNode& primary,
                                  std::string& error)
{
    if (entry.type != REDIS_REPLY_ARRAY || entry.elements < 3 ||
        !isInteger(entry.element[0], 0, kSlots - 1) ||
        !isInteger(entry.element[1], entry.element[0]->integer, kSlots - 1)) {
        error = "a slot range that is not [start, end, primary, ...] within 0-16383";
        return false;
    }
    first = std::uint16_t(entry.element[0]->integer);
    last = std::uint16_t(entry.element[1]->integer);
    const redisReply* node = entry.element[2];
    if (node->type != REDIS_REPLY_ARRAY || node->elements < 2 || !isInteger(node->element[1], 1, 65535) ||
        (node->element[0]->type != REDIS_REPLY_STRING && node->element[0]->type != REDIS_REPLY_NIL)) {
        error = "a primary that is not [host, port, ...]";
        return false;
    }
    const redisReply* host = node->element[0];
    primary.host = host->type == REDIS_REPLY_NIL ? std::string() : std::string(host->str, host->len);
    // Empty (or "?", unknown) when the node does not know its own address: it is the one answering.
    if (primary.host.empty() || primary.host == "?")
        primary.host = answeredBy;
    if (!plausibleHost(primary.host) || primary.host.empty()) {
        error = "a primary whose host is not a host name or address";
        return false;
    }
    primary.port = std::uint16_t(node->element[1]->integer);
    return true;
}

bool RedisClusterSlots::update(const redisReply& reply, const std::string& answeredBy, std::string& error)
{
    if (reply.type != REDIS_REPLY_ARRAY || reply.elements > kSlots) {
        error = "the CLUSTER SLOTS reply is not an array of at most 16384 ranges";
        return false;
    }
    std::vector<RedisClusterNode> primaries;
    std::vector<std::uint16_t> owner(kSlots, kNone);
    for (std::size_t i = 0; i < reply.elements; ++i) {
        std::uint16_t first = 0, last = 0;
        RedisClusterNode primary;
        if (!readRange(*reply.element[i], answeredBy, first, last, primary, error))
            return false;
        auto known = std::find(primaries.begin(), primaries.end(), primary);
        if (known == primaries.end())
            known = primaries.insert(primaries.end(), primary);
        const auto index = std::uint16_t(known - primaries.begin());
        for (std::uint32_t s = first; s <= last; ++s) {
            if (owner[s] != kNone) {
                error = "slot " + std::to_string(s) + " is given to two ranges";
                return false;
            }
            owner[s] = index;
        }
    }
    m_primaries = std::move(primaries);
    m_owner = std::move(owner);
    return true;
}

const RedisClusterNode* RedisClusterSlots::primary(std::uint16_t slot) const
{
    if (slot >= kSlots || m_owner[slot] == kNone)
        return nullptr;
    return &m_primaries[m_owner[slot]];
}

bool RedisClusterSlots::complete() const
{
    return std::none_of(m_owner.begin(), m_owner.end(), [](std::uint16_t owner) { return owner == kNone; });
}

} // namespace quorix::service
