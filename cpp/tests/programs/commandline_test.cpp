// Every program answers --version and --help with status 0, and a mistake on its command line with
// one line on standard error that says why, and status 2.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Program
{
    const char* name;
    const char* path;
};

const Program kVoted{"quorix-voted", QUORIX_VOTED_PATH};
const Program kLoadgen{"quorix-loadgen", QUORIX_LOADGEN_PATH};
const Program kHost{"tovo-host", TOVO_HOST_PATH};
const Program kHostctl{"tovo-hostctl", TOVO_HOSTCTL_PATH};
const Program kWire{"quorix-wire", QUORIX_WIRE_PATH};

struct Ran
{
    int status = -1;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& text)
{
    std::string result = "'";
    for (char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

std::string contentsOf(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

Ran run(const Program& program, const std::vector<std::string>& args)
{
    const std::string base = ::testing::TempDir() + "/commandline-test";
    std::string command = quoted(program.path);
    for (const std::string& arg : args)
        command += " " + quoted(arg);
    command += " </dev/null >" + base + ".out 2>" + base + ".err";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, contentsOf(base + ".out"),
            contentsOf(base + ".err")};
}

TEST(ProgramCommandLines, VersionPrintsTheProgramAndTheProjectVersion)
{
    for (const Program& program : {kVoted, kLoadgen, kHost, kHostctl, kWire}) {
        const Ran ran = run(program, {"--version"});
        EXPECT_EQ(ran.status, 0) << program.name;
        EXPECT_EQ(ran.out, std::string(program.name) + " " + QUORIX_VERSION + "\n");
        EXPECT_EQ(ran.err, "") << program.name;
    }
}

TEST(ProgramCommandLines, HelpEndsWithStatusZeroAndDescribesEveryOption)
{
    const struct
    {
        Program program;
        std::vector<const char*> options;
    } rows[] = {
        {kVoted,
         {"--help",
          "--version",
          "--listen",
          "--secret-file",
          "--broadcast-hz",
          "--max-sessions",
          "--max-sessions-per-user",
          "--data",
          "--memory",
          "--redis",
          "token",
          "--uid",
          "--imid",
          "--role",
          "--channel",
          "--expiry",
          "--ttl",
          "--scope",
          "--signing-key",
          "keygen",
          "revoke",
          "--insecure-no-auth"}},
        {kLoadgen,
         {"--help", "--version", "--sessions", "--votes-per-viewer", "--rate", "--broadcast-hz", "--server",
          "--data", "--redis", "--nodes", "--processes", "--source-addresses", "--deadline", "--peer",
          "--connect", "--pid"}},
        {kHost,
         {"--help",
          "--version",
          "--uid",
          "--imid",
          "--nick",
          "--role",
          "--channel",
          "--subchannel",
          "--service",
          "--token",
          "--token-file",
          "--keywords",
          "--addon-dir",
          "--automation",
          "--offscreen",
          "--position",
          "--log-level",
          "--log-file",
          "FENBASE_LOG_LEVEL",
          "FENBASE_LOG_FILE",
          "QUORIX_TOKEN"}},
        {kHostctl,
         {"--help", "--version", "--timeout", "--until", "timed out after", "SOCKET", "COMMAND", "grab"}},
        {kWire, {"--help", "--version", "decode", "encode", "--hex"}},
    };
    for (const auto& row : rows) {
        const Ran ran = run(row.program, {"--help"});
        EXPECT_EQ(ran.status, 0) << row.program.name;
        EXPECT_EQ(ran.err, "") << row.program.name;
        for (const char* option : row.options)
            EXPECT_NE(ran.out.find(option), std::string::npos) << row.program.name << " " << option;
    }
}

TEST(ProgramCommandLines, AMistakeIsOneLineWithTheReasonAndStatusTwo)
{
    const std::string secret = ::testing::TempDir() + "/commandline-test-secret";
    std::ofstream(secret) << "0123456789abcdef\n";
    const std::vector<std::string> identity{"--uid", "1", "--imid", "2", "--role", "3", "--channel", "4"};
    auto token = [&identity](std::vector<std::string> more) {
        std::vector<std::string> args{"token"};
        args.insert(args.end(), identity.begin(), identity.end());
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const struct
    {
        Program program;
        std::vector<std::string> args;
        std::string error; // the whole of standard error
    } rows[] = {
        {kVoted,
         {"--secret-file", "/nonexistent/secret"},
         "quorix-voted: cannot read the secret file /nonexistent/secret: No such file or directory\n"},
        {kVoted, token({}), "quorix-voted: token needs --secret-file or --signing-key\n"},
        {kVoted, token({"--secret-file", secret, "--expiry", "1"}),
         "quorix-voted: --expiry 1 is not in the future"},
        {kVoted, {"keygen", "--out-private", "p.pem"}, "quorix-voted: --out-jwks is required\n"},
        {kVoted,
         {"revoke", "--uid", "1", "--channel", "4"},
         "quorix-voted: revoke needs --data, --redis or --redis-cluster"},
        {kVoted, {"--bogus", "1"}, "quorix-voted: unknown option or argument: --bogus 1\n"},
        {kVoted, {"--listen", "nowhere"}, "quorix-voted: --listen wants HOST:PORT, got nowhere\n"},
        {kLoadgen, {"--sessions", "1"}, "quorix-loadgen: --sessions wants 2 to 100000000, got 1\n"},
        {kLoadgen, {"--nodes", "65"}, "quorix-loadgen: --nodes wants 1 to 64, got 65\n"},
        {kLoadgen, {"extra"}, "quorix-loadgen: unknown option or argument: extra\n"},
        {kHost, {"--colour", "red"}, "tovo-host: unknown option '--colour' (see --help)\n"},
        {kHostctl,
         {"--timeout", "0", "host.sock", "{}"},
         "tovo-hostctl: --timeout wants seconds from 0.001 to 2000000, not '0'\n"},
        {kHostctl,
         {"--timeout", "inf", "host.sock", "{}"},
         "tovo-hostctl: --timeout wants seconds from 0.001 to 2000000, not 'inf'\n"},
        {kHostctl, {"host.sock"}, "tovo-hostctl: needs SOCKET and at least one COMMAND (see --help)\n"},
        {kHostctl, {"--colour", "host.sock", "{}"}, "tovo-hostctl: unknown option '--colour' (see --help)\n"},
        {kVoted, {"--listen", "localhost:27500"}, "quorix-voted: --listen wants an IP address and a port"},
        {kVoted,
         {"--listen", "0.0.0.0:0", "--memory"},
         "quorix-voted: --listen 0.0.0.0 is not a loopback address and no keys check tokens: give "
         "--secret-file "
         "FILE or --keys FILE"},
        {kHost, {"--log-level", "loud"}, "tovo-host: option --log-level needs error, warning"},
        {kWire,
         {"decode", "--colour"},
         "quorix-wire: The following argument was not expected: --colour (usage: "},
        {kWire, {}, "quorix-wire: A subcommand is required (usage: "},
    };
    for (const auto& row : rows) {
        const Ran ran = run(row.program, row.args);
        EXPECT_EQ(ran.status, 2) << row.program.name << " " << row.error;
        EXPECT_EQ(ran.out, "") << row.program.name << " " << row.error;
        EXPECT_EQ(ran.err.substr(0, row.error.size()), row.error) << row.program.name;
        EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), 1) << ran.err;
    }
    std::remove(secret.c_str());
}

} // namespace
