#include "voteservice/auth/secretfile.h"

#include "voteservice/auth/boundedfile.h"

namespace quorix::service {

bool SecretFile::read(const std::string& path, std::string& secret, std::string& error,
                      const std::string& what)
{
    std::string contents, reason;
    switch (BoundedFile::read(path, kMaxFileBytes, contents, reason)) {
    case BoundedFile::Outcome::Unreadable:
        error = "cannot read the " + what + " file " + path + ": " + reason;
        return false;
    case BoundedFile::Outcome::TooLong:
        error =
            "the " + what + " file " + path + " is longer than " + std::to_string(kMaxFileBytes) + " bytes";
        return false;
    case BoundedFile::Outcome::Read:
        break;
    }
    while (!contents.empty() && (contents.back() == '\n' || contents.back() == '\r'))
        contents.pop_back();
    if (contents.size() < kMinBytes) {
        error = "the " + what + " in " + path + " is shorter than " + std::to_string(kMinBytes) +
                " bytes (it has " + std::to_string(contents.size()) + ")";
        return false;
    }
    secret = contents;
    return true;
}

} // namespace quorix::service
