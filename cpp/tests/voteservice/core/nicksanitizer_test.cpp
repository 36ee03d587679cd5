#include "voteservice/core/nicksanitizer.h"

#include <gtest/gtest.h>

#include <string>

namespace quorix::service {
namespace {

constexpr std::uint32_t kUid = 4711;

std::string utf8(std::uint32_t codePoint)
{
    std::string out;
    if (codePoint < 0x80) {
        out += char(codePoint);
    } else if (codePoint < 0x800) {
        out += char(0xc0 | (codePoint >> 6));
        out += char(0x80 | (codePoint & 0x3f));
    } else if (codePoint < 0x10000) {
        out += char(0xe0 | (codePoint >> 12));
        out += char(0x80 | ((codePoint >> 6) & 0x3f));
        out += char(0x80 | (codePoint & 0x3f));
    } else {
        out += char(0xf0 | (codePoint >> 18));
        out += char(0x80 | ((codePoint >> 12) & 0x3f));
        out += char(0x80 | ((codePoint >> 6) & 0x3f));
        out += char(0x80 | (codePoint & 0x3f));
    }
    return out;
}

struct Row
{
    const char* what;
    std::string nick;
    std::string cleaned;
};

TEST(NickSanitizerTest, OrdinaryNicksPassUnchanged)
{
    for (const std::string nick : {"Alice", "小明同学", "김철수", "さくら🌸", "Zoë Ångström",
                                   "👩‍💻 dev", "مرحبا", "שלום", "a b  c", "[x] <y> & 'z'"})
        EXPECT_EQ(NickSanitizer::clean(nick, kUid), nick) << nick;
}

TEST(NickSanitizerTest, EveryControlAndDirectionCharacterIsStripped)
{
    std::vector<std::uint32_t> forbidden = {0x7f, 0x061c, 0x200e, 0x200f, 0x2028, 0x2029};
    for (std::uint32_t c = 0; c < 0x20; ++c)
        forbidden.push_back(c);
    for (std::uint32_t c = 0x80; c <= 0x9f; ++c) {
        if (c != 0x9b && c != 0x9d) // these two introduce sequences, checked below
            forbidden.push_back(c);
    }
    for (std::uint32_t c = 0x202a; c <= 0x202e; ++c)
        forbidden.push_back(c);
    for (std::uint32_t c = 0x2066; c <= 0x2069; ++c)
        forbidden.push_back(c);
    for (std::uint32_t c : forbidden) {
        EXPECT_TRUE(NickSanitizer::isForbidden(c)) << std::hex << c;
        EXPECT_EQ(NickSanitizer::clean("ab" + utf8(c) + "中", kUid), "ab中") << std::hex << c;
    }
    for (std::uint32_t allowed : {0x20u, 0x7eu, 0xa0u, 0x200bu, 0x200du, 0x2027u, 0x202fu, 0x2065u, 0x206au})
        EXPECT_FALSE(NickSanitizer::isForbidden(allowed)) << std::hex << allowed;
}

TEST(NickSanitizerTest, DisguisesAndEscapeSequencesAreRemoved)
{
    const Row rows[] = {
        {"right-to-left override", "evil\u202Egnp.exe", "evilgnp.exe"},
        {"isolates around a name", "\u2067admin\u2069", "admin"},
        {"embedded NUL", std::string("ad\0min", 6), "admin"},
        {"line break", "Bob\r\nAdmin: hi", "BobAdmin: hi"},
        {"colour CSI", "\x1b[31;1mRed\x1b[0m", "Red"},
        {"cursor CSI with intermediates", "a\x1b[2 qb", "ab"},
        {"title OSC ended by BEL",
         "\x1b]0;owned\x07"
         "Bob",
         "Bob"},
        {"hyperlink OSC ended by ST", "\x1b]8;;http://x\x1b\\link\x1b]8;;\x1b\\", "link"},
        {"C1 CSI",
         "\xc2\x9b"
         "2JCarol",
         "Carol"},
        {"C1 OSC runs to the end", "Dan\xc2\x9dtitle", "Dan"},
        {"unterminated OSC runs to the end", "Eve\x1b]0;rest", "Eve"},
        {"lone ESC", "Fay\x1b", "Fay"},
        {"other ESC sequence: only ESC goes", "\x1b(0Gil", "(0Gil"},
        {"CSI cut short", "Hal\x1b[12", "Hal"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(NickSanitizer::clean(row.nick, kUid), row.cleaned) << row.what;
}

TEST(NickSanitizerTest, BytesThatAreNotUtf8AreDropped)
{
    const Row rows[] = {
        {"invalid byte",
         "a\xff"
         "b",
         "ab"},
        {"lone continuation bytes", "\x80\xbfz", "z"},
        {"truncated sequence at the end", "ab\xe4\xb8", "ab"},
        {"lead byte before ASCII",
         "\xe4"
         "ok",
         "ok"},
        {"overlong slash", "\xc0\xafx", "x"},
        {"overlong line feed",
         "a\xc0\x8a"
         "b",
         "ab"},
        {"three-byte overlong",
         "a\xe0\x80\xaf"
         "b",
         "ab"},
        {"four-byte overlong of U+202E",
         "a\xf0\x82\x80\xae"
         "b",
         "ab"},
        {"surrogate", "\xed\xa0\x80ok", "ok"},
        {"above U+10FFFF", "a\xf4\x90\x80\x80", "a"},
        {"five-byte form", "a\xf8\x88\x80\x80\x80", "a"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(NickSanitizer::clean(row.nick, kUid), row.cleaned) << row.what;
}

TEST(NickSanitizerTest, NothingLeftFallsBackToTheUid)
{
    for (const std::string& nick : {std::string(), std::string("\u202E\u2066\u200F"), std::string("\x1b[0m"),
                                    std::string("\xff\xfe"), std::string(3, '\0')})
        EXPECT_EQ(NickSanitizer::clean(nick, kUid), "4711");
    EXPECT_EQ(NickSanitizer::clean("", 0), "0");
}

TEST(NickSanitizerTest, LongNicksAreCutOnACharacterBoundary)
{
    std::string cjk;
    for (int i = 0; i < 40; ++i)
        cjk += "中";
    const std::string cut = NickSanitizer::clean(cjk, kUid);
    EXPECT_EQ(cut.size(), 96u);
    EXPECT_EQ(cut, cjk.substr(0, 96));

    EXPECT_EQ(NickSanitizer::clean(std::string(95, 'a') + "中", kUid), std::string(95, 'a'));
    // Stripped characters do not count against the limit.
    std::string padded;
    for (int i = 0; i < 96; ++i)
        padded += "a\u202E";
    EXPECT_EQ(NickSanitizer::clean(padded, kUid), std::string(96, 'a'));
}

} // namespace
} // namespace quorix::service
