#include <quorix/protocol/jsontext.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using Json = nlohmann::ordered_json;

std::string nested(int depth, const std::string& open, const std::string& inner, const std::string& close)
{
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += open;
    text += inner;
    for (int i = 0; i < depth; ++i)
        text += close;
    return text;
}

// What the reader accepts and refuses where nlohmann's parser alone would decide otherwise.
TEST(JsonText, ReadsWhatQuorixWireHasAlwaysRead)
{
    const struct
    {
        std::string input;
        bool accepted;
        std::string writtenOrError;
    } cases[] = {
        {"007", true, "7"},
        {"-007", true, "-7"},
        {"[00, -00.5e01, 1e007, 1.050]", true, "[0,-5.0,10000000.0,1.05]"},
        {R"({"s":"007","n":[0]})", true, R"({"s":"007","n":[0]})"},
        {R"({"b":1,"a":2})", true, R"({"b":1,"a":2})"},
        {R"({"a":1,"a":2})", false, "JSON: duplicate member \"a\""},
        {R"([{"a":1},{"a":2,"b":{"a":3,"a":4}}])", false, "duplicate member \"a\""},
        {"{\"a\\nb\":1,\"a\\nb\":2}", false, "JSON: duplicate member \"a\\u000ab\""},
        {"\xef\xbb\xbf{}", false, "JSON: unexpected byte order mark at offset 0"},
        {std::string("{}\0{}", 5), false, "JSON: unexpected NUL byte at offset 2"},
        {std::string("[1,\0]", 5), false, "NUL byte"},
        {"01x", false, "JSON: "},
        {"1e400", false, "JSON: number out of range"},
        {"\"ill-formed UTF-8", false, "missing closing quote at offset 17"},
        {"\"\xe7\xa5\"", false, "JSON: text is not valid UTF-8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        Json value;
        std::string error;
        ASSERT_EQ(c.accepted, JsonText::read(c.input, value, error)) << error;
        if (c.accepted)
            EXPECT_EQ(c.writtenOrError, JsonText::write(value));
        else
            EXPECT_NE(std::string::npos, error.find(c.writtenOrError)) << error;
    }
}

// A value's depth is the number of containers around it; up to 64 is read, 65 is refused.
TEST(JsonText, NestingIsBoundedAt64ContainersAroundAValue)
{
    const struct
    {
        std::string input;
        bool accepted;
    } cases[] = {
        {nested(64, "[", "1", "]"), true},
        {nested(65, "[", "", "]"), true},
        {nested(65, "[", "1", "]"), false},
        {nested(66, "[", "", "]"), false},
        {nested(64, R"({"a":)", "{}", "}"), true},
        {nested(65, R"({"a":)", "1", "}"), false},
        {nested(40, R"([{"a":)", "[]", "}]"), false},
        {std::string(1000000, '['), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 80));
        Json value;
        std::string error;
        EXPECT_EQ(c.accepted, JsonText::read(c.input, value, error));
        if (!c.accepted) {
            EXPECT_EQ("JSON: nesting deeper than 64", error);
        }
    }
}

// nlohmann's messages quote the token they last read, which for an unterminated text is the rest
// of the input; a refusal stays one short line.
TEST(JsonText, RefusalsNameTheProblemNotTheInput)
{
    const std::string longText = "\"" + std::string(1000000, 'x');
    const std::string controlInToken = "[\"a\nb\"]";
    for (const std::string& input : {longText, controlInToken}) {
        Json value;
        std::string error;
        EXPECT_FALSE(JsonText::read(input, value, error));
        EXPECT_LT(error.size(), 200u) << error.substr(0, 200);
        EXPECT_EQ(std::string::npos, error.find('\n'));
        EXPECT_EQ(std::string::npos, error.find("last read"));
    }
}

TEST(JsonText, WritesControlCharactersAsUnicodeEscapesAndTheRestAsIs)
{
    const Json text = "\n\t\r\b\f\x01\x1f\x7f\"\\/\xc3\xa9\\n";
    EXPECT_EQ("\"\\u000a\\u0009\\u000d\\u0008\\u000c\\u0001\\u001f\x7f\\\"\\\\/\xc3\xa9\\\\n\"",
              JsonText::write(text));
    Json again;
    std::string error;
    ASSERT_TRUE(JsonText::read(JsonText::write(text), again, error)) << error;
    EXPECT_EQ(text, again);
}

// Each byte that does not start a valid sequence becomes one U+FFFD, as quorix-wire has always
// written it (nlohmann's own replacement would merge a cut-short sequence into one).
TEST(JsonText, InvalidUtf8IsReplacedBytewise)
{
    const std::string fffd = "\xef\xbf\xbd";
    const struct
    {
        std::string bytes;
        std::string replaced;
    } cases[] = {
        {"\xe7\xa5"
         "A",
         fffd + fffd + "A"},
        {"\xe7\xa5", fffd + fffd},
        {"\xed\xa0\x80", fffd + fffd + fffd},
        {"\xc0\xaf", fffd + fffd},
        {"\xf4\x90\x80\x80", fffd + fffd + fffd + fffd},
        {"a\xff"
         "b",
         "a" + fffd + "b"},
        {"\xe7\xa5\xa8\xf0\x9f\x98\x80", "\xe7\xa5\xa8\xf0\x9f\x98\x80"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.replaced, JsonText::replaceInvalidUtf8(c.bytes));
}

TEST(JsonText, AppendMemberKeepsEveryMemberOfTheSameName)
{
    Json object = Json::object();
    JsonText::appendMember(object, "a", 1);
    JsonText::appendMember(object, "a", 2);
    EXPECT_EQ(R"({"a":1,"a":2})", JsonText::write(object));
    EXPECT_EQ(1, object.at("a"));
}

} // namespace
