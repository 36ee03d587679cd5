#include "voteservice/auth/keyset.h"

#include "voteservice/auth/jwkset.h"
#include "voteservice/auth/keyfingerprint.h"
#include "voteservice/auth/secretfile.h"

#include <utility>

namespace quorix::service {

namespace {

KeySet::Key secretKey(std::string secret)
{
    KeySet::Key key;
    key.algorithm = "HS256";
    key.fingerprint = keyFingerprint(key.algorithm, secret);
    key.material = std::move(secret);
    return key;
}

// Appends the keys of the JWK Set file; false with a message naming the file.
bool readJwkSetFile(const std::string& path, std::vector<KeySet::Key>& keys, std::string& error)
{
    std::string text;
    std::vector<KeySet::Key> read;
    if (!JwkSet::readFile(path, text, read, error))
        return false;
    if (read.empty()) {
        error = "the key set " + path + " holds no keys";
        return false;
    }
    keys.insert(keys.end(), read.begin(), read.end());
    return true;
}

} // namespace

std::shared_ptr<const KeySet> KeySet::fromSecret(std::string secret)
{
    auto set = std::make_shared<KeySet>();
    set->m_keys.push_back(secretKey(std::move(secret)));
    return set;
}

bool KeySet::load(const std::string& secretFile, const std::string& jwksFile,
                  std::shared_ptr<const KeySet>& out, std::string& error)
{
    if (secretFile.empty() && jwksFile.empty()) {
        error = "no key file named (--secret-file or --keys)";
        return false;
    }
    auto set = std::make_shared<KeySet>();
    if (!secretFile.empty()) {
        std::string secret;
        if (!SecretFile::read(secretFile, secret, error))
            return false;
        set->m_keys.push_back(secretKey(std::move(secret)));
    }
    if (!jwksFile.empty() && !readJwkSetFile(jwksFile, set->m_keys, error))
        return false;
    out = std::move(set);
    return true;
}

const KeySet::Key* KeySet::find(const std::string& keyId) const
{
    for (const Key& key : m_keys) {
        if (key.keyId == keyId)
            return &key;
    }
    return nullptr;
}

std::vector<std::string> KeySet::keyIds() const
{
    std::vector<std::string> ids;
    ids.reserve(m_keys.size());
    for (const Key& key : m_keys)
        ids.push_back(key.keyId.empty() ? "secret" : key.keyId);
    return ids;
}

} // namespace quorix::service
