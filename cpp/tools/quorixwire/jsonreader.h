#pragma once

// Reads one JSON document into a JsonValue. Bounded: nesting deeper than kMaxDepth and texts
// with unpaired surrogates or raw control characters are refused with a message naming the
// byte offset.

#include "jsonvalue.h"

#include <cstddef>
#include <string>

class JsonReader
{
public:
    static constexpr int kMaxDepth = 64;

    explicit JsonReader(std::string input);

    // Returns false and sets error() when the input is not exactly one JSON value.
    bool parse(JsonValue& out);
    const std::string& error() const { return m_error; }

private:
    JsonValue parseValue(int depth);
    JsonValue parseObject(int depth);
    JsonValue parseArray(int depth);
    JsonValue parseNumber();
    std::string parseText();
    std::uint32_t parseHex4();
    void appendUtf8(std::uint32_t cp, std::string& out);
    void expectWord(const char* word);
    void skipSpace();
    char peek() const;
    [[noreturn]] void fail(const std::string& what) const;

    const std::string m_input;
    std::size_t m_pos = 0;
    std::string m_error;
};
