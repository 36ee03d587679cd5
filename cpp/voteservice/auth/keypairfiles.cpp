#include "voteservice/auth/keypairfiles.h"

#include "voteservice/auth/ecp256key.h"
#include "voteservice/auth/jwkset.h"
#include "voteservice/auth/keyset.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quorix::service {

namespace {

using nlohmann::json;

// The set as it is, or an empty one when there is no file yet.
bool readExistingSet(const std::string& path, json& set, std::string& error)
{
    struct stat info = {};
    if (::lstat(path.c_str(), &info) != 0 && errno == ENOENT) {
        set = {{"keys", json::array()}};
        return true;
    }
    std::string text;
    std::vector<KeySet::Key> keys;
    if (!JwkSet::readFile(path, text, keys, error)) {
        error += "; it is left as it is";
        return false;
    }
    set = json::parse(text);
    return true;
}

bool writeAll(int descriptor, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(descriptor, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return ::fsync(descriptor) == 0;
}

bool writePrivateKey(const std::string& path, const std::string& pem, std::string& error)
{
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        error = errno == EEXIST ? path + " already exists: keygen does not write over a private key"
                                : "cannot write the private key " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = writeAll(descriptor, pem);
    const int savedErrno = errno;
    ::close(descriptor);
    if (!written) {
        error = "cannot write the private key " + path + ": " + std::strerror(savedErrno);
        ::unlink(path.c_str());
    }
    return written;
}

// A temporary file beside the set, renamed over it once it is whole (and readable by all: it holds
// public keys).
bool replaceSet(const std::string& path, const std::string& text, std::string& error)
{
    std::string temporary = path + ".XXXXXX";
    const int descriptor = ::mkstemp(temporary.data());
    if (descriptor < 0) {
        error = "cannot write the key set " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = ::fchmod(descriptor, 0644) == 0 && writeAll(descriptor, text);
    const int savedErrno = errno;
    ::close(descriptor);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write the key set " + path + ": " + std::strerror(written ? errno : savedErrno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

bool KeyPairFiles::write(const std::string& privateKeyPath, const std::string& jwksPath, Written& written,
                         std::string& error)
{
    json set;
    if (!readExistingSet(jwksPath, set, error))
        return false;
    const auto key = EcP256Key::generate();
    if (!key) {
        error = "cannot generate an EC P-256 key";
        return false;
    }
    const std::string keyId = key->thumbprint();
    set["keys"].push_back(key->publicJwk(keyId));
    if (!writePrivateKey(privateKeyPath, key->privatePem(), error))
        return false;
    if (!replaceSet(jwksPath, set.dump(2) + "\n", error)) {
        ::unlink(privateKeyPath.c_str());
        return false;
    }
    written = {keyId, set["keys"].size()};
    return true;
}

} // namespace quorix::service
