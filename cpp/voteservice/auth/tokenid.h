#pragma once

// A fresh `jti`: 128 random bits from the system's generator as 32 hex digits; empty in the
// unlikely case that the generator has none to give (an id that could repeat is no id).

#include <string>

namespace quorix::service {

std::string randomTokenId();

} // namespace quorix::service
