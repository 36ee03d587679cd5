#pragma once

// The reader over received bytes, and how each wire value (u16, u32, texts, records, maps and
// sequences) is written to a Pack and read from an Unpack.

#include <quorix/protocol/pack.h>

namespace mpak {

// Reader over bytes it does not own. A failing read leaves the position unchanged.
class Unpack
{
public:
    Unpack(const void* data, std::size_t size) : m_data(static_cast<const unsigned char*>(data)), m_size(size)
    {}
    explicit Unpack(const std::string& s) : Unpack(s.data(), s.size()) {}

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const char* data() const { return reinterpret_cast<const char*>(m_data); }

    std::uint16_t pop_uint16()
    {
        if (m_size < 2)
            throw UnpackError("pop_uint16: not enough data");
        const std::uint16_t v = static_cast<std::uint16_t>(m_data[0] | (m_data[1] << 8));
        advance(2);
        return v;
    }
    std::uint32_t pop_uint32()
    {
        if (m_size < 4)
            throw UnpackError("pop_uint32: not enough data");
        const std::uint32_t v = std::uint32_t(m_data[0]) | (std::uint32_t(m_data[1]) << 8) |
                                (std::uint32_t(m_data[2]) << 16) | (std::uint32_t(m_data[3]) << 24);
        advance(4);
        return v;
    }
    const char* pop_fetch_ptr(std::size_t n)
    {
        if (m_size < n)
            throw UnpackError("pop_fetch_ptr: not enough data");
        const char* p = data();
        advance(n);
        return p;
    }
    std::string pop_varstr()
    {
        const std::string_view text = pop_varstr_view();
        return std::string(text.data(), text.size());
    }
    // The text's bytes where they lie, valid as long as the data read.
    std::string_view pop_varstr_view()
    {
        if (m_size < 2)
            throw UnpackError("pop_uint16: not enough data");
        const std::size_t n = std::size_t(m_data[0]) | (std::size_t(m_data[1]) << 8);
        if (m_size - 2 < n)
            throw UnpackError("pop_fetch_ptr: not enough data");
        const std::string_view text(data() + 2, n);
        advance(2 + n);
        return text;
    }

private:
    void advance(std::size_t n)
    {
        m_data += n;
        m_size -= n;
    }

