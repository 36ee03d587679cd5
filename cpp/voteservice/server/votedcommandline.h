#pragma once

#include "voteservice/server/keygenrequest.h"
#include "voteservice/server/revokerequest.h"
#include "voteservice/server/backuprequest.h"
#include "voteservice/server/serveroptions.h"
#include "voteservice/server/tokenrequest.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace quorix::service {

// The whole command line of quorix-voted: the server's options, or one of the commands token,
// keygen and revoke with its own.
// The server also reads the configuration file --config names (the systemd unit names
// /etc/quorix/voted.conf). Its keys are the long options without dashes; an option on the command
// line wins over its key.
class VotedCommandLine
{
public:
    enum class Outcome
    {
        Serve,
        IssueToken,
        GenerateKeys,
        Revoke,
        Backup,
        Help,
        Version,
        Error
    };

    VotedCommandLine();
    VotedCommandLine(const VotedCommandLine&) = delete;
    VotedCommandLine& operator=(const VotedCommandLine&) = delete;

    // `args` excludes the program name; now (Unix seconds) is when a token is issued and the
    // default time of a revocation.
    Outcome parse(const std::vector<std::string>& args, std::int64_t now);
    // Help or Version: what to print on standard output; Error: the reason, one line.
    const std::string& text() const { return m_text; }
    ServerOptions& server() { return m_server; }
    const TokenRequest& token() const { return m_token; }
    // IssueToken: the claims to sign.
    const AccessClaims& tokenClaims() const { return m_tokenClaims; }
    const KeygenRequest& keygen() const { return m_keygen; }
    const RevokeRequest& revoke() const { return m_revoke; }
    // Revoke: what to store.
    const Revocation& revocation() const { return m_revocation; }
    const BackupRequest& backup() const { return m_backup; }

private:
    Outcome check(std::int64_t now);
    std::string configRefusal(const CLI::ConfigError& error) const;
    std::string unreadableConfigRefusal() const;
    // A command takes only its own options: a server option beside it is a mistake.
    void excludeServerOptions(CLI::App& command);

    ServerOptions m_server;
    TokenRequest m_token;
    KeygenRequest m_keygen;
    RevokeRequest m_revoke;
    CLI::App m_app;
    CLI::App* m_tokenCommand = nullptr;
    CLI::App* m_keygenCommand = nullptr;
    CLI::App* m_revokeCommand = nullptr;
    BackupRequest m_backup;
    CLI::App* m_backupCommand = nullptr;
    std::string m_text;
    AccessClaims m_tokenClaims;
    Revocation m_revocation;
};

} // namespace quorix::service
