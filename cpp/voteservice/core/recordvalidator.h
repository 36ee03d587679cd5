#pragma once

// The rules a vote record must meet before the service stores it.

#include <quorix/protocol/voterecords.h>

#include <cstddef>
#include <string>

namespace quorix::service {

class RecordValidator
{
public:
    static constexpr std::size_t kMaxNameChars = 20;
    static constexpr std::size_t kMaxOptionChars = 20;
    static constexpr std::size_t kMaxGroupNameChars = 20;
    static constexpr std::size_t kMaxJudgeNickChars = 32;
    static constexpr std::uint32_t kMaxLimitSeconds = 9999;
    static constexpr std::size_t kMaxOptions = 10;
    static constexpr std::size_t kMaxJudges = 5;
    // Whole encoded record, aux fields included; keeps every answer that carries records small.
    static constexpr std::size_t kMaxRecordBytes = 4096;

    // True when the record may be stored as the client sent it.
    static bool isValid(const VoteInfo& vote);
    // The member of a record not valid that breaks the first rule ("name", "options", "judges" …),
    // "" when the whole record is too large; nullptr for a valid record.
    static const char* fault(const VoteInfo& vote);

    // Characters of a UTF-8 text, or npos when the text is not valid UTF-8.
    static std::size_t utf8Length(const std::string& text);

private:
    static bool textFits(const std::string& text, std::size_t minChars, std::size_t maxChars);
    static bool limitsValid(const VoteInfo& vote);
    static bool optionsValid(const VoteInfo& vote, std::size_t maxOptions);
    static const char* kindFault(const VoteInfo& vote);
    static const char* normalFault(const VoteInfo& vote);
    static const char* groupFault(const VoteInfo& vote);
    static const char* judgeFault(const VoteInfo& vote);
};

} // namespace quorix::service
