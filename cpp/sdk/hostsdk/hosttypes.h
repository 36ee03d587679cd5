#pragma once

// Plain types shared by the host interfaces.

#include <cstdint>

using UINT32 = std::uint32_t;

// Fills an unused position of an interface's table so later operations keep their positions.
// Implementations need not override it.
#define HOSTSDK_RESERVED(position)                                                                           \
    virtual void reservedOperation##position() {}
