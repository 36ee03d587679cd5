#include "secretfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace quorix::service {

bool SecretFile::read(const std::string& path, std::string& secret, std::string& error)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        error = "cannot read the secret file " + path + ": " + std::strerror(errno);
        return false;
    }
    // One byte more than allowed tells a file that is too long from one that fits exactly.
    std::string contents(kMaxFileBytes + 1, '\0');
    contents.resize(std::fread(contents.data(), 1, contents.size(), file.get()));
    if (std::ferror(file.get())) {
        error = "cannot read the secret file " + path + ": " + std::strerror(errno);
        return false;
    }
    if (contents.size() > kMaxFileBytes) {
        error = "the secret file " + path + " is longer than " + std::to_string(kMaxFileBytes) + " bytes";
        return false;
    }
    while (!contents.empty() && (contents.back() == '\n' || contents.back() == '\r'))
        contents.pop_back();
    if (contents.size() < kMinBytes) {
        error = "the secret in " + path + " is shorter than " + std::to_string(kMinBytes) +
                " bytes (it has " + std::to_string(contents.size()) + ")";
        return false;
    }
    secret = contents;
    return true;
}

} // namespace quorix::service
