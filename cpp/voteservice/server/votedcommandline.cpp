#include "votedcommandline.h"

#include "clisupport.h"

namespace quorix::service {

VotedCommandLine::VotedCommandLine() : m_app("The Quorix vote service over TCP.", "quorix-voted")
{
    m_app.set_version_flag("--version", "quorix-voted " QUORIX_VERSION);
    m_server.addOptionsTo(m_app);
    m_tokenCommand = m_app.add_subcommand(
        "token", "print a HELLO token for the given identity, valid until --expiry (default: --ttl "
                 "86400 from now)");
    m_token.addOptionsTo(*m_tokenCommand);
    // The token command only signs: a server option beside it is a mistake, not something to ignore.
    for (CLI::Option* option : m_app.get_options()) {
        if (option != m_app.get_help_ptr() && option != m_app.get_version_ptr())
            m_tokenCommand->excludes(option);
    }
    m_app.require_subcommand(0, 1);
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
    } catch (const CLI::ParseError& e) {
        m_text = refusalText(m_app, e);
        return Outcome::Error;
    }
    return check(now);
}

VotedCommandLine::Outcome VotedCommandLine::check(std::int64_t now)
{
    if (m_tokenCommand->parsed())
        return m_token.expiryAt(*m_tokenCommand, now, m_tokenExpiry, m_text) ? Outcome::IssueToken
                                                                             : Outcome::Error;
    return m_server.storageChoiceIsClear(m_app, m_text) && m_server.loadTls(m_text) ? Outcome::Serve
                                                                                    : Outcome::Error;
}

} // namespace quorix::service
