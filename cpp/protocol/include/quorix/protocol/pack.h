#pragma once

// Marshalling primitives shared by the add-on, the vote service and the tools: errors, limits,
// the growable output buffer and the writer over it. Qt-free. Little-endian, no alignment, no padding, no
// type tags:
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

} // namespace mpak
