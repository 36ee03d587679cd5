#include "voteservice/web/voterequestbody.h"

#include <quorix/protocol/jsontext.h>
#include <quorix/protocol/mpak.h>
#include <quorix/protocol/serviceframe.h>
#include <quorix/protocol/wirejson.h>

namespace quorix::service {

namespace {
using Json = nlohmann::ordered_json;

// Channel, sub-channel and vote id before the record, the empty extend map after it.
constexpr std::size_t kRequestOverhead = 16;

// Whether the record fits into one request frame (a text beyond 65535 bytes cannot be encoded).
bool fitsAFrame(const VoteInfo& vote)
{
    try {
        return mpak::encode(vote).size() + kRequestOverhead <= mpak::kMaxFramePayload;
    } catch (const mpak::PackError&) {
        return false;
    }
}

// Unix seconds as a start time may be given: up to the year 5138, which no schedule reaches.
constexpr std::int64_t kMaxStartAt = 99999999999;

std::optional<std::int64_t> startSecond(const Json& value)
{
    if (!value.is_number_integer())
        return std::nullopt;
    if (value.is_number_unsigned())
        return value.get<std::uint64_t>() <= std::uint64_t(kMaxStartAt)
                   ? std::optional<std::int64_t>(std::int64_t(value.get<std::uint64_t>()))
                   : std::nullopt;
    const std::int64_t second = value.get<std::int64_t>();
    return second >= 0 && second <= kMaxStartAt ? std::optional<std::int64_t>(second) : std::nullopt;
}

std::optional<std::int64_t> startSecond(const std::string& text)
{
    if (text.empty() || text.size() > 11 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoll(text);
}

bool isVoteId(const Json& value)
{
    return value.is_number_unsigned() && value.get<std::uint64_t>() >= 1 &&
           value.get<std::uint64_t>() <= 0xffffffffu;
}
} // namespace

std::optional<VoteInfo> VoteRequestBody::vote(const std::string& body, std::uint32_t voteId, Refusal& refusal)
{
    auto json = object(body, refusal);
    if (!json)
        return std::nullopt;
    // "results" is the web face's name for the record's limits key 2.
    std::optional<std::uint32_t> results;
    if (const auto member = json->find("results"); member != json->end()) {
        if (*member != "live" && *member != "end") {
            refusal = {"results is \"live\" or \"end\"", "results"};
            return std::nullopt;
        }
        results = *member == "end" ? kResultsAtEnd : kResultsLive;
        json->erase(member);
    }
    // The list's schedule is the service's to set (start with at): a vote read back ignores it.
    json->erase("schedule");
    VoteInfo vote;
    try {
        vote = WireJson::voteFromJson(*json);
    } catch (const WireJsonError& e) {
        refusal = {e.what(), e.path()};
        return std::nullopt;
    }
    if (json->contains("voteId") && vote.voteId != voteId) {
        refusal = {voteId == 0 ? "a new vote gets its voteId from the service" : "voteId is the path's",
                   "voteId"};
        return std::nullopt;
    }
    vote.voteId = voteId;
    if (results == kResultsAtEnd)
        vote.limits[kResultsShown] = kResultsAtEnd;
    else if (results)
        vote.limits.erase(kResultsShown);
    if (!fitsAFrame(vote)) {
        refusal = {"the vote is too large to send", "body"};
        return std::nullopt;
    }
    return vote;
}

bool VoteRequestBody::startAt(const std::string& body, const std::string* queryAt,
                              std::optional<std::int64_t>& at, Refusal& refusal)
{
    const char* const kWhole = "at is a whole number of Unix seconds";
    at.reset();
    if (queryAt) {
        at = startSecond(*queryAt);
        if (!at) {
            refusal = {kWhole, "at"};
            return false;
        }
    }
    if (body.empty())
        return true;
    const auto json = object(body, refusal);
    if (!json)
        return false;
    for (const auto& [name, value] : json->items()) {
        if (name != "at") {
            refusal = {"no such member", JsonText::replaceInvalidUtf8(name)};
            return false;
        }
        if (queryAt) {
            refusal = {"at is given in the query or in the body, not in both", "at"};
            return false;
        }
        at = startSecond(value);
        if (!at) {
            refusal = {kWhole, "at"};
            return false;
        }
    }
    return true;
}

std::optional<std::vector<std::uint32_t>> VoteRequestBody::voteIds(const std::string& body, Refusal& refusal)
{
    const auto json = object(body, refusal);
    if (!json)
        return std::nullopt;
    for (const auto& [name, value] : json->items()) {
        if (name != "voteIds") {
            refusal = {"no such member", JsonText::replaceInvalidUtf8(name)};
            return std::nullopt;
        }
    }
    const auto ids = json->find("voteIds");
    if (ids == json->end() || !ids->is_array() || ids->empty() || ids->size() > kMaxBatchVotes) {
        refusal = {"voteIds is an array of 1 to " + std::to_string(kMaxBatchVotes) + " vote ids", "voteIds"};
        return std::nullopt;
    }
    std::vector<std::uint32_t> voteIds;
    for (std::size_t i = 0; i < ids->size(); ++i) {
        if (!isVoteId((*ids)[i])) {
            refusal = {"a vote id is a number from 1 to 4294967295", "voteIds[" + std::to_string(i) + "]"};
            return std::nullopt;
        }
        voteIds.push_back((*ids)[i].get<std::uint32_t>());
    }
    return voteIds;
}

std::optional<Json> VoteRequestBody::object(const std::string& body, Refusal& refusal)
{
    Json json;
    std::string error;
    if (!JsonText::read(body, json, error)) {
        refusal = {error, "body"};
        return std::nullopt;
    }
    if (!json.is_object()) {
        refusal = {"the body is a JSON object", "body"};
        return std::nullopt;
    }
    return json;
}

} // namespace quorix::service
