#pragma once

// Where revocations are kept, beside the votes: the SQLite data folder (a table of votes.db) or the
// shared Redis. `quorix-voted revoke` adds to it while services run; every service rereads it once
// a second and closes the sessions it now refuses.

#include "voteservice/auth/revocationlist.h"

#include <cstdint>
#include <vector>

namespace quorix::service {

class RevocationStore
{
public:
    virtual ~RevocationStore() = default;
    // Adds a revocation, or moves an existing one of the same user later. Throws nothing; false
    // when the store cannot be written.
    virtual bool revoke(const Revocation& revocation) = 0;
    // The revocations still in force at nowUnix (expired ones may be removed on the way).
    virtual std::vector<Revocation> current(std::int64_t nowUnix) = 0;
};

} // namespace quorix::service
