#pragma once

// Vote records as the service sends them, built compactly for the audience tests.

#include <quorix/protocol/voterecords.h>

#include <QString>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace test {

// A normal vote with one option per count ("选项0", "选项1", ...).
inline quorix::VoteInfo normalVote(const std::vector<std::uint32_t>& counts, std::uint32_t perUser = 10,
                                   std::uint32_t perOption = 10)
{
    quorix::VoteInfo vote;
    vote.voteId = 40;
    vote.voteType = quorix::kNormalVote;
    vote.name = "给你最喜爱的主播投票吧!";
    vote.limitTime = 300;
    vote.limits = {{quorix::kTicketsPerUser, perUser}, {quorix::kTicketsPerOption, perOption}};
    for (std::uint32_t id = 0; id < counts.size(); ++id) {
        vote.options[id] = QStringLiteral("选项%1").arg(id).toStdString();
        vote.optionTickets[id] = counts[id];
    }
    return vote;
}

// A group vote: option ids follow the order of `groups` (0 team A, 1 team B).
inline quorix::VoteInfo groupVote(const std::vector<std::uint32_t>& groups,
                                  const std::vector<std::uint32_t>& counts, std::uint32_t perUser = 10,
                                  std::uint32_t perOption = 10)
{
    quorix::VoteInfo vote = normalVote(counts, perUser, perOption);
    vote.voteType = quorix::kGroupVote;
    vote.name = "红蓝对决";
    vote.groupNames = {{0, "红队"}, {1, "蓝队"}};
    for (std::uint32_t id = 0; id < groups.size(); ++id)
        vote.optionGroup[id] = groups[id];
    return vote;
}

struct Judge
{
    std::uint32_t uid;
    std::string nick;
    std::uint32_t points;
};

// A judge vote with the judges in the order given.
inline quorix::VoteInfo judgeVote(const std::vector<Judge>& judges, const std::string& title = "最佳表演")
{
    quorix::VoteInfo vote;
    vote.voteId = 41;
    vote.voteType = quorix::kJudgeVote;
    vote.name = title;
    vote.limitTime = 120;
    vote.limits = {{quorix::kTicketsPerUser, 5}, {quorix::kTicketsPerOption, 5}};
    vote.options = {{0, title}};
    for (std::uint32_t position = 0; position < judges.size(); ++position) {
        const Judge& j = judges[position];
        vote.judgeOrder[position] = j.uid;
        quorix::JudgeInfo info;
        info.uid = j.uid;
        info.imid = 100000 + j.uid;
        info.nick = j.nick;
        info.points = j.points;
        vote.judges[j.uid] = info;
    }
    return vote;
}

inline quorix::UserTicketInfo ticketState(std::uint32_t perUser, std::uint32_t perOption, std::uint32_t used,
                                          const std::map<std::uint32_t, std::uint32_t>& usedPerOption,
                                          std::uint32_t voteType = quorix::kNormalVote)
{
    quorix::UserTicketInfo info;
    info.state = 0;
    info.voteType = voteType;
    info.ticketsPerUser = perUser;
    info.ticketsPerOption = perOption;
    info.ticketsUsed = used;
    info.usedPerOption = usedPerOption;
    return info;
}

} // namespace test
