#include "voteservice/web/securityheaders.h"

namespace quorix::service {

SecurityHeaders::Fields SecurityHeaders::fields(bool tls)
{
    Fields fields = {{"X-Content-Type-Options", "nosniff"},
                     {"Referrer-Policy", "no-referrer"},
                     {"Content-Security-Policy", kDefaultPolicy}};
    if (tls)
        fields.emplace_back("Strict-Transport-Security", "max-age=31536000");
    return fields;
}

std::string SecurityHeaders::lines(bool tls)
{
    std::string text;
    for (const auto& [name, value] : fields(tls))
        text += name + ": " + value + "\r\n";
    return text;
}

} // namespace quorix::service
