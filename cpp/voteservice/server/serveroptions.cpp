#include "serveroptions.h"

#include <fstream>

namespace quorix::service {

const char* ServerOptions::usage()
{
    return "usage: quorix-voted [options]\n"
           "       quorix-voted token --secret-file FILE --uid N --imid N --role N --channel N\n"
           "                          [--expiry UNIX_SECONDS | --ttl SECONDS]\n"
           "\n"
           "The Quorix vote service over TCP.\n"
           "\n"
           "options:\n"
           "  --listen HOST:PORT    address to listen on (default 127.0.0.1:27500; port 0 picks one)\n"
           "  --secret-file FILE    require HELLO tokens signed with the secret in FILE (16 to\n"
           "                        4096 bytes); without it identities are trusted as sent\n"
           "  --broadcast-hz N      count broadcasts per sub-channel and second, at most (default 10)\n"
           "  --max-sessions N      sessions served at once (default 20000; lowered to what the\n"
           "                        open-file limit allows)\n"
           "  --max-sessions-per-user N\n"
           "                        sessions one user (uid in a channel) may hold at once (default 8)\n"
           "  --data DIR            keep votes, history and users in DIR/votes.db, durable\n"
           "                        (default ./quorix-data)\n"
           "  --memory              keep everything in memory only (lost when the service ends)\n"
           "  --redis HOST:PORT     keep everything in Redis, shared with every quorix-voted\n"
           "                        started with the same Redis (several nodes)\n"
           "                        (--data, --memory and --redis exclude each other)\n"
           "  --help                show this text\n"
           "\n"
           "token prints a HELLO token for the given identity, valid until --expiry\n"
           "(default: --ttl 86400 from now).\n";
}

bool ServerOptions::parseNumber(const std::string& text, std::uint64_t max, std::uint64_t& value)
{
    if (text.empty() || text.size() > 19)
        return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + std::uint64_t(c - '0');
    }
    if (v > max)
        return false;
    value = v;
    return true;
}

bool ServerOptions::parseHostPort(const std::string& text, std::string& host, std::uint16_t& port)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    std::uint64_t value = 0;
    if (!parseNumber(text.substr(colon + 1), 65535, value))
        return false;
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool ServerOptions::readSecret(const std::string& path, std::string& secret, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read the secret file " + path;
        return false;
    }
    // One byte more than allowed tells a file that is too long from one that fits exactly.
    std::string contents(kMaxSecretFileBytes + 1, '\0');
    in.read(contents.data(), std::streamsize(contents.size()));
    contents.resize(std::size_t(in.gcount()));
    if (in.bad()) {
        error = "cannot read the secret file " + path;
        return false;
    }
    if (contents.size() > kMaxSecretFileBytes) {
        error =
            "the secret file " + path + " is longer than " + std::to_string(kMaxSecretFileBytes) + " bytes";
        return false;
    }
    while (!contents.empty() && (contents.back() == '\n' || contents.back() == '\r'))
        contents.pop_back();
    if (contents.size() < kMinSecretBytes) {
        error = "the secret in " + path + " is shorter than " + std::to_string(kMinSecretBytes) +
                " bytes (it has " + std::to_string(contents.size()) + ")";
        return false;
    }
    secret = contents;
    return true;
}

namespace {

// Each storage option names one place for the data; two of them leave it unclear which was meant.
bool storageChoiceIsClear(bool memory, bool data, bool redis, std::string& error)
{
    if (memory && data)
        error = "--memory and --data cannot be combined: choose one";
    else if (redis && (memory || data))
        error = std::string("--redis and ") + (memory ? "--memory" : "--data") +
                " cannot be combined: choose one";
    else
        return true;
    return false;
}

} // namespace

bool ServerOptions::parse(const std::vector<std::string>& args, ServerOptions& out, bool& help,
                          std::string& error)
{
    help = false;
    bool dataGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            help = true;
            return true;
        }
        if (name == "--memory") {
            out.memoryOnly = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = "unknown option or missing value: " + name;
            return false;
        }
        const std::string& value = args[++i];
        std::uint64_t number = 0;
        if (name == "--listen") {
            if (!parseHostPort(value, out.host, out.port)) {
                error = "--listen wants HOST:PORT, got " + value;
                return false;
            }
        } else if (name == "--secret-file") {
            std::string secret;
            if (!readSecret(value, secret, error))
                return false;
            out.secret = secret;
        } else if (name == "--broadcast-hz") {
            if (!parseNumber(value, 1000, number) || number == 0) {
                error = "--broadcast-hz wants 1 to 1000, got " + value;
                return false;
            }
            out.broadcastHz = static_cast<std::uint32_t>(number);
        } else if (name == "--max-sessions") {
            if (!parseNumber(value, 10000000, number) || number == 0) {
                error = "--max-sessions wants a positive number, got " + value;
                return false;
            }
            out.maxSessions = number;
        } else if (name == "--max-sessions-per-user") {
            if (!parseNumber(value, 10000000, number) || number == 0) {
                error = "--max-sessions-per-user wants a positive number, got " + value;
                return false;
            }
            out.maxSessionsPerUser = number;
        } else if (name == "--redis") {
            if (!parseHostPort(value, out.redisHost, out.redisPort) || out.redisPort == 0) {
                error = "--redis wants HOST:PORT, got " + value;
                return false;
            }
        } else if (name == "--data") {
            if (value.empty()) {
                error = "--data wants a folder";
                return false;
            }
            out.dataDir = value;
            dataGiven = true;
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    return storageChoiceIsClear(out.memoryOnly, dataGiven, out.usesRedis(), error);
}

} // namespace quorix::service
