#include "serveroptions.h"

#include <fstream>
#include <sstream>

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
           "  --secret-file FILE    require HELLO tokens signed with the secret in FILE;\n"
           "                        without it identities are trusted as sent\n"
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
    std::ostringstream contents;
    contents << in.rdbuf();
    secret = contents.str();
    while (!secret.empty() && (secret.back() == '\n' || secret.back() == '\r'))
        secret.pop_back();
    if (secret.empty()) {
        error = "the secret file " + path + " is empty";
        return false;
    }
    return true;
}

bool ServerOptions::parse(const std::vector<std::string>& args, ServerOptions& out, bool& help,
                          std::string& error)
{
    help = false;
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
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    return true;
}

} // namespace quorix::service
