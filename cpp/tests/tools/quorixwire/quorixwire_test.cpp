#include <quorix/protocol/jsontext.h>
#include <quorix/protocol/wirejson.h>
#include "tests/support/wirevectors.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

using Json = nlohmann::ordered_json;

Json parsed(const std::string& text)
{
    Json value;
    std::string error;
    EXPECT_TRUE(JsonText::read(text, value, error)) << error;
    return value;
}

// Every vector goes frame → JSON text → frame unchanged, named and complete.
TEST(QuorixWire, EveryVectorRoundTripsThroughJsonText)
{
    for (const wirevectors::WireVector& v : wirevectors::all()) {
        SCOPED_TRACE(v.name);
        const std::string frame = wirevectors::frameOf(v);
        const Json document = WireJson::decodeFrame(frame);
        EXPECT_EQ(v.name, document.at("name").get<std::string>());
        EXPECT_TRUE(document.at("complete").get<bool>());
        EXPECT_EQ(2500, document.at("maxType").get<double>());
        EXPECT_EQ(v.minType, document.at("minType").get<double>());
        EXPECT_EQ(wirevectors::toHex(frame),
                  WireJson::toHex(WireJson::encodeFrame(parsed(JsonText::write(document)))));
    }
}

TEST(QuorixWire, BodiesUseTheFieldNames)
{
    const Json broadcast = WireJson::decodeFrame(wirevectors::frameOf(wirevectors::byMinType(27)));
    EXPECT_EQ(
        R"({"aux1":0,"aux2":0,"fullAllowance":1,"status":0,"remainSeconds":60,"jiFangId":99,"vote":{)"
        R"("aux1":1,"aux2":2,"voteId":7,"name":"Q1","auxText1":"","limitTime":60,"voteType":1,"aux3":3,)"
        R"("aux4":4,"auxText2":"x","auxText3":"","auxText4":"","ownerUid":500,"limits":{"0":3,"1":2},)"
        R"("options":{"0":"A","1":"票"},"optionTickets":{"1":5},"optionGroup":{"0":0,"1":1},)"
        R"("groupNames":{"0":"a","1":"b"},"judgeOrder":{"0":700},"judges":{"700":{"uid":700,"imid":9001,)"
        R"("nick":"j","points":4,"auxMap":{}}},"auxMap":{"5":"z"}},"extend":{}})",
        JsonText::write(broadcast.at("body")));

    const Json batch = WireJson::decodeFrame(wirevectors::frameOf(wirevectors::byMinType(25)));
    EXPECT_EQ(R"({"channelId":10,"subChannelId":20,"aux1":{"7":0,"8":2},"extend":{}})",
              JsonText::write(batch.at("body")));
}

TEST(QuorixWire, ShortFramesDecodeAsFarAsTheyGo)
{
    const std::string frame = wirevectors::frameOf(wirevectors::byMinType(6));
    // Declared payload intact but only 8 bytes long: result and aux1 are read.
    const std::string eightByteBody = wirevectors::fromHex("c4090000 06000000 0800 00000000 01000000");
    Json document = WireJson::decodeFrame(eightByteBody);
    EXPECT_FALSE(document.at("complete").get<bool>());
    EXPECT_EQ(R"({"result":0,"aux1":1,"aux2":0,"voteId":0,"jiFangId":0,"extend":{}})",
              JsonText::write(document.at("body")));

    // A frame cut before the end of its declared payload is incomplete as well.
    document = WireJson::decodeFrame(frame.substr(0, frame.size() - 4));
    EXPECT_FALSE(document.at("complete").get<bool>());
    EXPECT_EQ(99, document.at("body").at("jiFangId").get<double>());

    // Bytes behind the declared payload are not part of the message.
    document = WireJson::decodeFrame(frame + "zz");
    EXPECT_TRUE(document.at("complete").get<bool>());
}

TEST(QuorixWire, MissingBodyFieldsKeepTheirDefaultsAndNameIsOptional)
{
    const std::string frame =
        WireJson::encodeFrame(parsed(R"({"maxType":2500,"minType":7,"body":{"voteId":12,)"
                                     R"("jiFangId":34,"channelId":10,"subChannelId":20}})"));
    EXPECT_EQ("c4090000070000001800" +
                  wirevectors::toHex(wirevectors::fromHex(wirevectors::byMinType(7).hex)),
              WireJson::toHex(frame));
}

TEST(QuorixWire, TextsSurviveEscapes)
{
    const std::string frame = WireJson::encodeFrame(
        parsed(R"({"maxType":2500,"minType":32,"body":{"nick":"a\"\\\n\u00e9\ud83d\ude00\u0000"}})"));
    const Json document = WireJson::decodeFrame(frame);
    EXPECT_EQ(std::string("a\"\\\n\xc3\xa9\xf0\x9f\x98\x80\0", 11),
              document.at("body").at("nick").get<std::string>());
    EXPECT_EQ(frame, WireJson::encodeFrame(parsed(JsonText::write(document))));

    // Bytes that are not UTF-8 are shown as U+FFFD so the output stays valid JSON.
    const std::string raw =
        wirevectors::fromHex("c4090000 20000000 0f00 00000000 00000000 00000000 0100 ff 00000000");
    EXPECT_NE(std::string::npos,
              JsonText::write(WireJson::decodeFrame(raw)).find("\"nick\":\"\xef\xbf\xbd\""));
}

