#include "voteservice/web/framejson.h"

#include "voteservice/core/historyextend.h"
#include "voteservice/core/scheduleextend.h"

#include <quorix/protocol/jsontext.h>
#include <quorix/protocol/rankorder.h>
#include <quorix/protocol/votemessages.h>
#include <quorix/protocol/wirejson.h>

#include <map>

namespace quorix::service {

namespace {

// The rank order of the options of a decoded VoteInfo (maps keyed by the decimal id).
FrameJson::Json rankOf(const FrameJson::Json& vote)
{
    const auto options = vote.find("options");
    const auto tickets = vote.find("optionTickets");
    std::vector<std::uint32_t> counts(options == vote.end() ? 0 : options->size(), 0);
    for (std::uint32_t id = 0; tickets != vote.end() && tickets->is_object() && id < counts.size(); ++id)
        counts[id] = tickets->value(std::to_string(id), 0u);
    return RankOrder::ofCounts(counts);
}

} // namespace

std::optional<FrameJson::Decoded> FrameJson::decode(const OutFrame& frame)
{
    if (frame.isNull())
        return std::nullopt;
    try {
        Json document = WireJson::decodeFrame(std::string(frame.frame()));
        if (!document.value("complete", false))
            return std::nullopt;
        return Decoded{document.at("minType").get<std::uint32_t>(), std::move(document.at("body")), frame};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

FrameJson::Json FrameJson::voteState(const Json& body, const SubChannelKey& place, std::uint32_t broadcastHz)
{
    Json state = Json::object();
    state["channelId"] = place.channelId;
    state["subChannelId"] = place.subChannelId;
    const bool running = body.value("status", 0u) == kVoteStarted;
    state["status"] = running ? "running" : "ended";
    // The wire carries it as an unsigned field that the client reads as signed.
    state["remainingSeconds"] = static_cast<std::int32_t>(body.value("remainSeconds", 0u));
    state["broadcastHz"] = broadcastHz;
    state["jiFangId"] = body.value("jiFangId", 0u);
    state["vote"] = body.contains("vote") ? body.at("vote") : Json::object();
    showResults(state["vote"]);
    state["rank"] = rankOf(state["vote"]);
    return state;
}

void FrameJson::showResults(Json& vote)
{
    const auto limits = vote.find("limits");
    const bool atEnd = limits != vote.end() && limits->is_object() &&
                       limits->value(std::to_string(kResultsShown), 0u) == kResultsAtEnd;
    vote["results"] = atEnd ? "end" : "live";
}

FrameJson::Json FrameJson::listedVotes(const Json& listAnswer)
{
    std::map<std::uint32_t, Json> schedules;
    const Json extend = listAnswer.value("extend", Json::object());
    for (const auto& [key, value] : extend.items()) {
        std::uint32_t voteId = 0;
        std::int64_t at = 0;
        bool missed = false;
        if (!value.is_string() ||
            !ScheduleExtend::readListEntry(key, value.get<std::string>(), voteId, at, missed))
            continue;
        Json schedule = Json::object();
        schedule["at"] = at;
        schedule["state"] = missed ? "missed" : "pending";
        if (missed)
            schedule["reason"] = "another vote open";
        schedules[voteId] = std::move(schedule);
    }
    Json votes = listAnswer.value("votes", Json::array());
    for (auto& vote : votes) {
        showResults(vote);
        const auto it = schedules.find(vote.value("voteId", 0u));
        vote["schedule"] = it == schedules.end() ? Json() : it->second;
    }
    return votes;
}

FrameJson::Json FrameJson::schedulesOf(const Json& listedVotes)
{
    Json schedules = Json::array();
    for (const auto& vote : listedVotes) {
        const auto schedule = vote.find("schedule");
        if (schedule == vote.end() || !schedule->is_object())
            continue;
        Json entry = Json::object();
        entry["voteId"] = vote.value("voteId", 0u);
        entry["name"] = vote.value("name", std::string());
        entry["at"] = schedule->value("at", std::int64_t(0));
        entry["state"] = schedule->value("state", std::string());
        schedules.push_back(std::move(entry));
    }
    return schedules;
}

FrameJson::Json FrameJson::historyRecords(const Json& historyBody)
{
    const Json extend = historyBody.value("extend", Json::object());
    const Json records = historyBody.value("records", Json::object());
    Json newestFirst = Json::array();
    // Record keys grow as votes end: the highest key is the newest entry.
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        Json record = *it;
        const auto start = extend.find(HistoryExtend::key(record.value("recordKey", 0u)));
        if (start != extend.end() && start->is_string()) {
            if (const auto seconds = HistoryExtend::readStart(start->get<std::string>()))
                record["startedAt"] = *seconds;
        }
        newestFirst.push_back(std::move(record));
    }
    return newestFirst;
}

std::string FrameJson::error(const std::string& reason, const std::string& field,
                             std::optional<std::uint32_t> result)
{
    Json body = Json::object();
    body["error"] = reason;
    if (!field.empty())
        body["field"] = JsonText::replaceInvalidUtf8(field);
    if (result)
        body["result"] = *result;
    return JsonText::write(body);
}

} // namespace quorix::service
