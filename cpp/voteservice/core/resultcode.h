#pragma once

// Result codes the service puts into its answers. 0 is success; 2, 3, 4 and 6 are the codes the
// client's start answer table names (3: the shared state cannot be reached), 2 and 3 the shared
// state and "not found" codes of its end answer table. The others are
// this service's own refusals (docs/vote-service.md lists them).
//
// This list is the one source of the codes: the web pages' words for them
// (web/assets/shared/resultwords.js) are checked against it by the web parsing test.

#include <cstdint>

namespace quorix::service {

// X(name, code, a few English words for the web face; nullptr where they depend on the request)
#define QUORIX_RESULT_CODES(X)                                                                               \
    X(kResultOk, 0, "ok")                                                                                    \
    X(kResultNotFound, 2, nullptr)                                                                           \
    X(kResultEndStorageError, 2, nullptr)                                                                    \
    X(kResultEndNotFound, 3, nullptr)                                                                        \
    X(kResultStartStorageError, 3, nullptr)                                                                  \
    X(kResultAnotherVoteOpen, 4, "another vote is open here")                                                \
    X(kResultNotManager, 6, "not a manager")                                                                 \
    X(kResultInvalidRecord, 7, "invalid vote record")                                                        \
    X(kResultVoteOpen, 8, "the vote is open")                                                                \
    X(kResultIdentityMismatch, 9, "identity mismatch")                                                       \
    X(kResultNotRunning, 10, "the vote is not running")                                                      \
    X(kResultNoTicketsLeft, 11, "no tickets left")                                                           \
    X(kResultOptionFull, 12, "option has all the tickets it may get")                                        \
    X(kResultNoSuchOption, 13, "no such option")                                                             \
    X(kResultNotAJudge, 14, "not a judge of this vote")                                                      \
    X(kResultAlreadyScored, 15, "already scored")                                                            \
    X(kResultBadTicketCount, 16, "bad ticket count or score")                                                \
    X(kResultMalformed, 17, "malformed request")                                                             \
    X(kResultListFull, 18, "vote list full")                                                                 \
    X(kResultTooManyRequests, 19, "too many requests")                                                       \
    X(kResultWrongVoteType, 20, "wrong vote type")                                                           \
    X(kResultStorageUnavailable, 21, "storage unavailable")                                                  \
    X(kResultScopeMissing, 22, "the token lacks the scope this needs")                                       \
    X(kResultStartTimePassed, 23, "the start time has passed")                                               \
    X(kResultStartTimeTooFar, 24, "the start time is too far ahead")                                         \
    X(kResultNoSchedule, 25, "the vote has no scheduled start")

enum ResultCode : std::uint32_t
{
#define QUORIX_RESULT_CODE_ENUM(Name, Code, Words) Name = Code,
    QUORIX_RESULT_CODES(QUORIX_RESULT_CODE_ENUM)
#undef QUORIX_RESULT_CODE_ENUM
};

struct ResultCodeRow
{
    std::uint32_t code;
    const char* words;
};

// Every row of the list, aliases included, in code order.
constexpr ResultCodeRow kResultCodes[] = {
#define QUORIX_RESULT_CODE_ROW(Name, Code, Words) {Code, Words},
    QUORIX_RESULT_CODES(QUORIX_RESULT_CODE_ROW)
#undef QUORIX_RESULT_CODE_ROW
};

#undef QUORIX_RESULT_CODES

// The state of a refused ticket-state answer: neither 0 (numbers valid) nor 2 (full allowance), so
// the client ignores it; the refusal code travels in aux1.
constexpr std::uint32_t kTicketStateRefused = 1;

} // namespace quorix::service
