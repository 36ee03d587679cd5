#pragma once

// Hand-written wire forms of every vote message body, one per minor type, derived byte by byte
// from the message layouts (never captured from the encoder). Shared by the codec tests, the
// quorix-wire tests and fuzz seeds. Hex digits may be separated by whitespace for readability.
//
// Common values: channelId 10 (0a000000), subChannelId 20 (14000000), voteId 7, jiFangId 99
// (63000000), uid 1000 (e8030000), imid 1234 (d2040000).

#include <quorix/protocol/votemessages.h>

#include <cctype>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace wirevectors {

// All 74 bytes of a VoteInfo with every field at its default.
#define QX_VOTE_EMPTY                                                                                        \
    "00000000 00000000 00000000 0000 0000 00000000 00000000 00000000 00000000 0000 0000 0000 00000000 "      \
    "00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 "

// sampleVote() below, field by field.
#define QX_VOTE_SAMPLE                                                                                       \
    "01000000 02000000 07000000 "                     /* aux1 1, aux2 2, voteId 7 */                         \
    "0200 5131 0000 "                                 /* name "Q1", auxText1 "" */                           \
    "3c000000 01000000 03000000 04000000 "            /* limitTime 60, voteType 1, aux3 3, aux4 4 */         \
    "0100 78 0000 0000 "                              /* auxText2 "x", auxText3 "", auxText4 "" */           \
    "f4010000 "                                       /* ownerUid 500 */                                     \
    "02000000 00000000 03000000 01000000 02000000 "   /* limits {0: 3, 1: 2} */                              \
    "02000000 00000000 0100 41 01000000 0300 e7a5a8 " /* options {0: "A", 1: "票"} */                       \
    "01000000 01000000 05000000 "                     /* optionTickets {1: 5} */                             \
    "02000000 00000000 00000000 01000000 01000000 "   /* optionGroup {0: 0, 1: 1} */                         \
    "02000000 00000000 0100 61 01000000 0100 62 "     /* groupNames {0: "a", 1: "b"} */                      \
    "01000000 00000000 bc020000 "                     /* judgeOrder {0: 700} */                              \
    "01000000 bc020000 bc020000 29230000 0100 6a 04000000 00000000 " /* judges {700: 700, 9001, "j", 4} */   \
    "01000000 05000000 0100 7a "                                     /* auxMap {5: "z"} */

// sampleHistory() below, field by field.
#define QX_HISTORY_SAMPLE                                                                                    \
    "03000000 00000000 0100 68 00000000 "              /* recordKey 3, aux2 0, name "h", voteType 0 */       \
    "1300 32303236 2d31322d 3037 20 32313a30303a3030 " /* timeText "2026-12-07 21:00:00" */                  \
    "0000 00000000 0100 6d "                           /* auxText1 "", aux3 0, adminNick "m" */              \
    "01000000 00000000 0100 41 "                       /* options {0: "A"} */                                \
    "01000000 00000000 04000000 "                      /* optionTickets {0: 4} */                            \
    "00000000 00000000 00000000 "                      /* auxMap1, auxMap2, auxMap3 empty */

struct WireVector
{
    const char* name;
    std::uint32_t minType;
    const char* hex; // the message body
};

