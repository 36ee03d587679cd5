#pragma once

// Marshalling primitives shared by the add-on, the vote service and the tools.
// Qt-free. Little-endian, no alignment, no padding, no type tags:
//   u16, u32, varstr (u16 byte count + bytes), map/set and sequence (u32 count + elements).
// Packing and unpacking are the only places in the system that throw (PackError, UnpackError).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

// Keeps a rarely taken path out of line so the fast path around it stays small enough to inline.
#if defined(__GNUC__) || defined(__clang__)
#define MPAK_NOINLINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define MPAK_NOINLINE __declspec(noinline)
#else
#define MPAK_NOINLINE
#endif

namespace mpak {

class PacketError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class PackError : public PacketError
{
public:
    using PacketError::PacketError;
};

class UnpackError : public PacketError
{
public:
    using PacketError::PacketError;
};

constexpr std::size_t kBlockSize = 16384;
constexpr std::size_t kMaxBlocks = 65536;
constexpr std::size_t kMaxVarstr = 65535;
constexpr std::size_t kMaxPackBytes = kBlockSize * kMaxBlocks;

namespace detail {
template <class T, class = void> struct DirectWire;
template <class T> void append_direct(std::string& s, const T& value, std::size_t before);
} // namespace detail

// Growable output area. Capacity is always a whole number of 16 KiB blocks, at most
// 65536 blocks (1 GiB). A refused growth leaves contents and capacity unchanged.
class PackBuffer
{
public:
    PackBuffer() = default;
    ~PackBuffer() { release(); }
    PackBuffer(const PackBuffer&) = delete;
    PackBuffer& operator=(const PackBuffer&) = delete;
    PackBuffer(PackBuffer&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
          m_blocks(std::exchange(other.m_blocks, 0))
    {}
    PackBuffer& operator=(PackBuffer&& other) noexcept
    {
        if (this != &other) {
            release();
            m_data = std::exchange(other.m_data, nullptr);
            m_size = std::exchange(other.m_size, 0);
            m_blocks = std::exchange(other.m_blocks, 0);
        }
        return *this;
    }

    const char* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    std::size_t blocks() const { return m_blocks; }
    std::size_t capacity() const { return m_blocks * kBlockSize; }

    // Grows or shrinks the bytes in use; new bytes are set to `fill`. Shrinking keeps the storage.
    bool resize(std::size_t n, char fill = 0)
    {
        if (n <= m_size) {
            m_size = n;
            return true;
        }
        const std::size_t extra = n - m_size;
        if (!grow(extra))
            return false;
        std::memset(m_data + m_size, fill, extra);
        m_size = n;
        return true;
    }

    bool append(const void* bytes, std::size_t n)
    {
        if (n == 0)
            return true;
        if (!grow(n))
            return false;
        std::memcpy(m_data + m_size, bytes, n);
        m_size += n;
        return true;
    }

    // Adds n bytes to the data in use and returns where they start, or nullptr when the buffer
    // cannot grow; the caller fills them. The fast path of small fixed-size writes.
    char* extend(std::size_t n)
    {
        if (!grow(n))
            return nullptr;
        char* tail = m_data + m_size;
        m_size += n;
        return tail;
    }

    void release()
    {
        std::free(m_data);
        m_data = nullptr;
        m_size = 0;
        m_blocks = 0;
    }

private:
    // Makes room for n more bytes, growing to the smallest whole number of blocks that holds them.
    bool grow(std::size_t n)
    {
        const std::size_t room = capacity() - m_size;
        return room >= n || growBlocks(n - room);
    }

    // The slow path of grow: allocates the new area and moves the data in use into it.
    bool growBlocks(std::size_t missing)
    {
        const std::size_t moreBlocks = missing / kBlockSize + (missing % kBlockSize != 0 ? 1 : 0);
        if (moreBlocks > kMaxBlocks - m_blocks)
            return false;
        const std::size_t needed = m_blocks + moreBlocks;
        char* area = static_cast<char*>(std::malloc(needed * kBlockSize));
        if (area == nullptr)
            return false;
        if (m_size != 0)
            std::memcpy(area, m_data, m_size);
        std::free(m_data);
        m_data = area;
        m_blocks = needed;
        return true;
    }

    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_blocks = 0;
};

// Writer over a PackBuffer it does not own. Its output is the range [begin, buffer end).
class Pack
{
public:
    explicit Pack(PackBuffer& buffer, std::size_t offset = 0)
        : m_buffer(buffer), m_begin(buffer.size() + offset)
    {
        // An offset beyond the ceiling is refused before the sum above can wrap around and
        // shrink the buffer instead.
        if (offset > kMaxPackBytes || !m_buffer.resize(m_begin))
            throw PackError("resize buffer overflow");
    }

    Pack& push(const void* bytes, std::size_t n)
    {
        if (!m_buffer.append(bytes, n))
            throw PackError("append buffer overflow");
        return *this;
    }
    Pack& push_uint16(std::uint16_t v)
    {
        char* p = tail(2);
        p[0] = static_cast<char>(v);
        p[1] = static_cast<char>(v >> 8);
        return *this;
    }
    Pack& push_uint32(std::uint32_t v)
    {
        char* p = tail(4);
        p[0] = static_cast<char>(v);
        p[1] = static_cast<char>(v >> 8);
        p[2] = static_cast<char>(v >> 16);
        p[3] = static_cast<char>(v >> 24);
        return *this;
    }
    Pack& push_varstr(const void* bytes, std::size_t n)
    {
        if (n > kMaxVarstr)
            throw PackError("push_varstr: varstr too big");
        push_uint16(static_cast<std::uint16_t>(n));
        return push(bytes, n);
    }
    Pack& push_varstr(const std::string& s) { return push_varstr(s.data(), s.size()); }

    // Writes a value of a type the one-pass writer knows (see detail::DirectWire) whole. A refused
    // value writes nothing; it fails with the error the field-by-field writer would have met first.
    template <class T> Pack& push_direct(const T& value)
    {
        std::string bytes;
        detail::append_direct(bytes, value, m_buffer.size());
        return push(bytes.data(), bytes.size());
    }

    const char* data() const { return m_buffer.data() + m_begin; }
    std::size_t size() const { return m_buffer.size() - m_begin; }
    std::string str() const { return std::string(data(), size()); }

private:
    char* tail(std::size_t n)
    {
        char* p = m_buffer.extend(n);
        if (p == nullptr)
            throw PackError("append buffer overflow");
        return p;
    }

    PackBuffer& m_buffer;
    std::size_t m_begin;
};

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

// ---- one-pass writing -----------------------------------------------------------------------------

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

// ---- message level ------------------------------------------------------------------------------

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
