#include "voteservice/web/queryparameters.h"

namespace quorix::service {

namespace {
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

std::optional<std::string> QueryParameters::decode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c != '%') {
            out.push_back(c);
        } else {
            if (i + 2 >= text.size())
                return std::nullopt;
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        }
    }
    return out;
}

std::optional<std::uint32_t> QueryParameters::parseNumber(std::string_view text)
{
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + std::uint64_t(c - '0');
    }
    if (value > UINT32_MAX)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::optional<QueryParameters> QueryParameters::parse(std::string_view query, std::string& field)
{
    QueryParameters result;
    std::size_t start = 0;
    while (start < query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string_view::npos)
            end = query.size();
        const std::string_view pair = query.substr(start, end - start);
        start = end + 1;
        if (pair.empty())
            continue;
        const std::size_t equals = pair.find('=');
        const auto name = decode(pair.substr(0, equals));
        const auto value =
            decode(equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
        // A parameter without a name has no field to name: the query is at fault.
        if (!name || name->empty()) {
            field = "query";
            return std::nullopt;
        }
        if (!value) {
            field = *name;
            return std::nullopt;
        }
        if (result.m_values.size() >= kMaxParameters) {
            field = "query";
            return std::nullopt;
        }
        if (!result.m_values.emplace(*name, *value).second) {
            field = *name;
            return std::nullopt;
        }
    }
    return result;
}

const std::string* QueryParameters::find(const std::string& name) const
{
    const auto it = m_values.find(name);
    return it == m_values.end() ? nullptr : &it->second;
}

bool QueryParameters::number(const std::string& name, std::uint32_t& out) const
{
    const std::string* text = find(name);
    if (text == nullptr)
        return true;
    const auto value = parseNumber(*text);
    if (!value)
        return false;
    out = *value;
    return true;
}

} // namespace quorix::service
