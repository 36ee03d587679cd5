#include <quorix/protocol/jsontext.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

using Json = nlohmann::ordered_json;

namespace {

struct Refusal : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

[[noreturn]] void refuse(const std::string& what, std::size_t offset)
{
    throw Refusal(what + " at offset " + std::to_string(offset));
}

// Length of the valid UTF-8 sequence at s[i], or 0 when the bytes there are not one.
std::size_t utf8SequenceLength(const std::string& s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80)
        return 1;
    const std::size_t len = lead >= 0xc2 && lead <= 0xdf   ? 2
                            : lead >= 0xe0 && lead <= 0xef ? 3
                            : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                           : 0;
    if (len == 0 || i + len > s.size())
        return 0;
    std::uint32_t cp = lead & (0x7f >> len);
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3f);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000}; // shorter forms are overlong
    if (cp < least[len] || (cp >= 0xd800 && cp <= 0xdfff) || cp > 0x10ffff)
        return 0;
    return len;
}

// nlohmann's parser takes a NUL byte outside a text for the end of the input and skips a leading
// byte order mark; neither is JSON.
void refuseWhatTheParserSkips(const std::string& text)
{
    if (const std::size_t nul = text.find('\0'); nul != std::string::npos)
        refuse("unexpected NUL byte", nul);
    if (text.compare(0, 3, "\xef\xbb\xbf") == 0)
        refuse("unexpected byte order mark", 0);
}

// Numbers may have leading zeros ("007"), which nlohmann refuses. Each one is replaced by a space
// in front of the number (a sign moves behind them), so error offsets stay those of the input.
std::string withoutLeadingZeros(std::string text)
{
    static const char numberChars[] = "0123456789.eE+-";
    bool inText = false;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (inText) {
            i += c == '\\' ? 2 : 1;
            inText = c != '"';
            continue;
        }
        if (c != '-' && (c < '0' || c > '9')) {
            inText = c == '"';
            ++i;
            continue;
        }
        const std::size_t start = i;
        const std::size_t digits = start + (c == '-' ? 1 : 0);
        std::size_t zeros = 0;
        while (digits + zeros + 1 < text.size() && text[digits + zeros] == '0' &&
               text[digits + zeros + 1] >= '0' && text[digits + zeros + 1] <= '9')
            ++zeros;
        if (zeros > 0) {
            text.replace(start, zeros, zeros, ' ');
            if (c == '-')
                text[start + zeros] = '-';
        }
        i = digits + zeros;
        while (i < text.size() && text[i] != '\0' && std::strchr(numberChars, text[i]) != nullptr)
            ++i;
    }
    return text;
}

// nlohmann's message without its exception name, line and column, and without the token it
// last read (which can be as long as the input), in the old reader's words where a test or user
// depends on them.
std::string describe(const Json::parse_error& e)
{
    std::string message = e.what();
    const std::size_t column = message.find("column ");
    if (const std::size_t colon = message.find(": ", column);
        column != std::string::npos && colon != std::string::npos)
        message.erase(0, colon + 2);
    if (const std::size_t lastRead = message.find("; last read: '"); lastRead != std::string::npos) {
        const std::size_t expected = message.rfind("'; expected ");
        message.erase(lastRead, expected != std::string::npos && expected > lastRead ? expected + 1 - lastRead
                                                                                     : std::string::npos);
    }
    if (message.find("ill-formed UTF-8") != std::string::npos)
        return "text is not valid UTF-8";
    return message;
}

void checkDepth(int depth)
{
    if (depth > JsonText::kMaxDepth)
        throw Refusal("nesting deeper than " + std::to_string(JsonText::kMaxDepth));
}

// What nlohmann's parser would let through, checked as it parses: depth (a value's depth is the
// number of containers around it) and a name given twice in one object. names holds the names
// seen in each open container (none for arrays).
bool checkWhileParsing(std::vector<std::set<std::string>>& names, int depth, Json::parse_event_t event,
                       const Json& parsed)
{
    switch (event) {
    case Json::parse_event_t::object_start:
    case Json::parse_event_t::array_start:
        checkDepth(depth);
        names.emplace_back();
        break;
    case Json::parse_event_t::value:
        checkDepth(depth);
        break;
    case Json::parse_event_t::key:
        if (!names.back().insert(parsed.get_ref<const std::string&>()).second)
            throw Refusal("duplicate member " + JsonText::write(parsed));
        break;
    case Json::parse_event_t::object_end:
    case Json::parse_event_t::array_end:
        names.pop_back();
        break;
    }
    return true;
}

// nlohmann writes \b \f \n \r \t; quorix-wire has always written every control character as \u00XX.
std::string withUnicodeEscapes(const std::string& json)
{
    static const char shortForms[] = "bfnrt";
    static const char* const unicodeForms[] = {"u0008", "u000c", "u000a", "u000d", "u0009"};
    std::string out;
    out.reserve(json.size());
    for (std::size_t i = 0; i < json.size(); ++i) {
        out += json[i];
        if (json[i] != '\\' || i + 1 == json.size())
            continue;
        const char escaped = json[++i];
        const char* shortForm = std::strchr(shortForms, escaped);
        if (shortForm != nullptr && escaped != '\0')
            out += unicodeForms[shortForm - shortForms];
        else
            out += escaped;
    }
    return out;
}

} // namespace

bool JsonText::read(const std::string& text, Json& out, std::string& error)
{
    try {
        refuseWhatTheParserSkips(text);
        std::vector<std::set<std::string>> names;
        out = Json::parse(withoutLeadingZeros(text),
                          [&names](int depth, Json::parse_event_t event, Json& parsed) {
                              return checkWhileParsing(names, depth, event, parsed);
                          });
        return true;
    } catch (const Refusal& e) {
        error = std::string("JSON: ") + e.what();
    } catch (const Json::parse_error& e) {
        error = "JSON: " + describe(e) + " at offset " + std::to_string(e.byte > 0 ? e.byte - 1 : 0);
    } catch (const Json::out_of_range&) {
        // The parser's only range error: a number that would be infinite as a double.
        error = "JSON: number out of range";
    }
    return false;
}

std::string JsonText::write(const Json& value)
{
    return withUnicodeEscapes(value.dump(-1, ' ', false, Json::error_handler_t::replace));
}

std::string JsonText::replaceInvalidUtf8(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t len = utf8SequenceLength(bytes, i);
        if (len == 0) {
            out += "\xef\xbf\xbd";
            ++i;
        } else {
            out.append(bytes, i, len);
            i += len;
        }
    }
    return out;
}

void JsonText::appendMember(Json& object, std::string name, Json value)
{
    if (!object.is_object())
        object = Json::object();
    object.get_ref<Json::object_t&>().emplace_back(std::move(name), std::move(value));
}
