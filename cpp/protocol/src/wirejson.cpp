#include <quorix/protocol/wirejson.h>

#include <quorix/protocol/jsontext.h>

#include <quorix/protocol/serviceframe.h>
#include <quorix/protocol/votemessagetable.h>

#include <cmath>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

using namespace quorix;
using Json = nlohmann::ordered_json;

namespace {

template <class T, class = void> struct IsRecord : std::false_type
{
};
template <class T> struct IsRecord<T, std::void_t<decltype(T::fieldNames())>> : std::true_type
{
};

std::vector<std::string> splitNames(const char* list)
{
    std::vector<std::string> names(1);
    for (const char* p = list; *p != '\0'; ++p) {
        if (*p == ',')
            names.emplace_back();
        else if (*p != ' ')
            names.back() += *p;
    }
    return names;
}

// JSON member names of a record's fields: the field names, except where the JSON form numbers
// a field among the unnamed ones.
template <class T> const std::vector<std::string>& jsonNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list = splitNames(T::fieldNames());
        if constexpr (std::is_same_v<T, PBatchDeleteVoteReq>)
            for (std::string& name : list)
                if (name == "voteTypes")
                    name = "aux1";
        return list;
    }();
    return names;
}

[[noreturn]] void refuse(const std::string& path, const std::string& what)
{
    throw WireJsonError(path, what);
}

// The path of a member: below the root of what is read, or the member itself at the root.
std::string memberPath(const std::string& path, const std::string& name)
{
    return path.empty() ? name : path + "." + name;
}

// ---- to JSON ------------------------------------------------------------------------------------

Json toJson(std::uint32_t v)
{
    return v;
}
Json toJson(const std::string& s)
{
    return JsonText::replaceInvalidUtf8(s);
}
template <class T> Json toJson(const std::vector<T>& seq);
template <class K, class V> Json toJson(const std::map<K, V>& m);

template <class T, std::enable_if_t<IsRecord<T>::value, int> = 0> Json toJson(const T& record)
{
    Json object = Json::object();
    const std::vector<std::string>& names = jsonNames<T>();
    std::size_t i = 0;
    std::apply(
        [&](const auto&... field) { (JsonText::appendMember(object, names[i++], toJson(field)), ...); },
        record.tie());
    return object;
}

template <class T> Json toJson(const std::vector<T>& seq)
{
    Json array = Json::array();
    for (const T& item : seq)
        array.push_back(toJson(item));
    return array;
}

std::string keyText(std::uint32_t key)
{
    return std::to_string(key);
}
std::string keyText(const std::string& key)
{
    return JsonText::replaceInvalidUtf8(key);
}

// Two text keys that differ only in bytes that are not UTF-8 become the same name; both are kept.
template <class K, class V> Json toJson(const std::map<K, V>& m)
{
    Json object = Json::object();
    for (const auto& [key, value] : m)
        JsonText::appendMember(object, keyText(key), toJson(value));
    return object;
}

// ---- from JSON ----------------------------------------------------------------------------------

// Numbers count as one kind whether nlohmann holds them as integers or as doubles.
Json::value_t kindOf(const Json& v)
{
    return v.is_number() ? Json::value_t::number_float : v.type();
}

const char* kindName(Json::value_t kind)
{
    switch (kind) {
    case Json::value_t::null:
        return "null";
    case Json::value_t::boolean:
        return "a boolean";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
        return "a number";
    case Json::value_t::string:
        return "a text";
    case Json::value_t::array:
        return "an array";
    case Json::value_t::object:
        return "an object";
    default:
        return "a value";
    }
}

void expectKind(const Json& v, Json::value_t kind, const std::string& path)
{
    if (kindOf(v) != kind)
        refuse(path, std::string("expected ") + kindName(kind) + ", got " + kindName(v.type()));
}

// Any number whose value as a double is a whole number in range, as 7, 7.0, 7e0 or -0.
void fromJson(const Json& v, std::uint32_t& out, const std::string& path)
{
    expectKind(v, Json::value_t::number_float, path);
    const double n = v.get<double>();
    if (!(n >= 0 && n <= 4294967295.0) || std::floor(n) != n)
        refuse(path, "expected an unsigned 32-bit integer");
    out = static_cast<std::uint32_t>(n);
}

void fromJson(const Json& v, std::string& out, const std::string& path)
{
    expectKind(v, Json::value_t::string, path);
    out = v.get<std::string>();
}

template <class T> void fromJson(const Json& v, std::vector<T>& out, const std::string& path);
template <class K, class V> void fromJson(const Json& v, std::map<K, V>& out, const std::string& path);

template <class T, std::enable_if_t<IsRecord<T>::value, int> = 0>
void fromJson(const Json& v, T& record, const std::string& path)
{
    expectKind(v, Json::value_t::object, path);
    const std::vector<std::string>& names = jsonNames<T>();
    for (const auto& [name, value] : v.items()) {
        bool known = false;
        std::size_t i = 0;
        std::apply(
            [&, &name = name, &value = value](auto&... field) {
                ((names[i] == name ? (fromJson(value, field, memberPath(path, name)), known = true) : false,
                  ++i),
                 ...);
            },
            record.tie());
        if (!known)
            refuse(memberPath(path, name), "no such field");
    }
}

template <class T> void fromJson(const Json& v, std::vector<T>& out, const std::string& path)
{
    expectKind(v, Json::value_t::array, path);
    out.clear();
    for (std::size_t i = 0; i < v.size(); ++i) {
        T item{};
        fromJson(v[i], item, path + "[" + std::to_string(i) + "]");
        out.push_back(std::move(item));
    }
}

