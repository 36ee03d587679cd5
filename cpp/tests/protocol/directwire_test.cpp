// The one-pass writer and the in-node map reader against a plain field-by-field reference: the
// same bytes for every message, the same refusals, and nothing left behind when refused.

#include <quorix/protocol/mpak.h>
#include <quorix/protocol/votemessages.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

namespace {

using namespace quorix;
using mpak::PackError;

// ---- reference writer: one field after another, written here independently of the codec ----

void refWrite(std::string& out, std::uint32_t v);
void refWrite(std::string& out, const std::string& s);
template <class K, class V> void refWrite(std::string& out, const std::map<K, V>& m);
template <class T> void refWrite(std::string& out, const std::vector<T>& seq);
template <class R> auto refWrite(std::string& out, const R& record) -> decltype(record.tie(), void());

void refWrite(std::string& out, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>(v >> shift);
}
void refWrite(std::string& out, const std::string& s)
{
    out += static_cast<char>(s.size());
    out += static_cast<char>(s.size() >> 8);
    out += s;
}
template <class K, class V> void refWrite(std::string& out, const std::map<K, V>& m)
{
    refWrite(out, static_cast<std::uint32_t>(m.size()));
    for (const auto& [key, value] : m) {
        refWrite(out, key);
        refWrite(out, value);
    }
}
template <class T> void refWrite(std::string& out, const std::vector<T>& seq)
{
    refWrite(out, static_cast<std::uint32_t>(seq.size()));
    for (const T& item : seq)
        refWrite(out, item);
}
template <class R> auto refWrite(std::string& out, const R& record) -> decltype(record.tie(), void())
{
    std::apply([&out](const auto&... field) { (refWrite(out, field), ...); }, record.tie());
}

template <class T> std::string reference(const T& value)
{
    std::string out;
    refWrite(out, value);
    return out;
}

// ---- random bodies: texts of every short length and some long ones, maps of a few entries ----

struct Filler
{
    static constexpr std::uint32_t kShortTextMax = 40;
    std::mt19937 rng{20261208};

    std::uint32_t below(std::uint32_t n)
    {
        return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(rng);
    }