// Decoded texts are written as quorix-wire always wrote them: control characters as \u00XX, each
// byte that is not UTF-8 as one U+FFFD, and text keys that thereby become equal both kept.
TEST(QuorixWire, DecodedTextsKeepTheirWrittenForm)
{
    const std::string fffd = "\xef\xbf\xbd";
    const struct
    {
        const char* frameHex;
        std::string body;
    } cases[] = {
        {"c4090000 20000000 1600 00000000 00000000 00000000 0400 0a09017f 00000000",
         "\"nick\":\"\\u000a\\u0009\\u0001\x7f\""},
        {"c4090000 20000000 1500 00000000 00000000 00000000 0300 e7a541 00000000",
         "\"nick\":\"" + fffd + fffd + "A\""},
        {"c4090000 1f000000 1600 d2040000 02000000 0200 61fe 0100 32 0200 61ff 0100 31",
         R"({"imid":1234,"extend":{"a)" + fffd + R"(":"2","a)" + fffd + R"(":"1"}})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frameHex);
        const std::string written = JsonText::write(WireJson::decodeFrame(wirevectors::fromHex(c.frameHex)));
        EXPECT_NE(std::string::npos, written.find(c.body)) << written;
    }
}

// A number is an unsigned 32-bit field when its value as a double is a whole number in range,
// whatever its notation.
TEST(QuorixWire, WholeNumbersInAnyNotationFillUnsignedFields)
{
    const struct
    {
        const char* imid;
        const char* encodedImid; // empty: refused
    } cases[] = {
        {"7", "07000000"},
        {"7.0", "07000000"},
        {"7e0", "07000000"},
        {"0.7e1", "07000000"},
        {"007", "07000000"},
        {"-0", "00000000"},
        {"-0.0", "00000000"},
        {"1e-400", "00000000"},
        {"0.99999999999999999999", "01000000"},
        {"4294967295", "ffffffff"},
        {"4294967295.0", "ffffffff"},
        {"4.294967295e9", "ffffffff"},
        {"4294967296", ""},
        {"18446744073709551616", ""},
        {"123456789012345678901234567890", ""},
        {"-1", ""},
        {"-9223372036854775809", ""},
        {"7.5", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.imid);
        const Json document =
            parsed(std::string(R"({"maxType":2500,"minType":31,"body":{"imid":)") + c.imid + "}}");
        if (*c.encodedImid != '\0') {
            EXPECT_EQ(std::string("c40900001f0000000800") + c.encodedImid + "00000000",
                      WireJson::toHex(WireJson::encodeFrame(document)));
        } else {
            EXPECT_THROW(WireJson::encodeFrame(document), WireJsonError);
        }
    }
}

TEST(QuorixWire, BadDocumentsAreRefusedWithTheirPath)
{
    const struct
    {
        const char* json;
        const char* message;
    } cases[] = {
        {R"([1])", "document: expected an object"},
        {R"({"minType":31,"body":{}})", "maxType: missing"},
        {R"({"maxType":2500,"minType":9,"body":{}})", "not a vote message"},
        {R"({"maxType":2501,"minType":31,"body":{}})", "not a vote message"},
        {R"({"maxType":2500,"minType":31})", "body: missing"},
        {R"({"maxType":2500,"minType":31,"body":{},"extra":1})", "extra: no such member"},
        {R"({"maxType":2500,"minType":31,"name":"VOTE_SYSTEM_START_VOTE_REQ","body":{}})", "does not match"},
        {R"({"maxType":2500,"minType":31,"complete":"yes","body":{}})", "complete: expected a boolean"},
        {R"({"maxType":2500,"minType":31,"body":{"imid":-1}})", "body.imid: expected an unsigned 32-bit"},
        {R"({"maxType":2500,"minType":31,"body":{"imid":4294967296}})",
         "body.imid: expected an unsigned 32-bit"},
        {R"({"maxType":2500,"minType":31,"body":{"imid":1.5}})", "body.imid: expected an unsigned 32-bit"},
        {R"({"maxType":2500,"minType":31,"body":{"imid":"1"}})", "body.imid: expected a number"},
        {R"({"maxType":2500,"minType":31,"body":{"imd":1}})", "body.imd: no such field"},
        {R"({"maxType":2500,"minType":25,"body":{"voteTypes":{}}})", "body.voteTypes: no such field"},
        {R"({"maxType":2500,"minType":25,"body":{"aux1":{"07":1}}})", "is not an unsigned 32-bit decimal"},
        {R"({"maxType":2500,"minType":25,"body":{"aux1":{"4294967296":1}}})",
         "is not an unsigned 32-bit decimal"},
        {R"({"maxType":2500,"minType":25,"body":{"aux1":{"-1":1}}})", "is not an unsigned 32-bit decimal"},
        {R"({"maxType":2500,"minType":29,"body":{"votes":[{"judges":{"1":{"nick":3}}}]}})",
         "body.votes[0].judges.1.nick: expected a text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        try {
            WireJson::encodeFrame(parsed(c.json));
            ADD_FAILURE() << "accepted";
        } catch (const WireJsonError& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find(c.message)) << e.what();
        }
    }
}

