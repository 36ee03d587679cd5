#include "jsonreader.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {
struct JsonSyntaxError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// True when the text is UTF-8 without overlong forms, surrogates or code points past U+10FFFF.
bool isValidUtf8(const std::string& s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
        const unsigned char lead = byte(i);
        const std::size_t len = lead < 0x80                    ? 1
                                : lead >= 0xc2 && lead <= 0xdf ? 2
                                : lead >= 0xe0 && lead <= 0xef ? 3
                                : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                               : 0;
        if (len == 0 || i + len > s.size())
            return false;
        std::uint32_t cp = len == 1 ? lead : lead & (0x7f >> len);
        for (std::size_t k = 1; k < len; ++k) {
            if ((byte(i + k) & 0xc0) != 0x80)
                return false;
            cp = (cp << 6) | (byte(i + k) & 0x3f);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[len] || (cp >= 0xd800 && cp <= 0xdfff) || cp > 0x10ffff)
            return false;
        i += len;
    }
    return true;
}
} // namespace

JsonReader::JsonReader(std::string input) : m_input(std::move(input)) {}

bool JsonReader::parse(JsonValue& out)
{
    m_pos = 0;
    m_error.clear();
    try {
        JsonValue value = parseValue(0);
        skipSpace();
        if (m_pos != m_input.size())
            fail("unexpected data after the JSON value");
        out = std::move(value);
        return true;
    } catch (const JsonSyntaxError& e) {
        m_error = e.what();
        return false;
    }
}

void JsonReader::fail(const std::string& what) const
{
    throw JsonSyntaxError("JSON: " + what + " at offset " + std::to_string(m_pos));
}

char JsonReader::peek() const
{
    return m_pos < m_input.size() ? m_input[m_pos] : '\0';
}

void JsonReader::skipSpace()
{
    while (m_pos < m_input.size() && std::strchr(" \t\r\n", m_input[m_pos]) != nullptr &&
           m_input[m_pos] != '\0')
        ++m_pos;
}

JsonValue JsonReader::parseValue(int depth)
{
    if (depth > kMaxDepth)
        fail("nesting deeper than " + std::to_string(kMaxDepth));
    skipSpace();
    if (m_pos >= m_input.size())
        fail("unexpected end of input");
    const char c = m_input[m_pos];
    switch (c) {
    case '{':
        return parseObject(depth);
    case '[':
        return parseArray(depth);
    case '"':
        return JsonValue::text(parseText());
    case 't':
        expectWord("true");
        return JsonValue::boolean(true);
    case 'f':
        expectWord("false");
        return JsonValue::boolean(false);
    case 'n':
        expectWord("null");
        return JsonValue();
    default:
        if (c == '-' || (c >= '0' && c <= '9'))
            return parseNumber();
        fail(std::string("unexpected character '") + c + "'");
    }
}

void JsonReader::expectWord(const char* word)
{
    const std::size_t n = std::strlen(word);
    if (m_input.compare(m_pos, n, word) != 0)
        fail(std::string("expected ") + word);
    m_pos += n;
}

JsonValue JsonReader::parseObject(int depth)
{
    JsonValue object = JsonValue::object();
    ++m_pos;
    skipSpace();
    if (peek() == '}') {
        ++m_pos;
        return object;
    }
    for (;;) {
        skipSpace();
        if (peek() != '"')
            fail("expected a member name");
        std::string key = parseText();
        skipSpace();
        if (peek() != ':')
            fail("expected ':'");
        ++m_pos;
        if (object.find(key) != nullptr)
            fail("duplicate member \"" + key + "\"");
        object.insert(std::move(key), parseValue(depth + 1));
        skipSpace();
        const char next = peek();
        ++m_pos;
        if (next == '}')
            return object;
        if (next != ',')
            fail("expected ',' or '}'");
    }
}

JsonValue JsonReader::parseArray(int depth)
{
    JsonValue array = JsonValue::array();
    ++m_pos;
    skipSpace();
    if (peek() == ']') {
        ++m_pos;
        return array;
    }
    for (;;) {
        array.append(parseValue(depth + 1));
        skipSpace();
        const char next = peek();
        ++m_pos;
        if (next == ']')
            return array;
        if (next != ',')
            fail("expected ',' or ']'");
    }
}

JsonValue JsonReader::parseNumber()
{
    const std::size_t start = m_pos;
    const auto digits = [&] {
        const std::size_t from = m_pos;
        while (peek() >= '0' && peek() <= '9')
            ++m_pos;
        return m_pos > from;
    };
    if (peek() == '-')
        ++m_pos;
    if (!digits())
        fail("malformed number");
    if (peek() == '.') {
        ++m_pos;
        if (!digits())
            fail("malformed number");
    }
    if (peek() == 'e' || peek() == 'E') {
        ++m_pos;
        if (peek() == '+' || peek() == '-')
            ++m_pos;
        if (!digits())
            fail("malformed number");
    }
    const std::string text = m_input.substr(start, m_pos - start);
    // A number beyond the range of double would become infinity, which JSON cannot write back.
    const double value = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(value))
        fail("number out of range");
    return JsonValue::number(value);
}

std::uint32_t JsonReader::parseHex4()
{
    if (m_pos + 4 > m_input.size())
        fail("short \\u escape");
    std::uint32_t cp = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = m_input[m_pos++];
        cp <<= 4;
        if (c >= '0' && c <= '9')
            cp |= static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            cp |= static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            cp |= static_cast<std::uint32_t>(c - 'A' + 10);
        else
            fail("bad \\u escape");
    }
    return cp;
}

void JsonReader::appendUtf8(std::uint32_t cp, std::string& out)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xc0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xe0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    }
}

std::string JsonReader::parseText()
{
    std::string out;
    ++m_pos;
    for (;;) {
        if (m_pos >= m_input.size())
            fail("unterminated text");
        const char c = m_input[m_pos++];
        if (c == '"') {
            // Text that is not UTF-8 could only be written back with replacement characters, and
            // two different keys could then become one.
            if (!isValidUtf8(out))
                fail("text is not valid UTF-8");
            return out;
        }
        if (static_cast<unsigned char>(c) < 0x20)
            fail("control character in text");
        if (c != '\\') {
            out += c;
            continue;
        }
        if (m_pos >= m_input.size())
            fail("unterminated text");
        const char e = m_input[m_pos++];
        static const char from[] = "\"\\/bfnrt";
        static const char to[] = "\"\\/\b\f\n\r\t";
        if (const char* hit = std::strchr(from, e); hit != nullptr && e != '\0') {
            out += to[hit - from];
            continue;
        }
        if (e != 'u')
            fail("bad escape");
        std::uint32_t cp = parseHex4();
        if (cp >= 0xdc00 && cp <= 0xdfff)
            fail("unpaired surrogate");
        if (cp >= 0xd800 && cp <= 0xdbff) {
            if (m_input.compare(m_pos, 2, "\\u") != 0)
                fail("unpaired surrogate");
            m_pos += 2;
            const std::uint32_t low = parseHex4();
            if (low < 0xdc00 || low > 0xdfff)
                fail("unpaired surrogate");
            cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
        }
        appendUtf8(cp, out);
    }
}
