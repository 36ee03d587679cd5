#pragma once

// The keys tokens are verified with: the HS256 secret of --secret-file (tokens without `kid`) and any number
// of keys from a JWK Set file, --keys (RFC 7517): EC P-256 public keys for ES256 and "oct" keys for HS256,
// each with its `kid`. Immutable once loaded: a reload builds a new set and the verifier swaps it in whole.

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorix::service {

class KeySet
{
public:
    struct Key
    {
        std::string keyId;       // empty for the secret file's key
        std::string algorithm;   // "HS256" or "ES256"
        std::string material;    // HS256: the secret bytes; ES256: the public key as PEM
        std::string fingerprint; // hex of SHA-256 over algorithm and material: tells a replaced key apart
    };

    static constexpr std::size_t kMaxJwkSetFileBytes = 1 << 20;

    // Reads the files that are named (either may be empty, not both). False with a one-line message
    // naming the file and what is wrong: unreadable, a secret outside 16-4096 bytes, not a JWK Set,
    // a key without `kid` or of a type not supported, two keys with one `kid`.
    static bool load(const std::string& secretFile, const std::string& jwksFile,
                     std::shared_ptr<const KeySet>& out, std::string& error);
    // A set from a secret already read (tests, the embedded service).
    static std::shared_ptr<const KeySet> fromSecret(std::string secret);

    // The key a token's header names: by kid, or the secret's key when kid is empty.
    const Key* find(const std::string& keyId) const;
    bool empty() const { return m_keys.empty(); }
    std::size_t size() const { return m_keys.size(); }
    // The kids of the set, for the reload's log line ("keys: secret, k2025, k2026").
    std::vector<std::string> keyIds() const;

private:
    std::vector<Key> m_keys;
};

} // namespace quorix::service