inline const std::vector<WireVector>& all()
{
    static const std::vector<WireVector> vectors = {
        {"VOTE_SYSTEM_CREATE_VOTE_REQ", 1, "0a000000 14000000 " QX_VOTE_SAMPLE "00000000"},
        {"VOTE_SYSTEM_CREATE_VOTE_RES", 2, "00000000 07000000 00000000"},
        {"VOTE_SYSTEM_UPDATE_VOTE_REQ", 3, "0a000000 14000000 07000000 " QX_VOTE_SAMPLE "00000000"},
        {"VOTE_SYSTEM_UPDATE_VOTE_RES", 4, "03000000 07000000 01000000 0100 6b 0100 76"},
        {"VOTE_SYSTEM_START_VOTE_REQ", 5, "0a000000 14000000 07000000 e8030000 00000000"},
        {"VOTE_SYSTEM_START_VOTE_RES", 6, "00000000 01000000 02000000 07000000 63000000 00000000"},
        {"VOTE_SYSTEM_END_VOTE_REQ", 7, "0a000000 14000000 0c000000 00000000 22000000 00000000"},
        {"VOTE_SYSTEM_END_VOTE_RES", 8, "02000000 00000000 00000000 07000000 63000000 00000000"},
        {"VOTE_SYSTEM_DELETE_VOTE_REQ", 11, "0a000000 14000000 07000000 02000000 00000000"},
        {"VOTE_SYSTEM_DELETE_VOTE_RES", 12, "00000000 00000000 00000000 07000000 00000000 00000000"},
        {"VOTE_SYSTEM_USER_VOTE_REQ", 13,
         "0a000000 14000000 07000000 00000000 63000000 e8030000 03000000 01000000 00000000"},
        {"VOTE_SYSTEM_USER_VOTE_RES", 14,
         "05000000 01000000 02000000 03000000 04000000 05000000 06000000 07000000 08000000 00000000"},
        {"VOTE_SYSTEM_USER_VOTE_STATE_REQ", 15,
         "0a000000 14000000 07000000 01000000 63000000 e8030000 00000000 00000000"},
        {"VOTE_SYSTEM_USER_VOTE_STATE_RES", 16,
         "00000000 00000000 00000000 00000000 00000000 00000000 "
         "01000000 03000000 02000000 01000000 " QX_VOTE_EMPTY "01000000 01000000 01000000 00000000"},
        {"VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ", 17, "0a000000 14000000 00000000"},
        {"VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES", 18,
         "00000000 00000000 00000000 01000000 03000000 " QX_HISTORY_SAMPLE "00000000"},
        {"VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ", 25,
         "0a000000 14000000 02000000 07000000 00000000 08000000 02000000 00000000"},
        {"VOTE_SYSTEM_BATCH_DELETE_VOTE_RES", 26,
         "00000000 01000000 02000000 01000000 07000000 00000000 00000000"},
        {"VOTE_SYSTEM_BROADCAST_VOTE", 27,
         "00000000 00000000 01000000 00000000 3c000000 63000000 " QX_VOTE_SAMPLE "00000000"},
        {"VOTE_SYSTEM_QUERY_ALL_VOTE_REQ", 28, "0a000000 14000000 00000000"},
        {"VOTE_SYSTEM_QUERY_ALL_VOTE_RES", 29,
         "00000000 00000000 00000000 02000000 " QX_VOTE_SAMPLE QX_VOTE_EMPTY "00000000"},
        {"VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE", 30, "00000000 00000000 01000000 " QX_VOTE_SAMPLE "00000000"},
        {"VOTE_SYSTEM_QUERY_NICKNAME_REQ", 31, "d2040000 00000000"},
        {"VOTE_SYSTEM_QUERY_NICKNAME_RES", 32, "00000000 d2040000 e8030000 0200 426f 00000000"},
        {"VOTE_SYSTEM_CLOSE_VOTEUI_REQ", 33, "0a000000 14000000 07000000 63000000 00000000"},
        {"VOTE_SYSTEM_CLOSE_VOTEUI_RES", 34, "00000000 00000000 00000000 07000000 63000000 00000000"},
    };
    return vectors;
}

#undef QX_VOTE_EMPTY
#undef QX_VOTE_SAMPLE
#undef QX_HISTORY_SAMPLE

inline const WireVector& byMinType(std::uint32_t minType)
{
    for (const WireVector& v : all())
        if (v.minType == minType)
            return v;
    throw std::out_of_range("no wire vector for minor type " + std::to_string(minType));
}

// Bytes from hex digits; whitespace is skipped.
inline std::string fromHex(const std::string& hex)
{
    std::string digits;
    for (char c : hex)
        if (!std::isspace(static_cast<unsigned char>(c)))
            digits += c;
    if (digits.size() % 2 != 0)
        throw std::invalid_argument("odd number of hex digits");
    std::string bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return bytes;
}

inline std::string toHex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

// The frame the service link builds around a body: major 2500, the minor type, u16 length.
inline std::string frameOf(const WireVector& v)
{
    const std::string body = fromHex(v.hex);
    const auto le = [](std::uint32_t x, int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += static_cast<char>((x >> (8 * i)) & 0xff);
        return out;
    };
    return le(quorix::kVoteMajorType, 4) + le(v.minType, 4) + le(static_cast<std::uint32_t>(body.size()), 2) +
           body;
}

inline quorix::VoteInfo sampleVote()
{
    quorix::VoteInfo v;
    v.aux1 = 1;
    v.aux2 = 2;
    v.voteId = 7;
    v.name = "Q1";
    v.limitTime = 60;
    v.voteType = 1;
    v.aux3 = 3;
    v.aux4 = 4;
    v.auxText2 = "x";
    v.ownerUid = 500;
    v.limits = {{0, 3}, {1, 2}};
    v.options = {{0, "A"}, {1, "\xe7\xa5\xa8"}};
    v.optionTickets = {{1, 5}};
    v.optionGroup = {{0, 0}, {1, 1}};
    v.groupNames = {{0, "a"}, {1, "b"}};
    v.judgeOrder = {{0, 700}};
    quorix::JudgeInfo judge;
    judge.uid = 700;
    judge.imid = 9001;
    judge.nick = "j";
    judge.points = 4;
    v.judges = {{700, judge}};
    v.auxMap = {{5, "z"}};
    return v;
}

inline quorix::VoteHistoryRecord sampleHistory()
{
    quorix::VoteHistoryRecord h;
    h.recordKey = 3;
    h.name = "h";
    h.timeText = "2026-12-07 21:00:00";
    h.adminNick = "m";
    h.options = {{0, "A"}};
    h.optionTickets = {{0, 4}};
    return h;
}

} // namespace wirevectors
