#include "voteservice/auth/tokenrefusal.h"

namespace quorix::service {

const char* reasonWord(TokenRefusal refusal)
{
    switch (refusal) {
    case TokenRefusal::None:
        return "accepted";
    case TokenRefusal::Missing:
        return "missing";
    case TokenRefusal::Malformed:
        return "malformed";
    case TokenRefusal::BadAlgorithm:
        return "bad-algorithm";
    case TokenRefusal::UnknownKey:
        return "unknown-key";
    case TokenRefusal::BadSignature:
        return "bad-signature";
    case TokenRefusal::NoExpiry:
        return "no-expiry";
    case TokenRefusal::Expired:
        return "expired";
    case TokenRefusal::NotYetValid:
        return "not-yet-valid";
    case TokenRefusal::LifetimeTooLong:
        return "lifetime-too-long";
    case TokenRefusal::Revoked:
        return "revoked";
    case TokenRefusal::Legacy:
        return "legacy";
    case TokenRefusal::WrongClaims:
        return "wrong-claims";
    case TokenRefusal::ScopeMissing:
        return "scope-missing";
    case TokenRefusal::WrongChannel:
        return "wrong-channel";
    }
    return "malformed";
}

} // namespace quorix::service
