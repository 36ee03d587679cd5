// quorix-wire: decode a vote frame from hex to JSON, or encode JSON back to hex.
//   quorix-wire decode [--hex HEX]    hex from the option or standard input
//   quorix-wire encode                JSON document on standard input
// Errors: one line on standard error, exit status 2.

#include "jsonreader.h"
#include "wirejson.h"

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

namespace {

constexpr std::size_t kMaxInput = 16 * 1024 * 1024;

int usage()
{
    std::cerr << "usage: quorix-wire decode [--hex HEX] | quorix-wire encode" << std::endl;
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

int decode(int argc, char** argv)
{
    std::string hex;
    if (argc == 4 && std::string(argv[2]) == "--hex")
        hex = argv[3];
    else if (argc == 2)
        hex = readInput();
    else
        return usage();
    std::cout << WireJson::decodeFrame(WireJson::fromHex(hex)).write() << std::endl;
    return 0;
}

int encode(int argc)
{
    if (argc != 2)
        return usage();
    const std::string input = readInput();
    JsonReader reader(input);
    JsonValue document;
    if (!reader.parse(document))
        throw WireJsonError(reader.error());
    std::cout << WireJson::toHex(WireJson::encodeFrame(document)) << std::endl;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string command = argv[1];
    try {
        if (command == "decode")
            return decode(argc, argv);
        if (command == "encode")
            return encode(argc);
    } catch (const std::exception& e) {
        std::cerr << "quorix-wire: " << e.what() << std::endl;
        return 2;
    }
    return usage();
}
