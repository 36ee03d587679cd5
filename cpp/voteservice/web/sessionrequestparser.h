#pragma once

// The messages a /session WebSocket client sends, read from JSON text. Pure: no sockets.
//   {"id":ID,"type":"vote","voteId":N,"optionId":N,"tickets":N}   tickets defaults to 1
//   {"id":ID,"type":"judgeScore","voteId":N,"score":N}
//   {"id":ID,"type":"tickets","voteId":N}
// id is optional, a number or a text of at most 64 bytes, and comes back in the answer. Numbers
// are whole and fit 32 bits; whether they make sense is the core's to say.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace quorix::service {

struct SessionRequest
{
    enum class Kind
    {
        Vote,
        JudgeScore,
        Tickets
    };

    Kind kind = Kind::Vote;
    nlohmann::ordered_json id; // null when the client gave none
    std::uint32_t voteId = 0;
    std::uint32_t optionId = 0;
    std::uint32_t tickets = 0; // the score of a judgeScore

    static const char* kindName(Kind kind);
};

struct ParsedSessionRequest
{
    std::optional<SessionRequest> request;
    std::string error; // when request is empty
    std::string field; // the member at fault, when there is one
    nlohmann::ordered_json id;
};

class SessionRequestParser
{
public:
    static constexpr std::size_t kMaxIdBytes = 64;

    static ParsedSessionRequest parse(const std::string& text);
};

} // namespace quorix::service
