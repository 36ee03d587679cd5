#pragma once

// The query of a request target ("a=1&b=x%20y"), percent-decoded. Pure: no sockets.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quorix::service {

class QueryParameters
{
public:
    static constexpr std::size_t kMaxParameters = 32;

    // Null with the offending parameter's name (or "query" when it has none) in field when the query
    // is not valid percent-encoding, has a parameter without a name, names a parameter twice or has
    // more than kMaxParameters.
    static std::optional<QueryParameters> parse(std::string_view query, std::string& field);

    bool has(const std::string& name) const { return m_values.count(name) != 0; }
    // The value, or null when the parameter is absent.
    const std::string* find(const std::string& name) const;
    // False when present and not a decimal number of at most 32 bits; absent leaves out unchanged.
    bool number(const std::string& name, std::uint32_t& out) const;

    // A decimal number of at most 32 bits (no sign, no spaces), or nullopt.
    static std::optional<std::uint32_t> parseNumber(std::string_view text);
    // Percent-decoding with '+' as a space; nullopt for a '%' not followed by two hex digits.
    static std::optional<std::string> decode(std::string_view text);

private:
    std::map<std::string, std::string> m_values;
};

} // namespace quorix::service