void keyFromText(const std::string& text, std::string& key, const std::string&)
{
    key = text;
}

void keyFromText(const std::string& text, std::uint32_t& key, const std::string& path)
{
    const bool digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    const bool canonical = digitsOnly && (text == "0" || text[0] != '0') && text.size() <= 10;
    if (!canonical || std::stoull(text) > 0xffffffffull)
        refuse(path, "map key \"" + text + "\" is not an unsigned 32-bit decimal number");
    key = static_cast<std::uint32_t>(std::stoull(text));
}

template <class K, class V> void fromJson(const Json& v, std::map<K, V>& out, const std::string& path)
{
    expectKind(v, Json::value_t::object, path);
    out.clear();
    for (const auto& [name, member] : v.items()) {
        K key{};
        keyFromText(name, key, path);
        V value{};
        fromJson(member, value, memberPath(path, name));
        if (!out.emplace(std::move(key), std::move(value)).second)
            refuse(memberPath(path, name), "duplicate map key");
    }
}

// ---- the message table --------------------------------------------------------------------------

struct MessageCodec
{
    const char* name;
    Json (*decode)(const std::string& payload, bool& complete);
    std::string (*encode)(const Json& body);
};

template <class Message> Json decodeBody(const std::string& payload, bool& complete)
{
    Message message;
    complete = mpak::decode(payload, message);
    return toJson(message);
}

template <class Message> std::string encodeBody(const Json& body)
{
    Message message;
    fromJson(body, message, "body");
    return mpak::encode(message);
}

std::optional<MessageCodec> codecFor(std::uint32_t maxType, std::uint32_t minType)
{
    std::optional<MessageCodec> codec;
    if (maxType == kVoteMajorType)
        visitVoteMessage(minType, [&](auto message) {
            using Body = typename decltype(message)::Body;
            codec = MessageCodec{message.name, &decodeBody<Body>, &encodeBody<Body>};
        });
    return codec;
}

std::uint32_t readLe(const std::string& bytes, std::size_t at, int n)
{
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

std::uint32_t requiredU32(const Json& document, const char* key)
{
    const auto v = document.find(key);
    if (v == document.end())
        refuse(key, "missing");
    std::uint32_t out = 0;
    fromJson(*v, out, key);
    return out;
}

} // namespace

Json WireJson::decodeFrame(const std::string& frame)
{
    if (frame.size() < mpak::kFrameHeaderSize)
        throw WireJsonError("frame of " + std::to_string(frame.size()) +
                            " bytes is shorter than its 10-byte header");
    const std::uint32_t maxType = readLe(frame, 0, 4);
    const std::uint32_t minType = readLe(frame, 4, 4);
    const std::size_t declared = readLe(frame, 8, 2);
    const std::optional<MessageCodec> codec = codecFor(maxType, minType);
    if (!codec)
        throw WireJsonError("not a vote message: maxType " + std::to_string(maxType) + ", minType " +
                            std::to_string(minType));
    const std::size_t available = frame.size() - mpak::kFrameHeaderSize;
    const std::string payload = frame.substr(mpak::kFrameHeaderSize, std::min(declared, available));

    bool complete = false;
    Json body = codec->decode(payload, complete);
    Json document = Json::object();
    document["maxType"] = maxType;
    document["minType"] = minType;
    document["name"] = codec->name;
    document["complete"] = complete && available >= declared;
    document["body"] = std::move(body);
    return document;
}

std::string WireJson::encodeFrame(const Json& document)
{
    expectKind(document, Json::value_t::object, "document");
    for (const auto& [name, value] : document.items())
        if (name != "maxType" && name != "minType" && name != "name" && name != "complete" && name != "body")
            refuse(name, "no such member");
    const std::uint32_t maxType = requiredU32(document, "maxType");
    const std::uint32_t minType = requiredU32(document, "minType");
    const std::optional<MessageCodec> codec = codecFor(maxType, minType);
    if (!codec)
        refuse("minType", "not a vote message: maxType " + std::to_string(maxType) + ", minType " +
                              std::to_string(minType));
    if (const auto name = document.find("name"); name != document.end()) {
        expectKind(*name, Json::value_t::string, "name");
        if (name->get_ref<const std::string&>() != codec->name)
            refuse("name",
                   "\"" + name->get<std::string>() + "\" does not match minType " + std::to_string(minType));
    }
    if (const auto complete = document.find("complete"); complete != document.end())
        expectKind(*complete, Json::value_t::boolean, "complete");
    const auto body = document.find("body");
    if (body == document.end())
        refuse("body", "missing");
    try {
        return mpak::encodeFrame(maxType, minType, codec->encode(*body));
    } catch (const mpak::PackError& e) {
        throw WireJsonError(std::string("body cannot be encoded: ") + e.what());
    }
}

VoteInfo WireJson::voteFromJson(const Json& vote)
{
    VoteInfo record;
    fromJson(vote, record, "");
    return record;
}

std::string WireJson::fromHex(const std::string& hex)
{
    std::string bytes;
    int pending = -1;
    for (std::size_t i = 0; i < hex.size(); ++i) {
        const char c = hex[i];
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        else
            throw WireJsonError("hex: unexpected character at offset " + std::to_string(i));
        if (pending < 0) {
            pending = digit;
        } else {
            bytes += static_cast<char>(pending * 16 + digit);
            pending = -1;
        }
    }
    if (pending >= 0)
        throw WireJsonError("hex: odd number of digits");
    return bytes;
}

std::string WireJson::toHex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}
