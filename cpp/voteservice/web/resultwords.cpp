#include "voteservice/web/resultwords.h"

#include "voteservice/core/resultcode.h"

#include <quorix/protocol/votemessages.h>

namespace quorix::service {

namespace {
// Codes 2 and 3 mean "not found" or "storage" depending on the answer (resultcode.h).
bool isNotFound(std::uint32_t requestType, std::uint32_t code)
{
    if (requestType == VOTE_SYSTEM_END_VOTE_REQ)
        return code == kResultEndNotFound;
    return code == kResultNotFound;
}

bool isStorageFailure(std::uint32_t requestType, std::uint32_t code)
{
    if (code == kResultStorageUnavailable)
        return true;
    if (requestType == VOTE_SYSTEM_START_VOTE_REQ)
        return code == kResultStartStorageError;
    if (requestType == VOTE_SYSTEM_END_VOTE_REQ)
        return code == kResultEndStorageError;
    return false;
}
} // namespace

const char* ResultWords::words(std::uint32_t requestType, std::uint32_t code)
{
    if (isNotFound(requestType, code))
        return "no such vote";
    if (isStorageFailure(requestType, code))
        return "storage unavailable";
    for (const ResultCodeRow& row : kResultCodes)
        if (row.code == code && row.words != nullptr)
            return row.words;
    return "refused";
}

int ResultWords::httpStatus(std::uint32_t requestType, std::uint32_t code)
{
    if (code == kResultOk)
        return 200;
    if (isNotFound(requestType, code) || code == kResultNoSchedule)
        return 404;
    // The start time a schedule asked for is the request's fault.
    if (code == kResultStartTimePassed || code == kResultStartTimeTooFar)
        return 400;
    if (isStorageFailure(requestType, code))
        return 503;
    if (code == kResultNotManager || code == kResultScopeMissing)
        return 403;
    if (code == kResultTooManyRequests)
        return 429;
    return 409;
}

} // namespace quorix::service
