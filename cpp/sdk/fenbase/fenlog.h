#pragma once

#include <string>

// Log entry points of the base library.
//
// DoLog writes one line per record: time, level, module, function, file:line and the text in
// UTF-8. A smaller level is more important. Unless a program set its sinks (setLogSinks), lines go
// to standard error, or are appended to the file named by FENBASE_LOG_FILE, and
// FENBASE_LOG_LEVEL (default 2) is the highest level written. While a fenbase::LogCapture exists,
// every level is enabled and every record is also handed to the captures.

// True when a record of this level would be written or captured.
bool IsLogLevelEnabled(unsigned short level);

// Writes one record. Null names and text are treated as empty.
void DoLog(unsigned short level, const char* module, const char* file, unsigned short line,
           const char* function, const wchar_t* text);

namespace fenbase {

// Where a program sends records, in place of the environment variables.
struct LogSinks
{
    std::string file; // records up to fileLevel are appended here; empty: no file
    unsigned short fileLevel = 2;
    int stderrLevel = -1; // records up to this level also go to standard error; -1: none
};

// From now on records go to `sinks`. A record the file cannot take (it cannot be opened) goes to
// standard error instead, so it is not lost.
void setLogSinks(const LogSinks& sinks);
// Back to FENBASE_LOG_FILE and FENBASE_LOG_LEVEL.
void clearLogSinks();

// Wide text (UTF-16 or UTF-32 as wchar_t is wide) to UTF-8. Invalid code units become U+FFFD.
std::string wideToUtf8(const wchar_t* text);

} // namespace fenbase
