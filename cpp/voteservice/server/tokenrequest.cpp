#include "voteservice/server/tokenrequest.h"

#include "voteservice/server/clisupport.h"
#include "voteservice/auth/secretfile.h"
#include "voteservice/auth/tokenclaimsreader.h"
#include "voteservice/auth/tokenid.h"

#include <CLI/CLI.hpp>

#include <iterator>

namespace quorix::service {

namespace {

const char* const kClaimOptions[] = {"--uid", "--imid", "--role", "--channel"};

void addSigningOptions(CLI::App& command, std::optional<TokenSigner>& signer)
{
    CLI::Option* secret = command
                              .add_option_function<std::string>(
                                  "--secret-file",
                                  [&signer](const std::string& path) {
                                      std::string text, error;
                                      if (!SecretFile::read(path, text, error))
                                          throw CLI::ValidationError(error);
                                      signer = TokenSigner::withSecret(text);
                                  },
                                  "sign HS256 with the secret in FILE, as the service is started with (16 to "
                                  "4096 bytes)")
                              ->type_name("FILE");
    CLI::Option* key = command
                           .add_option_function<std::string>(
                               "--signing-key",
                               [&signer](const std::string& path) {
                                   std::string error;
                                   signer = TokenSigner::withPrivateKeyFile(path, error);
                                   if (!signer)
                                       throw CLI::ValidationError(error);
                               },
                               "sign ES256 with the EC P-256 private key in FILE (PEM, as keygen writes it); "
                               "its kid is the thumbprint of its public key")
                           ->type_name("FILE");
    secret->excludes(key);
}

} // namespace

void TokenRequest::addOptionsTo(CLI::App& command)
{
    command.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    addSigningOptions(command, signer);
    std::uint32_t* const targets[] = {&claims.uid, &claims.imid, &claims.role, &claims.channelId};
    const char* const descriptions[] = {"user id", "public user number", "channel role", "channel number"};
    for (std::size_t i = 0; i < std::size(kClaimOptions); ++i) {
        std::uint32_t* claim = targets[i];
        addNumberOption(command, kClaimOptions[i], 0, 0xffffffffu, "wants a number from 0 to 4294967295",
                        [claim](std::uint64_t value) { *claim = static_cast<std::uint32_t>(value); })
            ->description(std::string(descriptions[i]) + " (needed)");
    }
    addNumberOption(command, "--sub-channel", 0, 0xffffffffu, "wants a number from 0 to 4294967295",
                    [this](std::uint64_t value) { claims.subChannelId = static_cast<std::uint32_t>(value); })
        ->description("only this sub-channel of the channel (default: any)");
    command
        .add_option_function<std::string>(
            "--scope",
            [this](const std::string& words) {
                if (!ScopeSet::parse(words))
                    throw CLI::ValidationError(
                        "--scope wants words of events, vote, manage and metrics, got " + words);
                scopeWords = words;
            },
            "what the token allows, words separated by spaces: events (watch), vote, manage, metrics "
            "(default: events vote, and manage for a manager role)")
        ->type_name("WORDS");
    command
        .add_option_function<std::string>(
            "--jti",
            [this](const std::string& id) {
                if (id.empty() || id.size() > TokenClaimsReader::kMaxTokenIdBytes)
                    throw CLI::ValidationError("--jti wants 1 to 64 bytes, got " + std::to_string(id.size()));
                claims.tokenId = id;
            },
            "the token's id, for the audit trail (default: 32 random hex digits)")
        ->type_name("ID");
    addNumberOption(command, "--expiry", 0, 1ull << 40, "wants Unix seconds",
                    [this](std::uint64_t value) { expiry = value; })
        ->type_name("UNIX_SECONDS")
        ->description("the second the token expires, its exp (default: --ttl from now)");
    addNumberOption(command, "--ttl", ttlSeconds, 1, kMaxTtlSeconds, "wants 1 to 2592000 seconds")
        ->type_name("SECONDS")
        ->description("seconds the token stays valid, when no --expiry is given (1 to 2592000)");
}

bool TokenRequest::claimsAt(const CLI::App& command, std::int64_t now, AccessClaims& out,
                            std::string& error) const
{
    if (!signer) {
        error = "token needs --secret-file or --signing-key";
        return false;
    }
    for (const char* name : kClaimOptions) {
        if (command.count(name) == 0) {
            error = std::string("token needs ") + name;
            return false;
        }
    }
    const std::int64_t expiresAt =
        expiry ? static_cast<std::int64_t>(*expiry) : now + std::int64_t(ttlSeconds);
    if (expiresAt <= now) {
        error = "--expiry " + std::to_string(expiresAt) + " is not in the future (now " +
                std::to_string(now) + ")";
        return false;
    }
    if (expiresAt - now > std::int64_t(kMaxTtlSeconds)) {
        error = "--expiry " + std::to_string(expiresAt) + " is more than 2592000 seconds from now (" +
                std::to_string(now) + ")";
        return false;
    }
    out = claims;
    out.scopes = scopeWords ? *ScopeSet::parse(*scopeWords) : ScopeSet::forRole(claims.role);
    out.issuedAt = now;
    out.expiresAt = expiresAt;
    if (out.tokenId.empty())
        out.tokenId = randomTokenId();
    if (out.tokenId.empty()) {
        error = "no random bytes for the token's id: give one with --jti";
        return false;
    }
    return true;
}

} // namespace quorix::service
