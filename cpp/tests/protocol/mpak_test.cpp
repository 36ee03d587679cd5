#include <quorix/protocol/mpak.h>
#include <quorix/protocol/serviceframe.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using mpak::Pack;
using mpak::PackBuffer;
using mpak::PackError;
using mpak::Unpack;
using mpak::UnpackError;

std::string bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

template <class Fn> std::string packed(Fn&& fill)
{
    PackBuffer buffer;
    Pack pack(buffer);
    fill(pack);
    return pack.str();
}

// Runs `read` and expects an UnpackError with `what`.
template <class Fn> void expectUnpackError(Fn&& read, const std::string& what)
{
    try {
        read();
        ADD_FAILURE() << "no UnpackError, expected: " << what;
    } catch (const UnpackError& e) {
        EXPECT_EQ(what, e.what());
    }
}

TEST(MpakPack, IntegersAreLittleEndian)
{
    EXPECT_EQ(bytes({0x34, 0x12}), packed([](Pack& p) { p.push_uint16(0x1234); }));
    EXPECT_EQ(bytes({0x04, 0x03, 0x02, 0x01}), packed([](Pack& p) { p.push_uint32(0x01020304); }));
    EXPECT_EQ(bytes({0xff, 0xff, 0xff, 0xff, 0xfe, 0xff}),
              packed([](Pack& p) { p.push_uint32(0xffffffffu).push_uint16(0xfffe); }));
}

TEST(MpakPack, StringLengthLimits)
{
    EXPECT_EQ(bytes({0, 0}), packed([](Pack& p) { p.push_varstr(std::string()); }));

    const std::string max(65535, 'x');
    const std::string out = packed([&](Pack& p) { p.push_varstr(max); });
    ASSERT_EQ(65537u, out.size());
    EXPECT_EQ(bytes({0xff, 0xff}), out.substr(0, 2));
    EXPECT_EQ(max, out.substr(2));

    PackBuffer buffer;
    Pack pack(buffer);
    try {
        pack.push_varstr(std::string(65536, 'x'));
        ADD_FAILURE() << "a 65536-byte string was packed";
    } catch (const PackError& e) {
        EXPECT_STREQ("push_varstr: varstr too big", e.what());
    }
    EXPECT_EQ(0u, pack.size()) << "a refused string must not leave its length behind";
}

TEST(MpakPack, StringsKeepEveryByteValue)
{
    const std::string text("a\0b\xff", 4);
    const std::string out = packed([&](Pack& p) { p.push_varstr(text); });
    EXPECT_EQ(bytes({4, 0, 'a', 0, 'b', 0xff}), out);
    Unpack up(out);
    EXPECT_EQ(text, up.pop_varstr());
    EXPECT_TRUE(up.empty());
}

TEST(MpakPack, MapsGoOutInAscendingKeyOrder)
{
    const std::map<std::uint32_t, std::uint32_t> m = {{9, 1}, {2, 3}};
    EXPECT_EQ(bytes({2, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 9, 0, 0, 0, 1, 0, 0, 0}),
              packed([&](Pack& p) { p << m; }));
    const std::map<std::string, std::string> ext = {{"k", "v"}};
    EXPECT_EQ(bytes({1, 0, 0, 0, 1, 0, 'k', 1, 0, 'v'}), packed([&](Pack& p) { p << ext; }));
}

TEST(MpakBuffer, GrowsInWholeBlocksKeepingContents)
{
    PackBuffer buffer;
    EXPECT_EQ(0u, buffer.blocks());
    const std::string first(16384, 'a');
    ASSERT_TRUE(buffer.append(first.data(), first.size()));
    EXPECT_EQ(1u, buffer.blocks());
    EXPECT_EQ(16384u, buffer.size());

    ASSERT_TRUE(buffer.append("b", 1));
    EXPECT_EQ(2u, buffer.blocks());
    EXPECT_EQ(16385u, buffer.size());
    EXPECT_EQ(first, std::string(buffer.data(), 16384));
    EXPECT_EQ('b', buffer.data()[16384]);

    // A request for several blocks at once grows to exactly the smallest number that holds it:
    // 16385 + 49152 bytes are one more than four blocks.
    const std::string big(3 * 16384, 'c');
    ASSERT_TRUE(buffer.append(big.data(), big.size()));
    EXPECT_EQ(5u, buffer.blocks());
    const std::string fill(16384 * 5 - buffer.size(), 'd');
    ASSERT_TRUE(buffer.append(fill.data(), fill.size()));
    EXPECT_EQ(5u, buffer.blocks()) << "an exact fit needs no growth";
}

