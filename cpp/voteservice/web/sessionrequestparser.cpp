#include "voteservice/web/sessionrequestparser.h"

#include <quorix/protocol/jsontext.h>

#include <cmath>

namespace quorix::service {

namespace {
using Json = nlohmann::ordered_json;

ParsedSessionRequest refused(std::string error, std::string field, Json id = nullptr)
{
    ParsedSessionRequest parsed;
    parsed.error = std::move(error);
    parsed.field = std::move(field);
    parsed.id = std::move(id);
    return parsed;
}

// Reads a whole number of 32 bits, written as the wire JSON takes it (7, 7.0, 7e0, -0: JSON
// Schema's integer); nullopt with the refusal when the member is absent (and required) or not such
// a number.
std::optional<ParsedSessionRequest> readNumber(const Json& message, const char* name, std::uint32_t& out,
                                               std::optional<std::uint32_t> fallback = std::nullopt)
{
    const auto it = message.find(name);
    if (it == message.end()) {
        if (fallback) {
            out = *fallback;
            return std::nullopt;
        }
        return refused(std::string(name) + " missing", name);
    }
    const double value = it->is_number() ? it->get<double>() : -1;
    if (!(value >= 0 && value <= UINT32_MAX) || std::floor(value) != value)
        return refused(std::string(name) + " is not a whole number of 32 bits", name);
    out = static_cast<std::uint32_t>(value);
    return std::nullopt;
}

std::optional<ParsedSessionRequest> readId(const Json& message, Json& id)
{
    const auto it = message.find("id");
    if (it == message.end())
        return std::nullopt;
    const bool text =
        it->is_string() && it->get_ref<const std::string&>().size() <= SessionRequestParser::kMaxIdBytes;
    if (!text && !it->is_number_integer())
        return refused("id is a number or a text of at most 64 bytes", "id");
    id = *it;
    return std::nullopt;
}
} // namespace

const char* SessionRequest::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Vote:
        return "vote";
    case Kind::JudgeScore:
        return "judgeScore";
    case Kind::Tickets:
        return "tickets";
    }
    return "vote";
}

ParsedSessionRequest SessionRequestParser::parse(const std::string& text)
{
    Json message;
    std::string error;
    if (!JsonText::read(text, message, error))
        return refused(error, {});
    if (!message.is_object())
        return refused("a JSON object expected", {});
    SessionRequest request;
    if (auto refusal = readId(message, request.id))
        return *refusal;
    const auto type = message.find("type");
    if (type == message.end() || !type->is_string())
        return refused("type missing", "type", request.id);
    const std::string& name = type->get_ref<const std::string&>();
    std::optional<ParsedSessionRequest> refusal = readNumber(message, "voteId", request.voteId);
    if (name == "vote") {
        request.kind = SessionRequest::Kind::Vote;
        if (!refusal)
            refusal = readNumber(message, "optionId", request.optionId);
        if (!refusal)
            refusal = readNumber(message, "tickets", request.tickets, 1);
    } else if (name == "judgeScore") {
        request.kind = SessionRequest::Kind::JudgeScore;
        if (!refusal)
            refusal = readNumber(message, "score", request.tickets);
    } else if (name == "tickets") {
        request.kind = SessionRequest::Kind::Tickets;
    } else {
        return refused("type is vote, judgeScore or tickets", "type", request.id);
    }
    if (refusal) {
        refusal->id = request.id;
        return *refusal;
    }
    ParsedSessionRequest parsed;
    parsed.id = request.id;
    parsed.request = std::move(request);
    return parsed;
}

} // namespace quorix::service
