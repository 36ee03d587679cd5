#pragma once

// Vote records: wire structures encoded field by field in the order below, and the values the
// controller hands to windows by value. Qt-free, shared with the vote service and the tools.
// Fields named aux* are not interpreted; they are carried unchanged when received.

#include <quorix/protocol/mpak.h>
#include <quorix/protocol/wirefields.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quorix {

enum VoteType : std::uint32_t
{
    kNormalVote = 0,
    kGroupVote = 1,
    kJudgeVote = 2
};

// Keys of VoteInfo::limits. kResultsShown is the service's: 0 (or none) the counts are live, 1 they
// are shown to viewers only once the vote has ended (the desktop editor never sets it).
enum TicketLimitKey : std::uint32_t
{
    kTicketsPerUser = 0,
    kTicketsPerOption = 1,
    kResultsShown = 2
};
enum ResultsShown : std::uint32_t
{
    kResultsLive = 0,
    kResultsAtEnd = 1
};

using U32Map = std::map<std::uint32_t, std::uint32_t>;
using TextMap = std::map<std::uint32_t, std::string>;
using ExtendMap = std::map<std::string, std::string>;

struct JudgeInfo
{
    std::uint32_t uid = 0;
    std::uint32_t imid = 0;
    std::string nick;
    std::uint32_t points = 0; // 0: not yet given
    TextMap auxMap;

    QUORIX_WIRE_FIELDS(JudgeInfo, uid, imid, nick, points, auxMap)
};

struct VoteInfo
{
    std::uint32_t aux1 = 0;
    std::uint32_t aux2 = 0;
    std::uint32_t voteId = 0;
    std::string name;
    std::string auxText1;
    std::uint32_t limitTime = 0; // seconds
    std::uint32_t voteType = 0;
    std::uint32_t aux3 = 0;
    std::uint32_t aux4 = 0;
    std::string auxText2;
    std::string auxText3;
    std::string auxText4;
    std::uint32_t ownerUid = 0;
    U32Map limits;                             // kTicketsPerUser, kTicketsPerOption, kResultsShown
    TextMap options;                           // option id -> text
    U32Map optionTickets;                      // option id -> tickets received; missing counts as 0
    U32Map optionGroup;                        // option id -> 0 group A, 1 group B
    TextMap groupNames;                        // 0 -> A, 1 -> B
    U32Map judgeOrder;                         // position -> judge uid
    std::map<std::uint32_t, JudgeInfo> judges; // judge uid -> entry
    TextMap auxMap;

    QUORIX_WIRE_FIELDS(VoteInfo, aux1, aux2, voteId, name, auxText1, limitTime, voteType, aux3, aux4,
                       auxText2, auxText3, auxText4, ownerUid, limits, options, optionTickets, optionGroup,
                       groupNames, judgeOrder, judges, auxMap)

    std::uint32_t ticketLimit(TicketLimitKey key) const
    {
        const auto it = limits.find(key);
        return it == limits.end() ? 0 : it->second;
    }
    bool resultsAtEnd() const { return ticketLimit(kResultsShown) == kResultsAtEnd; }
    std::uint32_t ticketsOf(std::uint32_t optionId) const
    {
        const auto it = optionTickets.find(optionId);
        return it == optionTickets.end() ? 0 : it->second;
    }
};

struct VoteHistoryRecord
{
    std::uint32_t recordKey = 0;
    std::uint32_t aux2 = 0;
    std::string name;
    std::uint32_t voteType = 0;
    std::string timeText; // "YYYY-MM-DD HH:MM:SS"
    std::string auxText1;
    std::uint32_t aux3 = 0;
    std::string adminNick;
    TextMap options;
    U32Map optionTickets;
    U32Map auxMap1;
    TextMap auxMap2;
    TextMap auxMap3;

    QUORIX_WIRE_FIELDS(VoteHistoryRecord, recordKey, aux2, name, voteType, timeText, auxText1, aux3,
                       adminNick, options, optionTickets, auxMap1, auxMap2, auxMap3)
};

// Body of VOTE_SYSTEM_USER_VOTE_STATE_RES.
struct UserTicketInfo
{
    std::uint32_t state = 0; // 0 numbers valid, 2 full allowance, other ignored
    std::uint32_t aux1 = 0;
    std::uint32_t aux2 = 0;
    std::uint32_t aux3 = 0;
    std::uint32_t aux4 = 0;
    std::uint32_t aux5 = 0;
    std::uint32_t voteType = 0;
    std::uint32_t ticketsPerUser = 0;
    std::uint32_t ticketsPerOption = 0;
    std::uint32_t ticketsUsed = 0;
    VoteInfo vote;
    U32Map usedPerOption;
    ExtendMap extend;

    QUORIX_WIRE_FIELDS(UserTicketInfo, state, aux1, aux2, aux3, aux4, aux5, voteType, ticketsPerUser,
                       ticketsPerOption, ticketsUsed, vote, usedPerOption, extend)
};

using VoteList = std::vector<VoteInfo>;
using HistoryRecords = std::map<std::uint32_t, VoteHistoryRecord>;

} // namespace quorix
