#pragma once

// Message-level marshalling: the wire size of a value, encoding a message body and decoding one
// as far as it goes. The one header to include for the vote messages' codec.

#include <quorix/protocol/onepasswriter.h>

namespace mpak {

// The bytes a value takes on the wire, without encoding it when its type allows. Throws the
// PackError encoding would.
template <class T> std::size_t wireSize(const T& value);

// Appends a message body to `out`; on PackError `out` is unchanged.
template <class Message> void encodeTo(std::string& out, const Message& message);

// Encodes a message body: all fields in wire order into a fresh string. PackError is not caught.
template <class Message> std::string encode(const Message& message)
{
    std::string out;
    encodeTo(out, message);
    return out;
}

template <class Message> void encodeTo(std::string& out, const Message& message)
{
    if constexpr (isDirect<Message>) {
        detail::append_direct(out, message, 0);
    } else {
        PackBuffer buffer;
        Pack pack(buffer, 0);
        pack << message;
        out.append(pack.data(), pack.size());
    }
}

template <class T> std::size_t wireSize(const T& value)
{
    if constexpr (isDirect<T>) {
        std::size_t total = 0;
        detail::DirectWire<T>::measure(total, value);
        if (total > kMaxPackBytes)
            throw PackError("append buffer overflow");
        return total;
    } else {
        return encode(value).size();
    }
}

// Decodes a message body as far as it goes. A short body is not an error: decoding stops at the
// first field that does not fit, earlier fields keep their values, later ones their defaults.
// Returns true when every field was read.
template <class Message> bool decode(const std::string& data, Message& message)
{
    Unpack up(data);
    try {
        up >> message;
        return true;
    } catch (const UnpackError&) {
        return false;
    }
}

} // namespace mpak
