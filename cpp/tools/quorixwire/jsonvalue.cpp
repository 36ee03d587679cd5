#include "jsonvalue.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when the bytes there are not one.
std::size_t utf8SequenceLength(const std::string& s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xc2 && lead <= 0xdf) {
        len = 2;
        cp = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        len = 3;
        cp = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        len = 4;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3f);
    }
    const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    const bool surrogate = cp >= 0xd800 && cp <= 0xdfff;
    if (overlong || surrogate || cp > 0x10ffff)
        return 0;
    return len;
}

void writeText(const std::string& s, std::string& out)
{
    out += '"';
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const std::size_t len = utf8SequenceLength(s, i);
        if (len == 0) {
            out += "\xef\xbf\xbd";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.append(s, i, len);
        }
        i += len;
    }
    out += '"';
}

void writeNumber(double n, std::string& out)
{
    char buf[32];
    if (std::floor(n) == n && std::fabs(n) < 9007199254740992.0)
        std::snprintf(buf, sizeof buf, "%.0f", n);
    else
        std::snprintf(buf, sizeof buf, "%.17g", n);
    out += buf;
}

} // namespace

JsonValue JsonValue::boolean(bool b)
{
    JsonValue v;
    v.m_kind = Kind::Bool;
    v.m_bool = b;
    return v;
}

JsonValue JsonValue::number(double n)
{
    JsonValue v;
    v.m_kind = Kind::Number;
    v.m_number = n;
    return v;
}

JsonValue JsonValue::text(std::string s)
{
    JsonValue v;
    v.m_kind = Kind::Text;
    v.m_text = std::move(s);
    return v;
}

JsonValue JsonValue::array()
{
    JsonValue v;
    v.m_kind = Kind::Array;
    return v;
}

JsonValue JsonValue::object()
{
    JsonValue v;
    v.m_kind = Kind::Object;
    return v;
}

const JsonValue* JsonValue::find(const std::string& key) const
{
    for (const Member& m : m_members)
        if (m.first == key)
            return &m.second;
    return nullptr;
}

std::string JsonValue::write() const
{
    std::string out;
    writeTo(out);
    return out;
}

void JsonValue::writeTo(std::string& out) const
{
    switch (m_kind) {
    case Kind::Null:
        out += "null";
        break;
    case Kind::Bool:
        out += m_bool ? "true" : "false";
        break;
    case Kind::Number:
        writeNumber(m_number, out);
        break;
    case Kind::Text:
        writeText(m_text, out);
        break;
    case Kind::Array:
        out += '[';
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            if (i > 0)
                out += ',';
            m_items[i].writeTo(out);
        }
        out += ']';
        break;
    case Kind::Object:
        out += '{';
        for (std::size_t i = 0; i < m_members.size(); ++i) {
            if (i > 0)
                out += ',';
            writeText(m_members[i].first, out);
            out += ':';
            m_members[i].second.writeTo(out);
        }
        out += '}';
        break;
    }
}

const char* JsonValue::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Null:
        return "null";
    case Kind::Bool:
        return "a boolean";
    case Kind::Number:
        return "a number";
    case Kind::Text:
        return "a text";
    case Kind::Array:
        return "an array";
    case Kind::Object:
        return "an object";
    }
    return "a value";
}
