#pragma once

// What the web face answers a plain request with.

#include "framejson.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quorix::service {

struct WebResponse
{
    static constexpr const char* kJson = "application/json";

    int status = 200;
    std::string contentType = kJson;
    std::string body;
    std::string allow; // 405: the method the path takes

    static WebResponse json(int status, const FrameJson::Json& body);
    static WebResponse error(int status, const std::string& reason, const std::string& field = {},
                             std::optional<std::uint32_t> result = std::nullopt);
};

} // namespace quorix::service
