#pragma once

// The core's result codes (resultcode.h) in words and as HTTP statuses for the web face.

#include <cstdint>

namespace quorix::service {

class ResultWords
{
public:
    // A few English words for a result of the answer to the request of minor type requestType.
    static const char* words(std::uint32_t requestType, std::uint32_t code);
    // The HTTP status of a management answer: 200 for 0, 403 not a manager, 404 unknown vote,
    // 429 flood control, 503 storage unavailable, 409 any other refusal.
    static int httpStatus(std::uint32_t requestType, std::uint32_t code);
};

} // namespace quorix::service
