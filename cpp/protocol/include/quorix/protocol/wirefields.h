#pragma once

// Declares the wire form of a record or message body from its field list, in wire order:
// marshal/unmarshal, equality, tie() for generic access, and the field names as one text
// ("a, b, c") for tools that show bodies by name. WireFieldsTag tells the codec that the record is
// exactly its fields, so it may size and write the record in one go.

#include <quorix/protocol/mpak.h>

#include <tuple>

#define QUORIX_WIRE_FIELDS(Type, ...)                                                                        \
    using WireFieldsTag = void;                                                                              \
    void marshal(mpak::Pack& p) const                                                                        \
    {                                                                                                        \
        quorix::detail::packRecord(p, *this, __VA_ARGS__);                                                   \
    }                                                                                                        \
    void unmarshal(mpak::Unpack& up)                                                                         \
    {                                                                                                        \
        quorix::detail::unpackAll(up, __VA_ARGS__);                                                          \
    }                                                                                                        \
    auto tie() const                                                                                         \
    {                                                                                                        \
        return std::tie(__VA_ARGS__);                                                                        \
    }                                                                                                        \
    auto tie()                                                                                               \
    {                                                                                                        \
        return std::tie(__VA_ARGS__);                                                                        \
    }                                                                                                        \
    static constexpr const char* fieldNames()                                                                \
    {                                                                                                        \
        return #__VA_ARGS__;                                                                                 \
    }                                                                                                        \
    bool operator==(const Type& o) const                                                                     \
    {                                                                                                        \
        return tie() == o.tie();                                                                             \
    }                                                                                                        \
    bool operator!=(const Type& o) const                                                                     \
    {                                                                                                        \
        return !(*this == o);                                                                                \
    }

namespace quorix::detail {

template <class Record, class... F> void packRecord(mpak::Pack& p, const Record& record, const F&... fields)
{
    if constexpr (mpak::isDirect<Record>)
        p.push_direct(record);
    else
        (p << ... << fields);
}

template <class... F> void unpackAll(mpak::Unpack& up, F&... fields)
{
    (up >> ... >> fields);
}

} // namespace quorix::detail
