#pragma once

// The bodies of the vote changes read and bounded before anything reaches the core: a vote as the
// vote list shows it (create, replace) and the ids of a batch delete. A refusal names the member at
// fault; whether the vote may be stored is the core's to decide.

#include <quorix/protocol/voterecords.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorix::service {

class VoteRequestBody
{
public:
    // One batch deletes this many votes at most: a sub-channel's whole list by default.
    static constexpr std::size_t kMaxBatchVotes = 100;

    struct Refusal
    {
        std::string reason;
        std::string field;
    };

    // The vote of a body for the vote voteId (0 for a new one). A voteId in the body must be that.
    static std::optional<VoteInfo> vote(const std::string& body, std::uint32_t voteId, Refusal& refusal);
    // The start second of a start request: the query's at (queryAt, null without one) or the body's
    // {"at":…}, a whole number of Unix seconds; nullopt in `at` when neither asks (start now). A body
    // may be empty. False with the refusal when either is malformed or both are given.
    static bool startAt(const std::string& body, const std::string* queryAt, std::optional<std::int64_t>& at,
                        Refusal& refusal);
    // A body that must be one JSON object, read; nullopt with the refusal ("body") otherwise.
    static std::optional<nlohmann::ordered_json> object(const std::string& body, Refusal& refusal);
    // The ids of {"voteIds":[…]}: 1 to kMaxBatchVotes of them.
    static std::optional<std::vector<std::uint32_t>> voteIds(const std::string& body, Refusal& refusal);
};

} // namespace quorix::service
