#include "fuzz/fuzzinput.h"

#include <algorithm>

std::uint8_t FuzzInput::u8()
{
    return m_pos < m_size ? m_data[m_pos++] : 0;
}

std::uint16_t FuzzInput::u16()
{
    const std::uint16_t low = u8();
    return static_cast<std::uint16_t>(low | (u8() << 8));
}

std::uint32_t FuzzInput::u32()
{
    const std::uint32_t low = u16();
    return low | (std::uint32_t(u16()) << 16);
}

std::string FuzzInput::bytes(std::size_t max)
{
    const std::size_t wanted = std::min<std::size_t>(u16(), max);
    const std::size_t n = std::min(wanted, m_size - std::min(m_pos, m_size));
    std::string out(reinterpret_cast<const char*>(m_data) + m_pos, n);
    m_pos += n;
    return out;
}

std::string FuzzInput::rest()
{
    const std::size_t from = std::min(m_pos, m_size);
    m_pos = m_size;
    return std::string(reinterpret_cast<const char*>(m_data) + from, m_size - from);
}
