#pragma once

// Result codes the service puts into its answers. 0 is success; 2, 3, 4 and 6 are the codes the
// client's start answer table names (3: the shared state cannot be reached), 2 and 3 the shared
// state and "not found" codes of its end answer table. The others are
// this service's own refusals (docs/vote-service.md lists them).

#include <cstdint>

namespace quorix::service {

enum ResultCode : std::uint32_t
{
    kResultOk = 0,
    kResultNotFound = 2,
    kResultEndStorageError = 2,
    kResultEndNotFound = 3,
    kResultStartStorageError = 3,
    kResultAnotherVoteOpen = 4,
    kResultNotManager = 6,
    kResultInvalidRecord = 7,
    kResultVoteOpen = 8,
    kResultIdentityMismatch = 9,
    kResultNotRunning = 10,
    kResultNoTicketsLeft = 11,
    kResultOptionFull = 12,
    kResultNoSuchOption = 13,
    kResultNotAJudge = 14,
    kResultAlreadyScored = 15,
    kResultBadTicketCount = 16,
    kResultMalformed = 17,
    kResultListFull = 18,
    kResultTooManyRequests = 19,
    kResultWrongVoteType = 20,
    kResultStorageUnavailable = 21,
    kResultScopeMissing = 22,
};

// The state of a refused ticket-state answer: neither 0 (numbers valid) nor 2 (full allowance), so
// the client ignores it; the refusal code travels in aux1.
constexpr std::uint32_t kTicketStateRefused = 1;

} // namespace quorix::service
