#include "recordvalidator.h"

#include <quorix/protocol/mpak.h>
#include "utf8.h"

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

bool RecordValidator::normalValid(const VoteInfo& vote)
{
    return optionsValid(vote, kMaxOptions);
}

bool RecordValidator::groupValid(const VoteInfo& vote)
{
    if (!optionsValid(vote, 2 * kMaxOptions) || vote.optionGroup.size() != vote.options.size())
        return false;
    std::size_t teamSize[2] = {0, 0};
    for (const auto& [id, team] : vote.optionGroup) {
        if (team > 1 || vote.options.count(id) == 0)
            return false;
        ++teamSize[team];
    }
    if (teamSize[0] < 1 || teamSize[0] > kMaxOptions || teamSize[1] < 1 || teamSize[1] > kMaxOptions)
        return false;
    if (vote.groupNames.size() != 2 || vote.groupNames.count(0) == 0 || vote.groupNames.count(1) == 0)
        return false;
    return textFits(vote.groupNames.at(0), 1, kMaxGroupNameChars) &&
           textFits(vote.groupNames.at(1), 1, kMaxGroupNameChars);
}

bool RecordValidator::judgeValid(const VoteInfo& vote)
{
    if (vote.judges.size() > kMaxJudges || vote.judgeOrder.size() != vote.judges.size())
        return false;
    if (vote.options.size() > 1 || (vote.options.size() == 1 && vote.options.count(0) == 0))
        return false;
    std::set<std::uint32_t> ordered;
    std::uint32_t position = 0;
    for (const auto& [pos, uid] : vote.judgeOrder) {
        if (pos != position++ || uid == 0 || vote.judges.count(uid) == 0 || !ordered.insert(uid).second)
            return false;
    }
    for (const auto& [uid, judge] : vote.judges) {
        if (judge.uid != uid || !textFits(judge.nick, 0, kMaxJudgeNickChars))
            return false;
    }
    return true;
}

bool RecordValidator::isValid(const VoteInfo& vote)
{
    if (!textFits(vote.name, 1, kMaxNameChars) || vote.limitTime < 1 || vote.limitTime > kMaxLimitSeconds ||
        !limitsValid(vote))
        return false;
    bool kindValid = false;
    switch (vote.voteType) {
    case kNormalVote:
        kindValid = normalValid(vote);
        break;
    case kGroupVote:
        kindValid = groupValid(vote);
        break;
    case kJudgeVote:
        kindValid = judgeValid(vote);
        break;
    default:
        return false;
    }
    return kindValid && mpak::encode(vote).size() <= kMaxRecordBytes;
}

} // namespace quorix::service
