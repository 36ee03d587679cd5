#include "voteservice/auth/boundedfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace quorix::service {

BoundedFile::Outcome BoundedFile::read(const std::string& path, std::size_t maxBytes, std::string& contents,
                                       std::string& reason)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        reason = std::strerror(errno);
        return Outcome::Unreadable;
    }
    // One byte more than allowed tells a file that is too long from one that fits exactly.
    std::string text(maxBytes + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file.get()));
    if (std::ferror(file.get())) {
        reason = std::strerror(errno);
        return Outcome::Unreadable;
    }
    if (text.size() > maxBytes)
        return Outcome::TooLong;
    contents = std::move(text);
    return Outcome::Read;
}

} // namespace quorix::service