TEST(QuorixWire, OversizedBodyIsRefusedNotTruncated)
{
    const std::string nick(70000, 'n');
    const Json document = parsed(R"({"maxType":2500,"minType":32,"body":{"nick":")" + nick + "\"}}");
    EXPECT_THROW(WireJson::encodeFrame(document), WireJsonError);
}

TEST(JsonReaderLimits, MalformedAndHostileJsonIsRefused)
{
    const std::string deep(100000, '[');
    const char* cases[] = {"",
                           "{",
                           R"({"a":1,})",
                           R"({"a" 1})",
                           R"({"a":1,"a":2})",
                           "[1 2]",
                           "01x",
                           "\"\\ud800\"",
                           "\"\\udc00\"",
                           "\"\\u12\"",
                           "\"a\nb\"",
                           "tru",
                           "{} {}",
                           "-"};
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        Json value;
        std::string error;
        EXPECT_FALSE(JsonText::read(text, value, error));
        EXPECT_NE(std::string::npos, error.find("JSON: "));
    }
    Json value;
    std::string error;
    EXPECT_FALSE(JsonText::read(deep, value, error));
    EXPECT_NE(std::string::npos, error.find("nesting deeper than 64"));
}

struct RunResult
{
    int status;
    std::string out;
};

RunResult run(const std::string& arguments, const std::string& input)
{
    const std::string inFile = ::testing::TempDir() + "quorixwire_in.txt";
    std::FILE* f = std::fopen(inFile.c_str(), "wb");
    std::fwrite(input.data(), 1, input.size(), f);
    std::fclose(f);
    const std::string command = std::string(QUORIX_WIRE_PATH) + " " + arguments + " < " + inFile + " 2>&1";
    std::FILE* p = popen(command.c_str(), "r");
    RunResult result{-1, {}};
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        result.out.append(buf, n);
    const int raw = pclose(p);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

TEST(QuorixWireProgram, DecodesFromOptionOrInputAndEncodesBack)
{
    const std::string hex = wirevectors::toHex(wirevectors::frameOf(wirevectors::byMinType(31)));
    const RunResult fromOption = run("decode --hex " + hex, "");
    EXPECT_EQ(0, fromOption.status);
    EXPECT_EQ(R"({"maxType":2500,"minType":31,"name":"VOTE_SYSTEM_QUERY_NICKNAME_REQ","complete":true,)"
              R"("body":{"imid":1234,"extend":{}}})"
              "\n",
              fromOption.out);

    const RunResult fromInput = run("decode", "C4 09 00 00\n1F 00 00 00\t08 00 D2 04 00 00 00 00 00 00\n");
    EXPECT_EQ(fromOption.out, fromInput.out);

    const RunResult encoded = run("encode", fromOption.out);
    EXPECT_EQ(0, encoded.status);
    EXPECT_EQ(hex + "\n", encoded.out);
}

TEST(QuorixWireProgram, HelpAndVersionEndWithStatus0)
{
    const RunResult version = run("--version", "");
    EXPECT_EQ(0, version.status);
    EXPECT_EQ(std::string("quorix-wire ") + QUORIX_VERSION + "\n", version.out);

    const RunResult help = run("--help", "");
    EXPECT_EQ(0, help.status);
    for (const char* word : {"decode", "encode", "--version"})
        EXPECT_NE(std::string::npos, help.out.find(word)) << help.out;

    const RunResult decodeHelp = run("decode --help", "");
    EXPECT_EQ(0, decodeHelp.status);
    EXPECT_NE(std::string::npos, decodeHelp.out.find("--hex HEX")) << decodeHelp.out;
}

TEST(QuorixWireProgram, BadInputIsOneLineOnStandardErrorAndStatus2)
{
    const struct
    {
        const char* arguments;
        const char* input;
    } cases[] = {
        {"decode", "c40900"},
        {"decode", "zz"},
        {"decode", "c4090000 09000000 0000"},
        {"encode", "{"},
        {"encode", R"({"maxType":2500,"minType":31,"body":{"imid":-4}})"},
        {"frobnicate", ""},
        {"", ""},
        {"decode --hex", ""},
        {"decode --hex 1f00 extra", ""},
        {"decode --hex 1f00 --hex 1f00", ""},
        {"decode encode", ""},
        {"encode extra", "{}"},
        {"encode --hex 1f00", "{}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.arguments) + " <<< " + c.input);
        const RunResult r = run(c.arguments, c.input);
        EXPECT_EQ(2, r.status);
        ASSERT_FALSE(r.out.empty());
        EXPECT_EQ(r.out.size() - 1, r.out.find('\n')) << r.out;
    }
}

} // namespace
