#pragma once

#include <string>

namespace quorix::service {

// One line per event on standard error: UTC time, then the text.
class ServiceLog
{
public:
    static void line(const std::string& text);
};

} // namespace quorix::service
