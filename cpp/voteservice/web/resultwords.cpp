#include "resultwords.h"

#include "resultcode.h"

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
    if (code == kResultOk)
        return "ok";
    if (isNotFound(requestType, code))
        return "no such vote";
    if (isStorageFailure(requestType, code))
        return "storage unavailable";
    switch (code) {
    case kResultAnotherVoteOpen:
        return "another vote is open here";
    case kResultNotManager:
        return "not a manager";
    case kResultInvalidRecord:
        return "invalid vote record";
    case kResultVoteOpen:
        return "the vote is open";
    case kResultIdentityMismatch:
        return "identity mismatch";
    case kResultNotRunning:
        return "the vote is not running";
    case kResultNoTicketsLeft:
        return "no tickets left";
    case kResultOptionFull:
        return "option has all the tickets it may get";
    case kResultNoSuchOption:
        return "no such option";
    case kResultNotAJudge:
        return "not a judge of this vote";
    case kResultAlreadyScored:
        return "already scored";
    case kResultBadTicketCount:
        return "bad ticket count or score";
    case kResultMalformed:
        return "malformed request";
    case kResultListFull:
        return "vote list full";
    case kResultTooManyRequests:
        return "too many requests";
    case kResultWrongVoteType:
        return "wrong vote type";
    case kResultScopeMissing:
        return "the token lacks the scope this needs";
    default:
        return "refused";
    }
}

int ResultWords::httpStatus(std::uint32_t requestType, std::uint32_t code)
{
    if (code == kResultOk)
        return 200;
    if (isNotFound(requestType, code))
        return 404;
    if (isStorageFailure(requestType, code))
        return 503;
    if (code == kResultNotManager || code == kResultScopeMissing)
        return 403;
    if (code == kResultTooManyRequests)
        return 429;
    return 409;
}

} // namespace quorix::service
