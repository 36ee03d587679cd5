#include "voteservice/web/webhookrequestbody.h"

namespace quorix::service {

std::optional<WebhookRequestBody::Webhook> WebhookRequestBody::read(const std::string& body,
                                                                    VoteRequestBody::Refusal& refusal)
{
    const auto json = VoteRequestBody::object(body, refusal);
    if (!json)
        return std::nullopt;
    Webhook webhook;
    for (const auto& [name, value] : json->items()) {
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
    if (!json->contains("url")) {
        refusal = {"url is missing", "url"};
        return std::nullopt;
    }
    return webhook;
}

} // namespace quorix::service