TEST(MpakBuffer, ResizeFillsAndShrinksWithoutFreeing)
{
    PackBuffer buffer;
    ASSERT_TRUE(buffer.resize(3, 'z'));
    EXPECT_EQ("zzz", std::string(buffer.data(), buffer.size()));
    ASSERT_TRUE(buffer.resize(1));
    EXPECT_EQ(1u, buffer.size());
    EXPECT_EQ(1u, buffer.blocks());

    // A writer with an extra offset leaves a zero-filled gap and writes behind it.
    Pack pack(buffer, 2);
    pack.push_uint16(0x0102);
    EXPECT_EQ(bytes({'z', 0, 0, 2, 1}), std::string(buffer.data(), buffer.size()));
    EXPECT_EQ(bytes({2, 1}), pack.str());

    buffer.release();
    EXPECT_EQ(0u, buffer.blocks());
    EXPECT_EQ(0u, buffer.size());
}

TEST(MpakBuffer, RefusedGrowthLeavesBufferIntact)
{
    PackBuffer buffer;
    ASSERT_TRUE(buffer.append("abc", 3));
    const char* before = buffer.data();

    // 65536 blocks are the ceiling: one byte more than 1 GiB needs 65537 and is refused before
    // anything is allocated or copied (the source pointer is never read).
    // Read through a volatile so the compiler does not see the deliberately oversized lengths.
    const volatile std::size_t ceiling = 65536u * 16384u - 3u + 1u;
    const std::size_t tooMuch = ceiling;
    const std::vector<char> source(1, 'x');
    EXPECT_FALSE(buffer.append(source.data(), tooMuch));
    EXPECT_FALSE(buffer.resize(3 + tooMuch));
    EXPECT_EQ(before, buffer.data());
    EXPECT_EQ(3u, buffer.size());
    EXPECT_EQ(1u, buffer.blocks());
    EXPECT_EQ("abc", std::string(buffer.data(), 3));

    Pack pack(buffer);
    try {
        pack.push(source.data(), tooMuch);
        ADD_FAILURE() << "an oversized append was accepted";
    } catch (const PackError& e) {
        EXPECT_STREQ("append buffer overflow", e.what());
    }
    for (const std::size_t offset : {tooMuch, std::size_t(-1)}) {
        try {
            Pack beyond(buffer, offset);
            ADD_FAILURE() << "an oversized writer offset was accepted: " << offset;
        } catch (const PackError& e) {
            EXPECT_STREQ("resize buffer overflow", e.what());
        }
    }
    EXPECT_EQ("abc", std::string(buffer.data(), buffer.size()));
}

