#pragma once

// What the web face answers a plain request with.

#include "voteservice/web/framejson.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorix::service {

struct WebResponse
{
    static constexpr const char* kJson = "application/json";

    int status = 200;
    std::string contentType = kJson;
    std::string body;
    std::string allow; // 405: the method the path takes
    // Further headers, set after the defaults (a page's own Cache-Control replaces "no-store").
    std::vector<std::pair<std::string, std::string>> headers;

    static WebResponse json(int status, const FrameJson::Json& body);
    static WebResponse error(int status, const std::string& reason, const std::string& field = {},
                             std::optional<std::uint32_t> result = std::nullopt);
};

} // namespace quorix::service
