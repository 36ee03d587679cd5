#pragma once

// Why a token was refused. The word goes into log lines and 401 answers; it never holds any part of
// the token itself.

namespace quorix::service {

enum class TokenRefusal
{
    None,            // accepted
    Missing,         // no token given
    Malformed,       // not a JWS compact token, bad base64 or JSON, a claim of the wrong type
    BadAlgorithm,    // `alg` none, or not the algorithm of the key its `kid` names
    UnknownKey,      // a `kid` that no key has (or no key at all for a token without `kid`)
    BadSignature,    // forged, or signed with another key
    NoExpiry,        // no `exp`
    Expired,         // `exp` passed
    NotYetValid,     // `nbf` in the future
    LifetimeTooLong, // `exp - iat` over the allowed lifetime, or no `iat`
    Revoked,         // its user's tokens issued before a time were revoked
    Legacy,          // an "EXPIRY.HEX" token where they are not accepted
    WrongClaims,     // a legacy token not signed for the claimed identity
    ScopeMissing,    // valid, but without the scope the request needs
    WrongChannel,    // valid, but for another channel or sub-channel than the one asked for
};

// One word (or two joined by '-') for logs and the `error` of a 401: "missing", "malformed",
// "bad-algorithm", "unknown-key", "bad-signature", "no-expiry", "expired", "not-yet-valid",
// "lifetime-too-long", "revoked", "legacy", "wrong-claims", "scope-missing", "wrong-channel".
const char* reasonWord(TokenRefusal refusal);

} // namespace quorix::service
