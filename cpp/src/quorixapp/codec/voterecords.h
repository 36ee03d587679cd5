#pragma once

// Vote records: wire structures encoded field by field in the order below, and the values the
// controller hands to windows by value. Qt-free, shared with the vote service and the tools.
// Fields named aux* are not interpreted; they are carried unchanged when received.

#include "mpak.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quorix {

enum VoteType : std::uint32_t { kNormalVote = 0, kGroupVote = 1, kJudgeVote = 2 };

// Keys of VoteInfo::limits.
enum TicketLimitKey : std::uint32_t { kTicketsPerUser = 0, kTicketsPerOption = 1 };

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

    void marshal(mpak::Pack& p) const { p << uid << imid << nick << points << auxMap; }
    void unmarshal(mpak::Unpack& up) { up >> uid >> imid >> nick >> points >> auxMap; }
    bool operator==(const JudgeInfo& o) const
    {
        return uid == o.uid && imid == o.imid && nick == o.nick && points == o.points && auxMap == o.auxMap;
    }
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
    U32Map limits;        // kTicketsPerUser, kTicketsPerOption
    TextMap options;      // option id -> text
    U32Map optionTickets; // option id -> tickets received; missing counts as 0
    U32Map optionGroup;   // option id -> 0 group A, 1 group B
    TextMap groupNames;   // 0 -> A, 1 -> B
    U32Map judgeOrder;    // position -> judge uid
    std::map<std::uint32_t, JudgeInfo> judges; // judge uid -> entry
    TextMap auxMap;

    void marshal(mpak::Pack& p) const
    {
        p << aux1 << aux2 << voteId << name << auxText1 << limitTime << voteType << aux3 << aux4 << auxText2
          << auxText3 << auxText4 << ownerUid << limits << options << optionTickets << optionGroup << groupNames
          << judgeOrder << judges << auxMap;
    }
    void unmarshal(mpak::Unpack& up)
    {
        up >> aux1 >> aux2 >> voteId >> name >> auxText1 >> limitTime >> voteType >> aux3 >> aux4 >> auxText2 >>
            auxText3 >> auxText4 >> ownerUid >> limits >> options >> optionTickets >> optionGroup >> groupNames >>
            judgeOrder >> judges >> auxMap;
    }
    bool operator==(const VoteInfo& o) const
    {
        return aux1 == o.aux1 && aux2 == o.aux2 && voteId == o.voteId && name == o.name && auxText1 == o.auxText1 &&
               limitTime == o.limitTime && voteType == o.voteType && aux3 == o.aux3 && aux4 == o.aux4 &&
               auxText2 == o.auxText2 && auxText3 == o.auxText3 && auxText4 == o.auxText4 &&
               ownerUid == o.ownerUid && limits == o.limits && options == o.options &&
               optionTickets == o.optionTickets && optionGroup == o.optionGroup && groupNames == o.groupNames &&
               judgeOrder == o.judgeOrder && judges == o.judges && auxMap == o.auxMap;
    }

    std::uint32_t ticketLimit(TicketLimitKey key) const
    {
        const auto it = limits.find(key);
        return it == limits.end() ? 0 : it->second;
    }
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

    void marshal(mpak::Pack& p) const
    {
        p << recordKey << aux2 << name << voteType << timeText << auxText1 << aux3 << adminNick << options
          << optionTickets << auxMap1 << auxMap2 << auxMap3;
    }
    void unmarshal(mpak::Unpack& up)
    {
        up >> recordKey >> aux2 >> name >> voteType >> timeText >> auxText1 >> aux3 >> adminNick >> options >>
            optionTickets >> auxMap1 >> auxMap2 >> auxMap3;
    }
    bool operator==(const VoteHistoryRecord& o) const
    {
        return recordKey == o.recordKey && aux2 == o.aux2 && name == o.name && voteType == o.voteType &&
               timeText == o.timeText && auxText1 == o.auxText1 && aux3 == o.aux3 && adminNick == o.adminNick &&
               options == o.options && optionTickets == o.optionTickets && auxMap1 == o.auxMap1 &&
               auxMap2 == o.auxMap2 && auxMap3 == o.auxMap3;
    }
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

    void marshal(mpak::Pack& p) const
    {
        p << state << aux1 << aux2 << aux3 << aux4 << aux5 << voteType << ticketsPerUser << ticketsPerOption
          << ticketsUsed << vote << usedPerOption << extend;
    }
    void unmarshal(mpak::Unpack& up)
    {
        up >> state >> aux1 >> aux2 >> aux3 >> aux4 >> aux5 >> voteType >> ticketsPerUser >> ticketsPerOption >>
            ticketsUsed >> vote >> usedPerOption >> extend;
    }
    bool operator==(const UserTicketInfo& o) const
    {
        return state == o.state && aux1 == o.aux1 && aux2 == o.aux2 && aux3 == o.aux3 && aux4 == o.aux4 &&
               aux5 == o.aux5 && voteType == o.voteType && ticketsPerUser == o.ticketsPerUser &&
               ticketsPerOption == o.ticketsPerOption && ticketsUsed == o.ticketsUsed && vote == o.vote &&
               usedPerOption == o.usedPerOption && extend == o.extend;
    }
};

using VoteList = std::vector<VoteInfo>;
using HistoryRecords = std::map<std::uint32_t, VoteHistoryRecord>;

} // namespace quorix
