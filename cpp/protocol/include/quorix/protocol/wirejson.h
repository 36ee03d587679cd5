#pragma once

// Vote frames to and from JSON documents of the form
//   {"maxType":2500,"minType":27,"name":"VOTE_SYSTEM_BROADCAST_VOTE","complete":true,"body":{...}}
// Body members are the message's fields by name in wire order; unnamed fields are aux1, aux2, …;
// maps are objects keyed by the decimal key (or the text key), sequences are arrays. Texts that
// are not UTF-8 hold U+FFFD in place of each invalid byte. JsonText reads and writes the documents.

#include <quorix/protocol/voterecords.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <stdexcept>
#include <string>

class WireJsonError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
    // "path: what"; path() is the offending member ("body.vote.options.3", "name").
    WireJsonError(const std::string& path, const std::string& what)
        : std::runtime_error(path + ": " + what), m_path(path)
    {}
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

class WireJson
{
public:
    // A frame (header, payload length, payload) to its JSON document. A frame or body that ends
    // early is decoded as far as it goes and marked "complete":false. Throws WireJsonError for a
    // header shorter than 10 bytes or a message that is not a vote message.
    static nlohmann::ordered_json decodeFrame(const std::string& frame);

    // A JSON document to its frame. "name" and "complete" are optional; missing body fields keep
    // their defaults. Throws WireJsonError naming the offending member.
    static std::string encodeFrame(const nlohmann::ordered_json& document);

    // A vote record from the JSON its frames show it as (a body's "vote" member), under the same
    // rules as encodeFrame: missing members keep their defaults, others are refused. The error's
    // path starts at the record's own members ("options.3", "limits").
    static quorix::VoteInfo voteFromJson(const nlohmann::ordered_json& vote);

    // Bytes from hex digits, whitespace ignored; throws WireJsonError on anything else.
    static std::string fromHex(const std::string& hex);
    static std::string toHex(const std::string& bytes);
};
