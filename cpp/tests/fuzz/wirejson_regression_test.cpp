// Faults the quorix-wire fuzz target found in the JSON reader.

#include <quorix/protocol/jsontext.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using Json = nlohmann::ordered_json;

// Numbers beyond the range of double became infinity, and the writer then produced "inf", which
// is not JSON: a document read and written again could not be read back.
TEST(JsonReaderRegression, NumbersBeyondDoubleAreRefusedAndTheRestWriteBackAsJson)
{
    const struct
    {
        const char* input;
        bool accepted;
    } cases[] = {
        {"1e400", false},
        {"-1e400", false},
        {"[0, 1E+309]", false},
        {"{\"a\":123456789e301}", false},
        {"1e308", true},
        {"-1.7976931348623157e308", true},
        {"1e-400", true}, // underflows to zero, which is finite
        {"[4294967295, -0.5, 0]", true},
    };
    for (const auto& c : cases) {
        Json value;
        std::string error;
        ASSERT_EQ(c.accepted, JsonText::read(c.input, value, error)) << c.input << ": " << error;
        if (!c.accepted) {
            EXPECT_NE(std::string::npos, error.find("number out of range")) << error;
            continue;
        }
        const std::string written = JsonText::write(value);
        Json again;
        EXPECT_TRUE(JsonText::read(written, again, error)) << c.input << " was written as " << written;
        EXPECT_EQ(written, JsonText::write(again));
    }
}

// Texts were taken byte for byte, invalid UTF-8 included, and written with U+FFFD in its place:
// two keys differing only in such bytes came out as one key twice, which the reader refuses.
TEST(JsonReaderRegression, TextsMustBeUtf8)
{
    const struct
    {
        std::string input;
        bool accepted;
    } cases[] = {
        {"{\"au\x88\xce\":4,\"au\x80\xc9\":6}", false},
        {"\"\xff\"", false},
        {"\"\xc0\xaf\"", false},         // overlong '/'
        {"\"\xed\xa0\x80\"", false},     // a surrogate written as UTF-8
        {"\"\xf4\x90\x80\x80\"", false}, // past U+10FFFF
        {"\"\xe7\xa5\xa8\"", true},
        {"\"\xc3\xa9\xf0\x9f\x98\x80\"", true},
        {"\"\xe7\xa5\"", false}, // cut short
    };
    for (const auto& c : cases) {
        Json value;
        std::string error;
        EXPECT_EQ(c.accepted, JsonText::read(c.input, value, error)) << c.input << ": " << error;
        if (!c.accepted) {
            EXPECT_NE(std::string::npos, error.find("not valid UTF-8")) << error;
        }
    }
}

} // namespace
