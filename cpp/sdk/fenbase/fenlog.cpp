#include "fenlog.h"

#include "logcapture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace {

constexpr unsigned short kDefaultLevel = 2;

unsigned short configuredLevel()
{
    const char* value = std::getenv("FENBASE_LOG_LEVEL");
    if (value == nullptr || *value == '\0')
        return kDefaultLevel;
    char* end = nullptr;
    const long level = std::strtol(value, &end, 10);
    if (*end != '\0' || level < 0)
        return kDefaultLevel;
    return level > 0xFFFF ? 0xFFFF : static_cast<unsigned short>(level);
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool isHighSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char32_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

std::string timestamp()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm parts{};
    localtime_r(&seconds, &parts);
    char buffer[40];
    const size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &parts);
    std::snprintf(buffer + n, sizeof buffer - n, ".%03d", static_cast<int>(millis));
    return buffer;
}

// Appends one line to FENBASE_LOG_FILE, opened per line so a moved or deleted file is
// recreated, or to standard error.
void writeLine(const std::string& line)
{
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    const char* path = std::getenv("FENBASE_LOG_FILE");
    std::FILE* file = (path != nullptr && *path != '\0') ? std::fopen(path, "a") : nullptr;
    std::FILE* out = file != nullptr ? file : stderr;
    std::fputs(line.c_str(), out);
    std::fflush(out);
    if (file != nullptr)
        std::fclose(file);
}

const char* orEmpty(const char* s)
{
    return s != nullptr ? s : "";
}

} // namespace

namespace fenbase {

std::string wideToUtf8(const wchar_t* text)
{
    std::string out;
    if (text == nullptr)
        return out;
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        char32_t c = static_cast<char32_t>(*p);
        if (sizeof(wchar_t) == 2 && isHighSurrogate(c) && isLowSurrogate(static_cast<char32_t>(p[1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(p[1]) - 0xDC00);
            ++p;
        } else if (isHighSurrogate(c) || isLowSurrogate(c) || c > 0x10FFFF) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

} // namespace fenbase

bool IsLogLevelEnabled(unsigned short level)
{
    return fenbase::LogCapture::anyActive() || level <= configuredLevel();
}

void DoLog(unsigned short level, const char* module, const char* file, unsigned short line,
           const char* function, const wchar_t* text)
{
    fenbase::LogRecord record;
    record.level = level;
    record.module = orEmpty(module);
    record.file = orEmpty(file);
    record.function = orEmpty(function);
    record.line = line;
    record.text = fenbase::wideToUtf8(text);
    fenbase::LogCapture::dispatch(record);
    if (level > configuredLevel())
        return;
    writeLine(timestamp() + " [" + std::to_string(level) + "] " + record.module + " " + record.function +
              " (" + record.file + ":" + std::to_string(line) + ") " + record.text + "\n");
}
