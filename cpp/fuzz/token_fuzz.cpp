// The token check, as every transport runs it on bytes from anywhere. The first input byte chooses
// how: bit 0 takes legacy tokens, bit 1 states an identity beside the token (as the host
// transport's HELLO does); the rest is the token. Keys: a secret (tokens without kid), an ES256 key
// "ec" and an HS256 key "oct". Whatever the bytes, the verdict is a refusal, or claims that keep
// to the policy: unexpired at the time checked, within the longest lifetime, of a key of the set,
// and honoured by that same set.

#include "voteservice/auth/keyset.h"
#include "voteservice/auth/tokenverifier.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace quorix::service;

constexpr std::int64_t kNow = 1800000000;
const char kSecret[] = "the fuzz secret, 32 bytes long!!";
// RFC 7515 A.3's P-256 key, and an oct key of "an HS256 key of the set".
const char kKeySet[] = R"({"keys":[
 {"kty":"EC","crv":"P-256","kid":"ec","x":"f83OJ3D2xF1Bg8vub9tLe1gHMzV76e8Tus9uPHvRVEU",
  "y":"x_FEzRu9m36HLN_tue659LNpXW6pCyStikYjKIWI5a0"},
 {"kty":"oct","kid":"oct","k":"YW4gSFMyNTYga2V5IG9mIHRoZSBzZXQ"}]})";

[[noreturn]] void fault(const char* what)
{
    std::fprintf(stderr, "token fuzz: %s\n", what);
    std::abort();
}

std::shared_ptr<const KeySet> loadKeys()
{
    char folder[] = "/tmp/quorix-token-fuzz-XXXXXX";
    if (!mkdtemp(folder))
        fault("no temporary folder");
    const std::string secret = std::string(folder) + "/secret", keys = std::string(folder) + "/keys.json";
    std::ofstream(secret) << kSecret;
    std::ofstream(keys) << kKeySet;
    std::shared_ptr<const KeySet> set;
    std::string error;
    const bool loaded = KeySet::load(secret, keys, set, error);
    std::remove(secret.c_str());
    std::remove(keys.c_str());
    rmdir(folder);
    if (!loaded)
        fault(error.c_str());
    return set;
}

const std::shared_ptr<const KeySet>& keys()
{
    static const std::shared_ptr<const KeySet> set = loadKeys();
    return set;
}

void checkAccepted(const TokenVerifier& verifier, const AccessClaims& claims)
{
    const KeySet::Key* key = keys()->find(claims.keyId);
    if (!key || key->fingerprint != claims.keyFingerprint)
        fault("accepted without the key of the set that it names");
    if (claims.expiresAt < kNow)
        fault("accepted after its expiry");
    if (!claims.legacy && (claims.expiresAt == kNow || claims.expiresAt - claims.issuedAt > 86400))
        fault("accepted beyond its lifetime");
    if (claims.scopes.empty() || claims.tokenId.size() > 64)
        fault("accepted with claims out of bounds");
    if (verifier.stillHonoured(claims) != TokenRefusal::None)
        fault("accepted but not honoured by the same keys");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool acceptLegacy = (data[0] & 1) != 0;
    const LegacyIdentity identity{1001, 5001, 255, 77};
    const std::string token(reinterpret_cast<const char*>(data + 1), size - 1);
    const TokenVerifier verifier(keys(), {86400, acceptLegacy});
    const TokenVerdict verdict = verifier.verify(token, kNow, (data[0] & 2) != 0 ? &identity : nullptr);
    if (verdict.accepted())
        checkAccepted(verifier, verdict.claims);
    else if (std::string(reasonWord(verdict.refusal)).empty())
        fault("a refusal without a word");
    return 0;
}
