#pragma once

// The one-pass writer: values whose whole shape is known at compile time are appended to a
// string in one pass, without the field-by-field Pack.

#include <quorix/protocol/unpack.h>

namespace mpak {

namespace detail {

inline char* put_uint16(char* out, std::uint16_t v)
{
    out[0] = static_cast<char>(v);
    out[1] = static_cast<char>(v >> 8);
    return out + 2;
}

inline char* put_uint32(char* out, std::uint32_t v)
{
    out[0] = static_cast<char>(v);
    out[1] = static_cast<char>(v >> 8);
    out[2] = static_cast<char>(v >> 16);
    out[3] = static_cast<char>(v >> 24);
    return out + 4;
}

// Copies n bytes. Texts on the wire are mostly short, and two overlapping fixed-size copies of
// one length class are cheaper than a call into the library for them.
inline void copy_bytes(char* out, const char* in, std::size_t n)
{
    if (n >= 8 && n <= 16) {
        std::memcpy(out, in, 8);
        std::memcpy(out + n - 8, in + n - 8, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(out, in, 4);
        std::memcpy(out + n - 4, in + n - 4, 4);
    } else {
        std::memcpy(out, in, n);
    }
}

// A text too long for its u16 count. The field-by-field writer meets the buffer ceiling first
// when the bytes before the text already pass it, so that error wins then.
[[noreturn]] inline void throw_too_long(std::size_t total)
{
    if (total > kMaxPackBytes)
        throw PackError("append buffer overflow");
    throw PackError("push_varstr: varstr too big");
}

// The output of the one-pass writer: the value's bytes go into a string from `start` on, which
// grows as the writer asks for room. `before` counts bytes already in the caller's buffer, which
// share its ceiling. On an exception the caller cuts the string back to `start`.
class StringOut
{
public:
    StringOut(std::string& s, std::size_t hint, std::size_t before = 0)
        : m_s(s), m_start(s.size()), m_before(before)
    {
        resize(m_start + hint);
    }

    char* begin() { return &m_s[m_start]; }

    // Where n more bytes can be written from p on: p itself unless the string has to grow.
    char* fit(char* p, std::size_t n)
    {
        if (static_cast<std::size_t>(m_end - p) < n)
            return grow(p, n);
        return p;
    }

    [[noreturn]] MPAK_NOINLINE void tooLong(const char* p) const { throw_too_long(m_before + written(p)); }

    // Ends the output at p.
    void finish(const char* p) { m_s.resize(m_start + written(p)); }

private:
    std::size_t written(const char* p) const { return static_cast<std::size_t>(p - m_s.data()) - m_start; }

    MPAK_NOINLINE char* grow(char* p, std::size_t n)
    {
        const std::size_t used = written(p);
        if (m_before + used + n > kMaxPackBytes)
            throw PackError("append buffer overflow");
        resize(m_start + std::max(used + n, 2 * (m_s.size() - m_start)));
        return begin() + used;
    }

    void resize(std::size_t size)
    {
        try {
            m_s.resize(size);
        } catch (const std::bad_alloc&) {
            throw PackError("append buffer overflow");
        }
        m_end = &m_s[0] + m_s.size();
    }

    std::string& m_s;
    std::size_t m_start;
    std::size_t m_before;
    char* m_end = nullptr;
};

// The guess adds this much for each variable element of a container; the room asked for up front
// stays within kMaxSizeHint, as large bodies are rare and grow by doubling from there.
constexpr std::size_t kGuessPerElement = 24;
constexpr std::size_t kMaxSizeHint = 65536;

// Values the one-pass writer knows whole: u16, u32, texts, maps and sequences of them, and records
// declared with QUORIX_WIRE_FIELDS made only of such fields. kDirect says
// whether T is one; kFixed is its size when every value of T takes the same bytes, else 0.
// measure adds the size to a running total (throwing what the writer would); write puts the value
// at p, asking `out` for room, and returns where it ended.
template <class T, class> struct DirectWire
{
    static constexpr bool kDirect = false;
    static constexpr std::size_t kFixed = 0;
};

template <> struct DirectWire<std::uint16_t>
{
    static constexpr bool kDirect = true;
    static constexpr std::size_t kFixed = 2;
    static void measure(std::size_t& total, std::uint16_t) { total += 2; }
    static std::size_t estimate(std::uint16_t) { return 2; }
    static char* write(char* p, StringOut& out, std::uint16_t v) { return put_uint16(out.fit(p, 2), v); }
};

template <> struct DirectWire<std::uint32_t>
{
    static constexpr bool kDirect = true;
    static constexpr std::size_t kFixed = 4;
    static void measure(std::size_t& total, std::uint32_t) { total += 4; }
    static std::size_t estimate(std::uint32_t) { return 4; }
    static char* write(char* p, StringOut& out, std::uint32_t v) { return put_uint32(out.fit(p, 4), v); }
};

template <> struct DirectWire<std::string>
{
    static constexpr bool kDirect = true;
    static constexpr std::size_t kFixed = 0;
    static void measure(std::size_t& total, const std::string& s)
    {
        if (s.size() > kMaxVarstr)
            throw_too_long(total);
        total += 2 + s.size();
    }
    static std::size_t estimate(const std::string& s) { return 2 + s.size(); }
    static char* write(char* p, StringOut& out, const std::string& s)
    {
        if (s.size() > kMaxVarstr)
            out.tooLong(p);
        p = put_uint16(out.fit(p, 2 + s.size()), static_cast<std::uint16_t>(s.size()));
        copy_bytes(p, s.data(), s.size());
        return p + s.size();
    }
};

// Maps and sequences: a u32 count, then the elements (a map's in ascending key order).
template <class Container, class... Elements> struct DirectContainer
{
    static constexpr bool kDirect = (DirectWire<Elements>::kDirect && ...);
    static constexpr bool kAllFixed = ((DirectWire<Elements>::kFixed != 0) && ...);
    static constexpr std::size_t kElement = kAllFixed ? (DirectWire<Elements>::kFixed + ...) : 0;
    static constexpr std::size_t kFixed = 0;

    static void measure(std::size_t& total, const Container& c)
    {
        total += 4;
        if constexpr (kAllFixed) {
            total += c.size() * kElement;
        } else {
            for (const auto& element : c)
                measureElement(total, element);
        }
    }
    // Without visiting the elements: each variable one is guessed at its fewest bytes and a few more.
    static std::size_t estimate(const Container& c)
    {
        if constexpr (kAllFixed)
            return 4 + c.size() * kElement;
        else
            return 4 + c.size() * ((wireMinSize<Elements>() + ...) + kGuessPerElement);
    }
    static char* write(char* p, StringOut& out, const Container& c)
    {
        p = put_uint32(out.fit(p, 4), static_cast<std::uint32_t>(c.size()));
        for (const auto& element : c)
            p = writeElement(p, out, element);
        return p;
    }

private:
    template <class K, class V> static void measureElement(std::size_t& total, const std::pair<const K, V>& e)
    {
        DirectWire<K>::measure(total, e.first);
        DirectWire<V>::measure(total, e.second);
    }
    template <class T> static void measureElement(std::size_t& total, const T& item)
    {
        DirectWire<T>::measure(total, item);
    }
    template <class K, class V>
    static char* writeElement(char* p, StringOut& out, const std::pair<const K, V>& e)
    {
        return DirectWire<V>::write(DirectWire<K>::write(p, out, e.first), out, e.second);
    }
    template <class T> static char* writeElement(char* p, StringOut& out, const T& item)
    {
        return DirectWire<T>::write(p, out, item);
    }
};

template <class K, class V> struct DirectWire<std::map<K, V>> : DirectContainer<std::map<K, V>, K, V>
{
};

template <class T> struct DirectWire<std::vector<T>> : DirectContainer<std::vector<T>, T>
{
};

template <class Tuple> struct DirectFields;
template <class... Fields> struct DirectFields<std::tuple<Fields...>>
{
    static constexpr bool kDirect = (DirectWire<std::decay_t<Fields>>::kDirect && ...);
    static constexpr bool kAllFixed = ((DirectWire<std::decay_t<Fields>>::kFixed != 0) && ...);
    static constexpr std::size_t kFixed = kAllFixed ? (DirectWire<std::decay_t<Fields>>::kFixed + ...) : 0;
};

// Records: their fields in declaration order.
template <class T> struct DirectWire<T, std::void_t<typename T::WireFieldsTag>>
{
    using Fields = DirectFields<decltype(std::declval<const T&>().tie())>;
    static constexpr bool kDirect = Fields::kDirect;
    static constexpr std::size_t kFixed = Fields::kFixed;

    static void measure(std::size_t& total, const T& record)
    {
        if constexpr (kFixed != 0) {
            total += kFixed;
        } else {
            std::apply(
                [&total](const auto&... field) {
                    (DirectWire<std::decay_t<decltype(field)>>::measure(total, field), ...);
                },
                record.tie());
        }
    }
    static std::size_t estimate(const T& record)
    {
        if constexpr (kFixed != 0) {
            return kFixed;
        } else {
            return std::apply(
                [](const auto&... field) {
                    return (DirectWire<std::decay_t<decltype(field)>>::estimate(field) + ...);
                },
                record.tie());
        }
    }
    static char* write(char* p, StringOut& out, const T& record)
    {
        std::apply(
            [&p, &out](const auto&... field) {
                ((p = DirectWire<std::decay_t<decltype(field)>>::write(p, out, field)), ...);
            },
            record.tie());
        return p;
    }
};

// Appends value to s in one pass; on PackError s is unchanged.
template <class T> void append_direct(std::string& s, const T& value, std::size_t before)
{
    const std::size_t start = s.size();
    try {
        StringOut out(s, std::min(DirectWire<T>::estimate(value), kMaxSizeHint), before);
        out.finish(DirectWire<T>::write(out.begin(), out, value));
    } catch (const PackError&) {
        s.resize(start);
        throw;
    }
}

} // namespace detail

template <class T> constexpr bool isDirect = detail::DirectWire<T>::kDirect;

} // namespace mpak
