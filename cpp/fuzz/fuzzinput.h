#pragma once

// Reads a fuzz input as a script: small numbers choose operations and their arguments, and
// byte runs become bodies. Reading past the end yields zeros and empty runs, so every input is
// a complete script.

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput
{
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_pos >= m_size; }
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    // A run of at most `max` bytes whose length is read first (u16).
    std::string bytes(std::size_t max);
    // Everything not read yet.
    std::string rest();

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};
