#include "voteservice/auth/jwkset.h"

#include "voteservice/auth/boundedfile.h"

#include "voteservice/auth/base64url.h"
#include "voteservice/auth/ecp256key.h"
#include "voteservice/auth/keyfingerprint.h"
#include "voteservice/auth/secretfile.h"

#include <nlohmann/json.hpp>

#include <set>

namespace quorix::service {

namespace {

using nlohmann::json;

// A member that must be a string; empty when absent or of another type.
std::string stringMember(const json& object, const char* name)
{
    const auto it = object.find(name);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool readEcKey(const json& jwk, KeySet::Key& key, std::string& error)
{
    // A key set is published; a private key in it is a leak, not something to use quietly.
    if (jwk.contains("d")) {
        error = "holds a private key (d): a key set carries public keys only";
        return false;
    }
    if (stringMember(jwk, "crv") != "P-256") {
        error = "is an EC key of a curve other than P-256";
        return false;
    }
    const auto x = base64UrlDecode(stringMember(jwk, "x")), y = base64UrlDecode(stringMember(jwk, "y"));
    const auto ec = x && y ? EcP256Key::fromCoordinates(*x, *y) : std::nullopt;
    if (!ec) {
        error = "has no x and y of a P-256 point";
        return false;
    }
    key.algorithm = "ES256";
    key.material = ec->publicPem();
    return true;
}

bool readOctetKey(const json& jwk, KeySet::Key& key, std::string& error)
{
    const auto secret = base64UrlDecode(stringMember(jwk, "k"));
    if (!secret || secret->size() < SecretFile::kMinBytes) {
        error = "has no k of at least " + std::to_string(SecretFile::kMinBytes) + " bytes";
        return false;
    }
    key.algorithm = "HS256";
    key.material = *secret;
    return true;
}

bool readKey(const json& jwk, KeySet::Key& key, std::string& error)
{
    if (!jwk.is_object()) {
        error = "is not a JSON object";
        return false;
    }
    key.keyId = stringMember(jwk, "kid");
    if (key.keyId.empty()) {
        error = "has no kid";
        return false;
    }
    const std::string type = stringMember(jwk, "kty");
    if (type != "EC" && type != "oct") {
        error = "has a kty other than EC (ES256) or oct (HS256)";
        return false;
    }
    if (!(type == "EC" ? readEcKey(jwk, key, error) : readOctetKey(jwk, key, error)))
        return false;
    if (jwk.contains("alg") && stringMember(jwk, "alg") != key.algorithm) {
        error = "has an alg other than " + key.algorithm;
        return false;
    }
    if (jwk.contains("use") && stringMember(jwk, "use") != "sig") {
        error = "is not for signatures (use)";
        return false;
    }
    key.fingerprint = keyFingerprint(key.algorithm, key.material);
    return true;
}

} // namespace

bool JwkSet::parse(std::string_view text, std::vector<KeySet::Key>& keys, std::string& error)
{
    const json set = json::parse(text, nullptr, false);
    const auto list = set.is_object() ? set.find("keys") : set.end();
    if (set.is_discarded() || !set.is_object() || list == set.end() || !list->is_array()) {
        error = "is not a JWK Set ({\"keys\":[...]})";
        return false;
    }
    if (list->size() > kMaxKeys) {
        error = "holds more than " + std::to_string(kMaxKeys) + " keys";
        return false;
    }
    std::set<std::string> seen;
    std::vector<KeySet::Key> read;
    for (std::size_t i = 0; i < list->size(); ++i) {
        KeySet::Key key;
        std::string why;
        if (!readKey((*list)[i], key, why)) {
            const std::string kid = stringMember((*list)[i], "kid");
            error = "key " + std::to_string(i + 1) + (kid.empty() ? "" : " (" + kid + ")") + " " + why;
            return false;
        }
        if (!seen.insert(key.keyId).second) {
            error = "has two keys with kid " + key.keyId;
            return false;
        }
        read.push_back(std::move(key));
    }
    keys = std::move(read);
    return true;
}

bool JwkSet::readFile(const std::string& path, std::string& text, std::vector<KeySet::Key>& keys,
                      std::string& error)
{
    std::string reason;
    switch (BoundedFile::read(path, KeySet::kMaxJwkSetFileBytes, text, reason)) {
    case BoundedFile::Outcome::Unreadable:
        error = "cannot read the key set " + path + ": " + reason;
        return false;
    case BoundedFile::Outcome::TooLong:
        error = "the key set " + path + " is longer than " + std::to_string(KeySet::kMaxJwkSetFileBytes) +
                " bytes";
        return false;
    case BoundedFile::Outcome::Read:
        break;
    }
    if (!parse(text, keys, error)) {
        error = "the key set " + path + " " + error;
        return false;
    }
    return true;
}

} // namespace quorix::service
