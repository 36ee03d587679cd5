#include "fenlog.h"

#include "logcapture.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace {

constexpr unsigned short kDefaultLevel = 2;

// The sinks a program set; the file name is guarded by the write mutex, the levels are read on
// every log statement without it.
std::mutex s_writeMutex;
std::atomic<bool> s_sinksSet{false};
std::atomic<int> s_fileLevel{-1};
std::atomic<int> s_stderrLevel{-1};
std::string s_sinkFile;

unsigned short environmentLevel()
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

// Appends one line to `path`, opened per line so a moved or deleted file is recreated; false when
// it cannot be opened.
bool appendTo(const char* path, const std::string& line)
{
    std::FILE* file = std::fopen(path, "a");
    if (file == nullptr)
        return false;
    std::fputs(line.c_str(), file);
    std::fclose(file);
    return true;
}

void toStderr(const std::string& line)
{
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

// FENBASE_LOG_FILE, or standard error without it or when it cannot be opened.
void writeByEnvironment(const std::string& line)
{
    const char* path = std::getenv("FENBASE_LOG_FILE");
    if (path == nullptr || *path == '\0' || !appendTo(path, line))
        toStderr(line);
}

void writeToSinks(int level, const std::string& line)
{
    const bool toTerminal = level <= s_stderrLevel.load();
    const bool toFile = !s_sinkFile.empty() && level <= s_fileLevel.load();
    if (toFile && !appendTo(s_sinkFile.c_str(), line) && !toTerminal)
        toStderr(line);
    if (toTerminal)
        toStderr(line);
}

void writeLine(int level, const std::string& line)
{
    std::lock_guard<std::mutex> lock(s_writeMutex);
    if (s_sinksSet.load())
        writeToSinks(level, line);
    else
        writeByEnvironment(line);
}

// The highest level written anywhere.
int enabledLevel()
{
    if (!s_sinksSet.load())
        return environmentLevel();
    return std::max(s_fileLevel.load(), s_stderrLevel.load());
}

const char* orEmpty(const char* s)
{
    return s != nullptr ? s : "";
}

} // namespace

namespace fenbase {

void setLogSinks(const LogSinks& sinks)
{
    std::lock_guard<std::mutex> lock(s_writeMutex);
    s_sinkFile = sinks.file;
    s_fileLevel = sinks.file.empty() ? -1 : int(sinks.fileLevel);
    s_stderrLevel = sinks.stderrLevel;
    s_sinksSet = true;
}

void clearLogSinks()
{
    std::lock_guard<std::mutex> lock(s_writeMutex);
    s_sinksSet = false;
    s_sinkFile.clear();
    s_fileLevel = -1;
    s_stderrLevel = -1;
}

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
    return fenbase::LogCapture::anyActive() || int(level) <= enabledLevel();
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
    if (int(level) > enabledLevel())
        return;
    writeLine(level, timestamp() + " [" + std::to_string(level) + "] " + record.module + " " +
                         record.function + " (" + record.file + ":" + std::to_string(line) + ") " +
                         record.text + "\n");
}
