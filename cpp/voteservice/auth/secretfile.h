#pragma once

// The HS256 secret of --secret-file (and the Redis password of --redis-password-file): the file's bytes
// without trailing line breaks (an editor's final newline is not part of the secret), at least kMinBytes
// since a short secret is guessed by trying, in a file of at most kMaxFileBytes.

#include <cstddef>
#include <string>

namespace quorix::service {

class SecretFile
{
public:
    static constexpr std::size_t kMaxFileBytes = 4096;
    static constexpr std::size_t kMinBytes = 16;

    // False with a one-line message naming the file and what it holds (`what`): unreadable (the
    // system's reason), too long, or a secret too short.
    static bool read(const std::string& path, std::string& secret, std::string& error,
                     const std::string& what = "secret");
};

} // namespace quorix::service
