// Faults the quorix-wire fuzz target found in the JSON reader.

#include "jsonreader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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
        {"{\"a\":123456789e300}", false},
        {"1e308", true},
        {"-1.7976931348623157e308", true},
        {"1e-400", true}, // underflows to zero, which is finite
        {"[4294967295, -0.5, 0]", true},
    };
    for (const auto& c : cases) {
        JsonValue value;
        const std::string input = c.input;
        JsonReader reader(input);
        ASSERT_EQ(c.accepted, reader.parse(value)) << c.input << ": " << reader.error();
        if (!c.accepted) {
            EXPECT_NE(std::string::npos, reader.error().find("number out of range")) << reader.error();
            continue;
        }
        const std::string written = value.write();
        JsonValue again;
        JsonReader rereader(written);
        EXPECT_TRUE(rereader.parse(again)) << c.input << " was written as " << written;
        EXPECT_EQ(written, again.write());
    }
}

} // namespace
