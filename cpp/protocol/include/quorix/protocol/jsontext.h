#pragma once

// JSON text to and from nlohmann::ordered_json under quorix-wire's rules.
// Reading refuses duplicate member names, nesting deeper than kMaxDepth, texts that are not UTF-8,
// numbers beyond the range of double, NUL bytes and a byte order mark; numbers may have leading
// zeros. Writing is compact, keeps member order, writes non-ASCII characters as they are and
// control characters as \u00XX.

#include <nlohmann/json.hpp>

#include <string>

class JsonText
{
public:
    static constexpr int kMaxDepth = 64;

    // Returns false and sets error ("JSON: …") when the text is not exactly one JSON value.
    static bool read(const std::string& text, nlohmann::ordered_json& out, std::string& error);

    static std::string write(const nlohmann::ordered_json& value);

    // The bytes with U+FFFD in place of each byte that does not start a valid UTF-8 sequence.
    static std::string replaceInvalidUtf8(const std::string& bytes);

    // Appends a member even when the object has one of that name already (ordered_json's own
    // insertion would overwrite it), so that written objects show every member they were given.
    static void appendMember(nlohmann::ordered_json& object, std::string name, nlohmann::ordered_json value);
};
