#pragma once

// Revocations kept in the process only: the service with --memory, and the tests.

#include "voteservice/auth/revocationstore.h"

#include <vector>

namespace quorix::service {

class MemoryRevocationStore : public RevocationStore
{
public:
    bool revoke(const Revocation& revocation) override;
    std::vector<Revocation> current(std::int64_t nowUnix) override;

private:
    std::vector<Revocation> m_revocations;
};

} // namespace quorix::service