    void fill(std::uint32_t& v) { v = below(4) == 0 ? 0xffffffffu - below(3) : below(100000); }
    void fill(std::string& s)
    {
        const std::size_t n = below(10) == 0 ? 100 + below(300) : below(kShortTextMax + 1);
        s.clear();
        for (std::size_t i = 0; i < n; ++i)
            s += static_cast<char>(below(256));
    }
    template <class K, class V> void fill(std::map<K, V>& m)
    {
        for (std::uint32_t n = below(12); n > 0; --n) {
            K key{};
            fill(key);
            fill(m[key]);
        }
    }
    template <class T> void fill(std::vector<T>& seq)
    {
        seq.resize(below(4));
        for (T& item : seq)
            fill(item);
    }
    template <class R> auto fill(R& record) -> decltype(record.tie(), void())
    {
        std::apply([this](auto&... field) { (fill(field), ...); }, record.tie());
    }
};

using AllMessages = std::tuple<PCreateVoteReq, PUpdateVoteReq, PStartVoteReq, PEndVoteReq, PDeleteVoteReq,
                               PUserVoteReq, PUserVoteStateReq, PQueryVoteHisRecordReq, PBatchDeleteVoteReq,
                               PQueryNicknameReq, PCloseVoteReq, PCreateVoteRes, PStartVoteRes, PUserVoteRes,
                               UserTicketInfo, PQueryVoteHisRecordRes, PBatchDeleteVoteRes, PBroadcastVote,
                               PQueryAllVoteRes, PBroadcastChannelVote, PQueryNicknameRes>;

template <class Message> void checkAgainstReference(Filler& filler)
{
    SCOPED_TRACE(Message::fieldNames());
    static_assert(mpak::isDirect<Message>, "every message body takes the one-pass writer");
    for (int round = 0; round < 60; ++round) {
        Message message;
        filler.fill(message);
        const std::string expected = reference(message);
        ASSERT_EQ(expected, mpak::encode(message)) << "round " << round;
        EXPECT_EQ(expected.size(), mpak::wireSize(message));

        std::string appended = "head";
        mpak::encodeTo(appended, message);
        EXPECT_EQ("head" + expected, appended);

        mpak::PackBuffer buffer;
        ASSERT_TRUE(buffer.append("ab", 2));
        mpak::Pack pack(buffer, 3);
        pack << message;
        EXPECT_EQ(std::string("ab\0\0\0", 5) + expected, std::string(buffer.data(), buffer.size()));

        Message decoded;
        EXPECT_TRUE(mpak::decode(expected, decoded));
        EXPECT_TRUE(decoded == message);
    }
}

TEST(DirectWire, EveryMessageMatchesTheFieldByFieldWriter)
{
    Filler filler;
    std::apply([&filler](auto... message) { (checkAgainstReference<decltype(message)>(filler), ...); },
               AllMessages());
}

TEST(DirectWire, TextsOfEveryShortLengthAndTheLongest)
{
    JudgeInfo judge;
    for (std::size_t n = 0; n <= 40; ++n) {
        judge.nick.assign(n, static_cast<char>('a' + n % 26));
        if (n > 0)
            judge.nick.back() = '!'; // a copy that writes the wrong tail shows
        judge.auxMap[static_cast<std::uint32_t>(n)] = judge.nick;
        EXPECT_EQ(reference(judge), mpak::encode(judge)) << n;
    }
    judge.nick.assign(65535, 'x');
    EXPECT_EQ(reference(judge), mpak::encode(judge));
}

// Bodies past the first guess and past the largest room asked for up front grow on the way.
TEST(DirectWire, BodiesBeyondTheFirstGuessGrow)
{
    PQueryAllVoteRes res;
    for (std::uint32_t v = 0; v < 50; ++v) {
        VoteInfo vote;
        vote.voteId = v;
        for (std::uint32_t o = 0; o < 40; ++o)
            vote.options[o] = std::string(60 + o, static_cast<char>('A' + o % 26));
        res.votes.push_back(vote);
    }
    const std::string expected = reference(res);
    ASSERT_GT(expected.size(), 2 * mpak::detail::kMaxSizeHint);
    EXPECT_EQ(expected, mpak::encode(res));
    EXPECT_EQ(expected.size(), mpak::wireSize(res));
}

// A text too long for its count, found after the output already grew, refuses the whole body:
// the caller's string and buffer keep exactly what they held.
TEST(DirectWire, RefusedBodyLeavesNothingBehind)
{
    PQueryAllVoteRes res;
    res.votes.resize(3);
    for (std::uint32_t o = 0; o < 200; ++o)
        res.votes[0].options[o] = std::string(300, 'o');
    res.votes[2].judges[7].nick.assign(65536, 'n');

    const auto expectTooBig = [](const auto& write) {
        try {
            write();
            ADD_FAILURE() << "a 65536-byte text was written";
        } catch (const PackError& e) {
            EXPECT_STREQ("push_varstr: varstr too big", e.what());
        }
    };
    std::string out = "kept";
    expectTooBig([&] { mpak::encodeTo(out, res); });
    EXPECT_EQ("kept", out);
    expectTooBig([&] { mpak::wireSize(res); });

    mpak::PackBuffer buffer;
    ASSERT_TRUE(buffer.append("kept", 4));
    mpak::Pack pack(buffer);
    expectTooBig([&] { pack << res; });
    EXPECT_EQ("kept", std::string(buffer.data(), buffer.size()));
}

// Entries are built in their nodes; a repeated key keeps its first value for every kind of value,
// and the repeated value is still read past.
TEST(MapDecode, RepeatedKeysKeepTheFirstValueForEveryValueKind)
{
    std::string wire;
    refWrite(wire, std::uint32_t(2));
    for (const char* text : {"first", "second"}) {
        refWrite(wire, std::uint32_t(5));
        refWrite(wire, std::string(text));
    }
    refWrite(wire, std::uint32_t(2));
    for (std::uint32_t points : {3u, 4u}) {
        JudgeInfo judge;
        judge.uid = 9;
        judge.nick = "judge";
        judge.points = points;
        refWrite(wire, std::uint32_t(9));
        refWrite(wire, judge);
    }
    wire += "tail";

    mpak::Unpack up(wire);
    TextMap texts;
    std::map<std::uint32_t, JudgeInfo> judges;
    up >> texts >> judges;
    EXPECT_EQ((TextMap{{5, "first"}}), texts);
    ASSERT_EQ(1u, judges.size());
    EXPECT_EQ(3u, judges.at(9).points);
    EXPECT_EQ("tail", std::string(up.data(), up.size()));
}

TEST(MapDecode, CutInsideARecordValueLeavesMapAndPosition)
{
    std::map<std::uint32_t, JudgeInfo> judges;
    judges[1].nick = "one";
    judges[2].nick = "two";
    const std::string whole = reference(judges);
    for (std::size_t cut = 1; cut < whole.size(); ++cut) {
        const std::string part = whole.substr(0, cut);
        mpak::Unpack up(part);
        std::map<std::uint32_t, JudgeInfo> target = {{8, JudgeInfo()}};
        EXPECT_THROW(up >> target, mpak::UnpackError) << cut;
        EXPECT_EQ(1u, target.count(8)) << cut;
        EXPECT_EQ(1u, target.size()) << cut;
        EXPECT_EQ(part.size(), up.size()) << cut;
    }
}

} // namespace
