// The vote service core fed arbitrary sessions, moves, request bodies and clock steps. Every
// frame it sends must go to an open session and decode completely as its minor type's answer,
// and every vote it stores must be one the record rules accept.
//
// Input: a script of operations (FuzzInput), each one byte followed by its arguments. Session
// ids, users, channels and roles come from small ranges so that bodies naming the session's own
// place and user are easy to find.

#include "fuzz/checkingsink.h"
#include "fuzz/fuzzclock.h"
#include "fuzz/fuzzinput.h"
#include "voteservice/core/memoryvotestorage.h"
#include "voteservice/core/recordvalidator.h"
#include "voteservice/core/voteservicecore.h"

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

namespace {

using namespace quorix;
using namespace quorix::service;

[[noreturn]] void fault(const char* what)
{
    std::fprintf(stderr, "service core fuzz: %s\n", what);
    std::abort();
}

constexpr std::uint32_t kRoles[] = {255, 230, 200, 175, 150, 100, 25, 20, 0};

SessionIdentity identityFrom(FuzzInput& in)
{
    SessionIdentity identity;
    identity.uid = 1000 + in.u8() % 4;
    identity.imid = 5000 + in.u8() % 4;
    identity.nick = in.bytes(64);
    identity.role = kRoles[in.u8() % (sizeof(kRoles) / sizeof(kRoles[0]))];
    identity.channelId = 10 + in.u8() % 2;
    identity.subChannelId = 20 + in.u8() % 3;
    return identity;
}

void checkStoredVotes(const VoteStorage& storage)
{
    for (std::uint32_t channel = 10; channel <= 11; ++channel)
        for (std::uint32_t sub = 20; sub <= 22; ++sub)
            for (const VoteInfo& vote : storage.votes({channel, sub}))
                if (!RecordValidator::isValid(vote))
                    fault("an invalid vote was stored");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    FuzzClock clock;
    MemoryVoteStorage storage;
    CheckingSink sink(fault);
    CoreOptions options;
    options.maxVotesPerSubChannel = 8;
    VoteServiceCore core(clock, storage, sink, options);

    while (!in.empty()) {
        const std::uint8_t op = in.u8() % 6;
        const SessionId id = in.u8() % 4;
        switch (op) {
        case 0: {
            const SessionIdentity identity = identityFrom(in);
            const bool fresh = sink.open.insert(id).second;
            if (core.openSession(id, identity) != fresh)
                fault("openSession disagrees about whether the id was in use");
            break;
        }
        case 1:
            core.moveSession(id, 20 + in.u8() % 3);
            break;
        case 2:
            core.closeSession(id);
            sink.open.erase(id);
            break;
        case 3:
        case 4: {
            const std::uint32_t minType = in.u8() % 40;
            const std::string body = in.bytes(8192);
            if (core.handle(id, minType, body) == Disposition::Close) {
                core.closeSession(id);
                sink.open.erase(id);
            }
            break;
        }
        default:
            clock.advance(std::int64_t(in.u16()) * (in.u8() % 2 == 0 ? 1 : 1000));
            core.tick();
            break;
        }
        if (core.sessionCount() != sink.open.size())
            fault("the core counts other sessions than were opened");
    }
    checkStoredVotes(storage);
    return 0;
}
