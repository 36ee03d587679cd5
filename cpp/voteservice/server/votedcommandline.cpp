#include "voteservice/server/votedcommandline.h"

#include "voteservice/server/clisupport.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quorix::service {

VotedCommandLine::VotedCommandLine() : m_app("The Quorix vote service over TCP.", "quorix-voted")
{
    m_app.set_version_flag("--version", "quorix-voted " QUORIX_VERSION);
    // Read only when named: a system-wide file must not change what a command line run by hand means.
    m_app
        .set_config("--config", "",
                    "read options from FILE, one KEY = VALUE a line, KEY a long option without its dashes; "
                    "options given here win")
        ->type_name("FILE");
    // A key that names no option is a mistake in the file, not something to skip.
    m_app.allow_config_extras(CLI::config_extras_mode::error);
    m_server.addOptionsTo(m_app);
    m_tokenCommand = m_app.add_subcommand(
        "token", "print a token (a JSON Web Token) for the given identity and scopes, valid for --ttl "
                 "(default 86400 s) or until --expiry");
    m_token.addOptionsTo(*m_tokenCommand);
    m_keygenCommand = m_app.add_subcommand(
        "keygen", "write a new ES256 key pair: the private key for --signing-key, the public key added to "
                  "a JWK Set for --keys");
    m_keygen.addOptionsTo(*m_keygenCommand);
    m_revokeCommand = m_app.add_subcommand(
        "revoke", "refuse every token of a user of a channel issued before a time, in the data folder or "
                  "the Redis of the services (which may be running)");
    m_revoke.addOptionsTo(*m_revokeCommand);
    m_backupCommand = m_app.add_subcommand(
        "backup", "copy the vote database of --data to --out while the service runs (SQLite's online "
                  "backup), check the copy with PRAGMA integrity_check and print one line");
    m_backup.addOptionsTo(*m_backupCommand);
    for (CLI::App* command : {m_tokenCommand, m_keygenCommand, m_revokeCommand, m_backupCommand})
        excludeServerOptions(*command);
    m_app.require_subcommand(0, 1);
}

void VotedCommandLine::excludeServerOptions(CLI::App& command)
{
    for (CLI::Option* option : m_app.get_options()) {
        if (option != m_app.get_help_ptr() && option != m_app.get_version_ptr())
            command.excludes(option);
    }
}

VotedCommandLine::Outcome VotedCommandLine::parse(const std::vector<std::string>& args, std::int64_t now)
{
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        m_app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        // The program's help shows the token command's options too; the token command's its own.
        m_text = m_app.help("", CLI::AppFormatMode::All);
        return Outcome::Help;
    } catch (const CLI::CallForVersion& e) {
        m_text = std::string(e.what()) + "\n";
        return Outcome::Version;
    } catch (const CLI::ConfigError& e) {
        m_text = configRefusal(e);
        return Outcome::Error;
    } catch (const CLI::FileError&) {
        m_text = unreadableConfigRefusal();
        return Outcome::Error;
    } catch (const CLI::ParseError& e) {
        m_text = refusalText(m_app, e);
        return Outcome::Error;
    }
    return check(now);
}

std::string VotedCommandLine::configRefusal(const CLI::ConfigError& error) const
{
    // CLI11 words a key that names no option "INI was not able to parse KEY".
    static const std::string unknownKey = "INI was not able to parse ";
    std::string problem = error.what();
    if (problem.rfind(unknownKey, 0) == 0)
        problem = "no option is named " + problem.substr(unknownKey.size());
    return "configuration file " + m_app.get_config_ptr()->as<std::string>() + ": " + problem;
}

// CLI11 says only "FILE was not readable (missing?)"; the system knows why.
std::string VotedCommandLine::unreadableConfigRefusal() const
{
    const std::string path = m_app.get_config_ptr()->as<std::string>();
    std::string reason = "it is not a readable file";
    struct stat status = {};
    if (::stat(path.c_str(), &status) != 0) {
        reason = std::strerror(errno);
    } else if (S_ISDIR(status.st_mode)) {
        reason = "it is a folder";
    } else if (std::FILE* file = std::fopen(path.c_str(), "r")) {
        std::fclose(file);
    } else {
        reason = std::strerror(errno);
    }
    return "cannot read the configuration file " + path + ": " + reason;
}

VotedCommandLine::Outcome VotedCommandLine::check(std::int64_t now)
{
    if (m_backupCommand->parsed())
        return Outcome::Backup;
    if (m_tokenCommand->parsed())
        return m_token.claimsAt(*m_tokenCommand, now, m_tokenClaims, m_text) ? Outcome::IssueToken
                                                                             : Outcome::Error;
    if (m_keygenCommand->parsed())
        return Outcome::GenerateKeys;
    if (m_revokeCommand->parsed())
        return m_revoke.revocationAt(*m_revokeCommand, now, m_revocation, m_text) ? Outcome::Revoke
                                                                                  : Outcome::Error;
    return m_server.storageChoiceIsClear(m_app, m_text) && m_server.openOnlyWhereSafe(m_text) &&
                   m_server.loadTls(m_text) && m_server.loadTokens(m_text)
               ? Outcome::Serve
               : Outcome::Error;
}

} // namespace quorix::service