TEST(MpakUnpack, FailedReadsLeaveThePositionUnchanged)
{
    const struct
    {
        const char* name;
        std::string data;
        void (*read)(Unpack&);
        const char* what;
    } cases[] = {
        {"u32 on 3 bytes", bytes({1, 2, 3}), [](Unpack& up) { up.pop_uint32(); },
         "pop_uint32: not enough data"},
        {"u16 on 1 byte", bytes({1}), [](Unpack& up) { up.pop_uint16(); }, "pop_uint16: not enough data"},
        {"fetch beyond data", bytes({1, 2}), [](Unpack& up) { up.pop_fetch_ptr(3); },
         "pop_fetch_ptr: not enough data"},
        {"varstr length 10 with 4 bytes behind it", bytes({10, 0, 'a', 'b', 'c', 'd'}),
         [](Unpack& up) { up.pop_varstr(); }, "pop_fetch_ptr: not enough data"},
        {"map cut inside its second entry",
         bytes({2, 0, 0, 0, 1, 0, 0, 0, 6, 0, 'a', 'b', 'c', 'd', 'e', 'f', 2, 0, 0, 0, 5}),
         [](Unpack& up) {
             std::map<std::uint32_t, std::string> m;
             up >> m;
         },
         "pop_uint16: not enough data"},
        {"map count beyond what the bytes can hold", bytes({2, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 0, 2, 0}),
         [](Unpack& up) {
             std::map<std::uint32_t, std::uint32_t> m;
             up >> m;
         },
         "pop_fetch_ptr: not enough data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Unpack up(c.data);
        expectUnpackError([&] { c.read(up); }, c.what);
        EXPECT_EQ(c.data.size(), up.size());
        EXPECT_EQ(c.data.data(), up.data());
    }
}

TEST(MpakUnpack, ReadsAdvanceAndIgnoreNothingElse)
{
    const std::string data = bytes({0x34, 0x12, 4, 3, 2, 1, 2, 0, 'h', 'i', 0xaa});
    Unpack up(data);
    EXPECT_EQ(0x1234, up.pop_uint16());
    EXPECT_EQ(0x01020304u, up.pop_uint32());
    EXPECT_EQ("hi", up.pop_varstr());
    EXPECT_EQ(1u, up.size());
    EXPECT_EQ('\xaa', *up.pop_fetch_ptr(1));
    EXPECT_TRUE(up.empty());
}

TEST(MpakUnpack, DuplicateMapKeysKeepTheFirstValue)
{
    const std::string data =
        bytes({3, 0, 0, 0, 7, 0, 0, 0, 1, 0, 0, 0, 7, 0, 0, 0, 2, 0, 0, 0, 8, 0, 0, 0, 3, 0, 0, 0});
    Unpack up(data);
    std::map<std::uint32_t, std::uint32_t> m;
    up >> m;
    EXPECT_EQ((std::map<std::uint32_t, std::uint32_t>{{7, 1}, {8, 3}}), m);
    EXPECT_TRUE(up.empty());
}

TEST(MpakUnpack, CountZeroConsumesOnlyTheCount)
{
    const std::string data = bytes({0, 0, 0, 0, 9});
    Unpack up(data);
    std::map<std::uint32_t, std::string> m = {{1, "stale"}};
    up >> m;
    EXPECT_TRUE(m.empty());
    EXPECT_EQ(1u, up.size());

    Unpack seqUp(data);
    std::vector<std::uint32_t> seq;
    seqUp >> seq;
    EXPECT_TRUE(seq.empty());
    EXPECT_EQ(1u, seqUp.size());
}

TEST(MpakUnpack, SequencesKeepWireOrder)
{
    const std::string data = bytes({3, 0, 0, 0, 9, 0, 0, 0, 1, 0, 0, 0, 9, 0, 0, 0});
    Unpack up(data);
    std::vector<std::uint32_t> seq;
    up >> seq;
    EXPECT_EQ((std::vector<std::uint32_t>{9, 1, 9}), seq);
}

// A hostile count must be refused from the bytes that are left, before anything is allocated
// for it, and leave both the target and the position alone.
TEST(MpakUnpack, HostileCountsAreRefusedBeforeAllocating)
{
    const struct
    {
        const char* name;
        std::string data;
    } cases[] = {
        {"count 0xffffffff, no elements", bytes({0xff, 0xff, 0xff, 0xff})},
        {"count 0x7fffffff, one element", bytes({0xff, 0xff, 0xff, 0x7f, 1, 0, 0, 0, 2, 0, 0, 0})},
        {"count 3, room for one", bytes({3, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            Unpack up(c.data);
            std::map<std::uint32_t, std::uint32_t> m = {{1, 1}};
            EXPECT_THROW(up >> m, UnpackError);
            EXPECT_EQ((std::map<std::uint32_t, std::uint32_t>{{1, 1}}), m);
            EXPECT_EQ(c.data.size(), up.size());
        }
        {
            Unpack up(c.data);
            std::vector<std::string> seq;
            EXPECT_THROW(up >> seq, UnpackError);
            EXPECT_TRUE(seq.empty());
            EXPECT_EQ(c.data.size(), up.size());
        }
    }
}

TEST(ServiceFrame, HeaderThenLengthThenPayload)
{
    const std::string payload = "abc";
    const std::string frame = mpak::encodeFrame(2500, 15, payload);
    EXPECT_EQ(bytes({0xc4, 0x09, 0, 0, 0x0f, 0, 0, 0, 3, 0, 'a', 'b', 'c'}), frame);

    const mpak::ServiceFrame decoded = mpak::decodeFrame(frame + "trailing");
    EXPECT_EQ(2500u, decoded.maxType);
    EXPECT_EQ(15u, decoded.minType);
    EXPECT_EQ(payload, decoded.payload) << "bytes after the payload are ignored";

    EXPECT_EQ("", mpak::decodeFrame(mpak::encodeFrame(2500, 28, "")).payload);
}

TEST(ServiceFrame, PayloadLimit)
{
    const std::string max(65535, 'p');
    const std::string frame = mpak::encodeFrame(2500, 1, max);
    ASSERT_EQ(10u + 65535u, frame.size());
    EXPECT_EQ(bytes({0xff, 0xff}), frame.substr(8, 2));
    EXPECT_EQ(max, mpak::decodeFrame(frame).payload);
    try {
        mpak::encodeFrame(2500, 1, std::string(65536, 'p'));
        ADD_FAILURE() << "a 65536-byte payload was framed";
    } catch (const PackError& e) {
        EXPECT_STREQ("push_varstr: szMsg too big", e.what());
    }
}

TEST(ServiceFrame, ShortFramesAreRefused)
{
    const struct
    {
        const char* name;
        std::string frame;
        const char* what;
    } cases[] = {
        {"no minor type", bytes({0xc4, 0x09, 0, 0, 1, 0}), "pop_uint32: not enough data"},
        {"half a length", bytes({0xc4, 0x09, 0, 0, 1, 0, 0, 0, 5}), "pop_uint16: not enough data"},
        {"payload cut", bytes({0xc4, 0x09, 0, 0, 1, 0, 0, 0, 5, 0, 'a', 'b'}),
         "pop_fetch_ptr: not enough data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectUnpackError([&] { mpak::decodeFrame(c.frame); }, c.what);
    }
}

} // namespace
