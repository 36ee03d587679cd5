#include "voteservice/web/webresponse.h"

#include <quorix/protocol/jsontext.h>

namespace quorix::service {

WebResponse WebResponse::json(int status, const FrameJson::Json& body)
{
    WebResponse response;
    response.status = status;
    response.body = JsonText::write(body);
    return response;
}

WebResponse WebResponse::error(int status, const std::string& reason, const std::string& field,
                               std::optional<std::uint32_t> result)
{
    WebResponse response;
    response.status = status;
    response.body = FrameJson::error(reason, field, result);
    return response;
}

} // namespace quorix::service
