#include "voteservice/web/webhookrequestbody.h"

#include <quorix/protocol/jsontext.h>

namespace quorix::service {

std::optional<WebhookRequestBody::Webhook> WebhookRequestBody::read(const std::string& body,
                                                                    VoteRequestBody::Refusal& refusal)
{
    nlohmann::ordered_json json;
    std::string error;
    if (!JsonText::read(body, json, error)) {
        refusal = {error, "body"};
        return std::nullopt;
    }
    if (!json.is_object()) {
        refusal = {"the body is a JSON object", "body"};
        return std::nullopt;
    }
    Webhook webhook;
    for (const auto& [name, value] : json.items()) {
        if (name == "url" && value.is_string()) {
            webhook.url = value.get<std::string>();
        } else if (name == "progress" && value.is_boolean()) {
            webhook.progress = value.get<bool>();
        } else {
            refusal = {name == "url"        ? "url is a string"
                       : name == "progress" ? "progress is true or false"
                                            : "unknown member " + name,
                       name};
            return std::nullopt;
        }
    }
    if (!json.contains("url")) {
        refusal = {"url is missing", "url"};
        return std::nullopt;
    }
    return webhook;
}

} // namespace quorix::service
