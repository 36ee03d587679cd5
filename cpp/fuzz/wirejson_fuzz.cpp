// quorix-wire's readers. The first input byte chooses what the rest is:
//   even: a JSON document. What parses writes out in a form that parses to the same text again;
//         a document the encoder turns into a frame decodes back completely and encodes to the
//         same frame.
//   odd:  a frame. What decodes is written as JSON that the reader accepts (unless keys differ
//         only in bytes that are not UTF-8), and encoding that JSON succeeds or is refused with
//         a message.

#include <quorix/protocol/jsontext.h>
#include <quorix/protocol/wirejson.h>

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using Json = nlohmann::ordered_json;

[[noreturn]] void fault(const char* what)
{
    std::fprintf(stderr, "wire json fuzz: %s\n", what);
    std::abort();
}

Json parseOrFault(const std::string& text, const char* what)
{
    Json value;
    std::string error;
    if (!JsonText::read(text, value, error))
        fault(what);
    return value;
}

void fromJson(const std::string& input)
{
    Json document;
    std::string error;
    if (!JsonText::read(input, document, error))
        return;
    const std::string written = JsonText::write(document);
    if (JsonText::write(parseOrFault(written, "written JSON does not parse")) != written)
        fault("written JSON is not stable");
    std::string frame;
    try {
        frame = WireJson::encodeFrame(document);
    } catch (const WireJsonError&) {
        return;
    }
    Json decoded;
    try {
        decoded = WireJson::decodeFrame(frame);
    } catch (const WireJsonError&) {
        fault("an encoded frame does not decode");
    }
    const auto complete = decoded.find("complete");
    if (complete == decoded.end() || *complete != true)
        fault("an encoded frame decodes incompletely");
    if (WireJson::encodeFrame(decoded) != frame)
        fault("a decoded frame encodes to other bytes");
}

void fromFrame(const std::string& input)
{
    Json decoded;
    try {
        decoded = WireJson::decodeFrame(input);
    } catch (const WireJsonError&) {
        return;
    }
    // Texts that are not UTF-8 are written with U+FFFD in place of each bad byte (documented), so
    // two text keys differing only in such bytes come out as the same key, which the reader
    // refuses; any other refusal is a fault.
    const std::string written = JsonText::write(decoded);
    Json reread;
    std::string error;
    if (!JsonText::read(written, reread, error)) {
        if (error.find("duplicate member") == std::string::npos)
            fault("a decoded frame is written as JSON that does not parse");
        return;
    }
    try {
        WireJson::encodeFrame(reread);
    } catch (const WireJsonError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] % 2 == 0)
        fromJson(rest);
    else
        fromFrame(rest);
    return 0;
}