    const unsigned char* m_data;
    std::size_t m_size;
};

// ---- value encodings ----------------------------------------------------------------------------

inline Pack& operator<<(Pack& p, std::uint32_t v)
{
    return p.push_uint32(v);
}
inline Pack& operator<<(Pack& p, std::uint16_t v)
{
    return p.push_uint16(v);
}
inline Pack& operator<<(Pack& p, const std::string& s)
{
    return p.push_varstr(s);
}

// Records encode themselves with `void marshal(Pack&) const`.
template <class T> auto operator<<(Pack& p, const T& record) -> decltype(record.marshal(p), p)
{
    record.marshal(p);
    return p;
}

template <class K, class V> Pack& operator<<(Pack& p, const std::map<K, V>& m)
{
    if constexpr (detail::DirectWire<std::map<K, V>>::kDirect) {
        p.push_direct(m);
    } else {
        p.push_uint32(static_cast<std::uint32_t>(m.size()));
        for (const auto& [key, value] : m)
            p << key << value;
    }
    return p;
}

template <class T> Pack& operator<<(Pack& p, const std::vector<T>& seq)
{
    if constexpr (detail::DirectWire<std::vector<T>>::kDirect) {
        p.push_direct(seq);
    } else {
        p.push_uint32(static_cast<std::uint32_t>(seq.size()));
        for (const auto& item : seq)
            p << item;
    }
    return p;
}

inline Unpack& operator>>(Unpack& up, std::uint32_t& v)
{
    v = up.pop_uint32();
    return up;
}
inline Unpack& operator>>(Unpack& up, std::uint16_t& v)
{
    v = up.pop_uint16();
    return up;
}
inline Unpack& operator>>(Unpack& up, std::string& s)
{
    const std::string_view text = up.pop_varstr_view();
    s.assign(text.data(), text.size());
    return up;
}

// Records decode themselves field by field with `void unmarshal(Unpack&)`: a short record keeps
// the fields read before the failure.
template <class T> auto operator>>(Unpack& up, T& record) -> decltype(record.unmarshal(up), up)
{
    record.unmarshal(up);
    return up;
}

namespace detail {

// The fewest bytes a value of type T takes on the wire: 4 for a u32, 2 for a u16 or an empty
// text, 4 for an empty container, the sum of its fields for a record. Types it does not know
// count as one byte, which still bounds a count by the bytes left.
template <class T, class = void> struct WireMin
{
    static constexpr std::size_t value = 1;
};
template <> struct WireMin<std::uint32_t>
{
    static constexpr std::size_t value = 4;
};
template <> struct WireMin<std::uint16_t>
{
    static constexpr std::size_t value = 2;
};
template <> struct WireMin<std::string>
{
    static constexpr std::size_t value = 2;
};
template <class K, class V> struct WireMin<std::map<K, V>>
{
    static constexpr std::size_t value = 4;
};
template <class T> struct WireMin<std::vector<T>>
{
    static constexpr std::size_t value = 4;
};
template <class Tuple> struct TupleWireMin;
template <class... Fields> struct TupleWireMin<std::tuple<Fields...>>
{
    static constexpr std::size_t value = (WireMin<std::decay_t<Fields>>::value + ... + 0);
};
template <class T> struct WireMin<T, std::void_t<decltype(std::declval<const T&>().tie())>>
{
    static constexpr std::size_t value = TupleWireMin<decltype(std::declval<const T&>().tie())>::value;
};

// A count of elements that the bytes left cannot hold, each taking at least `elementMin`
// bytes, is refused up front, before anything is allocated for it.
inline std::uint32_t pop_count(Unpack& up, std::size_t elementMin)
{
    const Unpack saved = up;
    const std::uint32_t count = up.pop_uint32();
    if (count > up.size() / elementMin) {
        up = saved;
        throw UnpackError("pop_fetch_ptr: not enough data");
    }
    return count;
}

} // namespace detail

// The fewest bytes a value of type T takes on the wire.
template <class T> constexpr std::size_t wireMinSize()
{
    return detail::WireMin<T>::value;
}

namespace detail {

// Reads a record or container value straight into a new node for `key`. A key already present
// keeps its first value; the repeated value is read and dropped.
template <class K, class V> void pop_value_in_node(Unpack& up, std::map<K, V>& m, K&& key)
{
    const std::size_t before = m.size();
    const auto it = m.emplace_hint(m.end(), std::piecewise_construct, std::forward_as_tuple(std::move(key)),
                                   std::forward_as_tuple());
    if (m.size() != before) {
        up >> it->second;
        return;
    }
    V dropped{};
    up >> dropped;
}

// Reads one map entry into its node: keys that arrive in ascending order, as every writer sends
// them, are placed at the end without a search. A key already present keeps its first value.
template <class K, class V> void pop_entry(Unpack& up, std::map<K, V>& m)
{
    K key{};
    up >> key;
    if constexpr (std::is_same_v<V, std::string>) {
        const std::string_view text = up.pop_varstr_view();
        m.emplace_hint(m.end(), std::piecewise_construct, std::forward_as_tuple(std::move(key)),
                       std::forward_as_tuple(text.data(), text.size()));
    } else if constexpr (std::is_arithmetic_v<V>) {
        V value{};
        up >> value;
        m.emplace_hint(m.end(), std::move(key), value);
    } else {
        pop_value_in_node(up, m, std::move(key));
    }
}

} // namespace detail

// A container is decoded whole or not at all: on failure the target and the position are unchanged.
// For a map, a key already present keeps its first value.
template <class K, class V> Unpack& operator>>(Unpack& up, std::map<K, V>& m)
{
    const Unpack saved = up;
    try {
        std::map<K, V> decoded;
        for (std::uint32_t n = detail::pop_count(up, wireMinSize<K>() + wireMinSize<V>()); n > 0; --n)
            detail::pop_entry(up, decoded);
        m = std::move(decoded);
    } catch (const UnpackError&) {
        up = saved;
        throw;
    }
    return up;
}

template <class T> Unpack& operator>>(Unpack& up, std::vector<T>& seq)
{
    const Unpack saved = up;
    try {
        std::vector<T> decoded;
        for (std::uint32_t n = detail::pop_count(up, wireMinSize<T>()); n > 0; --n)
            up >> decoded.emplace_back();
        seq = std::move(decoded);
    } catch (const UnpackError&) {
        up = saved;
        throw;
    }
    return up;
}

} // namespace mpak
