#include "voteservice/core/recordvalidator.h"

#include <quorix/protocol/mpak.h>
#include "voteservice/core/utf8.h"

#include <set>

namespace quorix::service {

std::size_t RecordValidator::utf8Length(const std::string& text)
{
    std::size_t chars = 0;
    std::uint32_t codePoint = 0;
    for (std::size_t i = 0; i < text.size(); ++chars) {
        const std::size_t length = decodeUtf8(text, i, codePoint);
        if (length == 0)
            return std::string::npos;
        i += length;
    }
    return chars;
}

bool RecordValidator::textFits(const std::string& text, std::size_t minChars, std::size_t maxChars)
{
    if (text.size() > maxChars * 4)
        return false;
    const std::size_t chars = utf8Length(text);
    return chars != std::string::npos && chars >= minChars && chars <= maxChars;
}

bool RecordValidator::limitsValid(const VoteInfo& vote)
{
    const std::uint32_t perUser = vote.ticketLimit(kTicketsPerUser);
    const std::uint32_t perOption = vote.ticketLimit(kTicketsPerOption);
    return perOption >= 1 && perUser >= perOption;
}

bool RecordValidator::optionsValid(const VoteInfo& vote, std::size_t maxOptions)
{
    if (vote.options.empty() || vote.options.size() > maxOptions)
        return false;
    for (const auto& [id, text] : vote.options) {
        if (!textFits(text, 1, kMaxOptionChars))
            return false;
    }
    return true;
}

const char* RecordValidator::normalFault(const VoteInfo& vote)
{
    return optionsValid(vote, kMaxOptions) ? nullptr : "options";
}

const char* RecordValidator::groupFault(const VoteInfo& vote)
{
    if (!optionsValid(vote, 2 * kMaxOptions))
        return "options";
    if (vote.optionGroup.size() != vote.options.size())
        return "optionGroup";
    std::size_t teamSize[2] = {0, 0};
    for (const auto& [id, team] : vote.optionGroup) {
        if (team > 1 || vote.options.count(id) == 0)
            return "optionGroup";
        ++teamSize[team];
    }
    if (teamSize[0] < 1 || teamSize[0] > kMaxOptions || teamSize[1] < 1 || teamSize[1] > kMaxOptions)
        return "optionGroup";
    if (vote.groupNames.size() != 2 || vote.groupNames.count(0) == 0 || vote.groupNames.count(1) == 0)
        return "groupNames";
    const bool namesFit = textFits(vote.groupNames.at(0), 1, kMaxGroupNameChars) &&
                          textFits(vote.groupNames.at(1), 1, kMaxGroupNameChars);
    return namesFit ? nullptr : "groupNames";
}

const char* RecordValidator::judgeFault(const VoteInfo& vote)
{
    if (vote.judges.size() > kMaxJudges)
        return "judges";
    if (vote.judgeOrder.size() != vote.judges.size())
        return "judgeOrder";
    if (vote.options.size() > 1 || (vote.options.size() == 1 && vote.options.count(0) == 0))
        return "options";
    std::set<std::uint32_t> ordered;
    std::uint32_t position = 0;
    for (const auto& [pos, uid] : vote.judgeOrder) {
        if (pos != position++ || uid == 0 || vote.judges.count(uid) == 0 || !ordered.insert(uid).second)
            return "judgeOrder";
    }
    for (const auto& [uid, judge] : vote.judges) {
        if (judge.uid != uid || !textFits(judge.nick, 0, kMaxJudgeNickChars))
            return "judges";
    }
    return nullptr;
}

const char* RecordValidator::kindFault(const VoteInfo& vote)
{
    switch (vote.voteType) {
    case kNormalVote:
        return normalFault(vote);
    case kGroupVote:
        return groupFault(vote);
    case kJudgeVote:
        return judgeFault(vote);
    default:
        return "voteType";
    }
}

const char* RecordValidator::fault(const VoteInfo& vote)
{
    if (!textFits(vote.name, 1, kMaxNameChars))
        return "name";
    if (vote.limitTime < 1 || vote.limitTime > kMaxLimitSeconds)
        return "limitTime";
    if (!limitsValid(vote))
        return "limits";
    if (vote.ticketLimit(kResultsShown) > kResultsAtEnd)
        return "results";
    if (const char* kind = kindFault(vote))
        return kind;
    return mpak::encode(vote).size() <= kMaxRecordBytes ? nullptr : "";
}

bool RecordValidator::isValid(const VoteInfo& vote)
{
    return fault(vote) == nullptr;
}

} // namespace quorix::service
