#include "tokenrequest.h"

#include "clisupport.h"
#include "secretfile.h"
#include "serveroptions.h"

#include <CLI/CLI.hpp>

#include <iterator>

namespace quorix::service {

namespace {

const char* const kClaimOptions[] = {"--uid", "--imid", "--role", "--channel"};

} // namespace

void TokenRequest::addOptionsTo(CLI::App& command)
{
    command.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    command
        .add_option_function<std::string>(
            "--secret-file",
            [this](const std::string& path) {
                std::string text, error;
                if (!SecretFile::read(path, text, error))
                    throw CLI::ValidationError(error);
                secret = text;
            },
            "sign with the secret in FILE, as the service is started with (16 to 4096 bytes)")
        ->type_name("FILE");
    std::uint32_t* const targets[] = {&claims.uid, &claims.imid, &claims.role, &claims.channelId};
    const char* const descriptions[] = {"user id", "public user number", "channel role", "channel number"};
    for (std::size_t i = 0; i < std::size(kClaimOptions); ++i) {
        std::uint32_t* claim = targets[i];
        addNumberOption(command, kClaimOptions[i], 0, 0xffffffffu, "wants a number from 0 to 4294967295",
                        [claim](std::uint64_t value) { *claim = static_cast<std::uint32_t>(value); })
            ->description(std::string(descriptions[i]) + " (needed)");
    }
    addNumberOption(command, "--expiry", 0, 1ull << 40, "wants Unix seconds",
                    [this](std::uint64_t value) { expiry = value; })
        ->type_name("UNIX_SECONDS")
        ->description("last second the token is valid (default: --ttl from now)");
    addNumberOption(command, "--ttl", ttlSeconds, 0, 1ull << 32, "wants seconds")
        ->type_name("SECONDS")
        ->description("seconds the token stays valid, when no --expiry is given");
}

bool TokenRequest::expiryAt(const CLI::App& command, std::int64_t now, std::int64_t& at,
                            std::string& error) const
{
    if (!secret) {
        error = "token needs --secret-file";
        return false;
    }
    for (const char* name : kClaimOptions) {
        if (command.count(name) == 0) {
            error = std::string("token needs ") + name;
            return false;
        }
    }
    if (expiry && static_cast<std::int64_t>(*expiry) < now) {
        error = "--expiry " + std::to_string(*expiry) + " is in the past (now " + std::to_string(now) + ")";
        return false;
    }
    at = expiry ? static_cast<std::int64_t>(*expiry) : now + static_cast<std::int64_t>(ttlSeconds);
    return true;
}

} // namespace quorix::service
