#pragma once

#include "backuprequest.h"
#include "serveroptions.h"
#include "tokenrequest.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace quorix::service {

// The whole command line of quorix-voted: the server's options, or the token or backup command
// with its own.
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
        Backup,
        Help,
        Version,
        Error
    };

    VotedCommandLine();
    VotedCommandLine(const VotedCommandLine&) = delete;
    VotedCommandLine& operator=(const VotedCommandLine&) = delete;

    // `args` excludes the program name; now (Unix seconds) is what a token's expiry is checked
    // against.
    Outcome parse(const std::vector<std::string>& args, std::int64_t now);
    // Help or Version: what to print on standard output; Error: the reason, one line.
    const std::string& text() const { return m_text; }
    ServerOptions& server() { return m_server; }
    const TokenRequest& token() const { return m_token; }
    const BackupRequest& backup() const { return m_backup; }
    // IssueToken: the second the token expires.
    std::int64_t tokenExpiry() const { return m_tokenExpiry; }

private:
    Outcome check(std::int64_t now);
    std::string configRefusal(const CLI::ConfigError& error) const;
    std::string unreadableConfigRefusal() const;

    ServerOptions m_server;
    TokenRequest m_token;
    CLI::App m_app;
    CLI::App* m_tokenCommand = nullptr;
    BackupRequest m_backup;
    CLI::App* m_backupCommand = nullptr;
    std::string m_text;
    std::int64_t m_tokenExpiry = 0;
};

} // namespace quorix::service
