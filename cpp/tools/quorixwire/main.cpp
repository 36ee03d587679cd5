// quorix-wire: decode a vote frame from hex to JSON, or encode JSON back to hex.
//   quorix-wire decode [--hex HEX]    hex from the option or standard input
//   quorix-wire encode                JSON document on standard input
//   quorix-wire --help | --version
// Errors: one line on standard error saying why, exit status 2.

#include <quorix/protocol/jsontext.h>
#include <quorix/protocol/wirejson.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

constexpr std::size_t kMaxInput = 16 * 1024 * 1024;

int usage(const std::string& reason)
{
    std::cerr << "quorix-wire: " << reason << " (usage: quorix-wire decode [--hex HEX] | quorix-wire encode)"
              << std::endl;
    return 2;
}

std::string readInput()
{
    std::string input;
    char chunk[65536];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) {
        if (input.size() + n > kMaxInput)
            throw WireJsonError("input larger than 16 MiB");
        input.append(chunk, n);
    }
    return input;
}

void decode(const std::string& hex)
{
    std::cout << JsonText::write(WireJson::decodeFrame(WireJson::fromHex(hex))) << std::endl;
}

void encode(const std::string& json)
{
    nlohmann::ordered_json document;
    std::string error;
    if (!JsonText::read(json, document, error))
        throw WireJsonError(error);
    std::cout << WireJson::toHex(WireJson::encodeFrame(document)) << std::endl;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app("Shows a vote frame as JSON and turns such JSON back into the frame.", "quorix-wire");
    app.set_version_flag("--version", "quorix-wire " QUORIX_VERSION);
    app.require_subcommand(1);
    std::string hex;
    CLI::App* decodeCommand = app.add_subcommand("decode", "frame as hex (whitespace ignored) to JSON");
    CLI::Option* hexOption =
        decodeCommand->add_option("--hex", hex, "the frame's hex digits; without it, standard input")
            ->type_name("HEX");
    app.add_subcommand("encode", "JSON document on standard input to the frame as hex");
    app.footer("Options of decode:\n"
               "  --hex HEX                   the frame's hex digits; without it, standard input\n"
               "Each command prints one line; a frame or document it cannot read is one line on standard "
               "error and status 2.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version end with status 0; any other command line is told why it failed.
        return e.get_exit_code() == 0 ? app.exit(e) : usage(e.what());
    }
    try {
        if (decodeCommand->parsed())
            decode(hexOption->count() > 0 ? hex : readInput());
        else
            encode(readInput());
    } catch (const std::exception& e) {
        std::cerr << "quorix-wire: " << e.what() << std::endl;
        return 2;
    }
    return 0;
}
