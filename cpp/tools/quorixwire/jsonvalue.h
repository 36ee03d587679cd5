#pragma once

// A small JSON value: null, boolean, number, text, array or object. Objects keep their members
// in insertion order so that written bodies follow wire order.

#include <memory>
#include <string>
#include <utility>
#include <vector>

class JsonValue
{
public:
    enum class Kind
    {
        Null,
        Bool,
        Number,
        Text,
        Array,
        Object
    };
    using Member = std::pair<std::string, JsonValue>;

    JsonValue() = default;
    static JsonValue boolean(bool b);
    static JsonValue number(double n);
    static JsonValue text(std::string s);
    static JsonValue array();
    static JsonValue object();

    Kind kind() const { return m_kind; }
    bool asBool() const { return m_bool; }
    double asNumber() const { return m_number; }
    const std::string& asText() const { return m_text; }
    const std::vector<JsonValue>& items() const { return m_items; }
    const std::vector<Member>& members() const { return m_members; }

    void append(JsonValue item) { m_items.push_back(std::move(item)); }
    void insert(std::string key, JsonValue value)
    {
        m_members.emplace_back(std::move(key), std::move(value));
    }
    // The first member with this key, or nullptr.
    const JsonValue* find(const std::string& key) const;

    // Compact one-line form. Text that is not valid UTF-8 is written with U+FFFD in place of
    // each invalid byte.
    std::string write() const;

    static const char* kindName(Kind kind);

private:
    void writeTo(std::string& out) const;

    Kind m_kind = Kind::Null;
    bool m_bool = false;
    double m_number = 0;
    std::string m_text;
    std::vector<JsonValue> m_items;
    std::vector<Member> m_members;
};
