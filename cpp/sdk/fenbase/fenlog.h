#pragma once

#include <string>

// Log entry points of the base library.
//
// DoLog writes one line per record: time, level, module, function, file:line and the text in
// UTF-8. Lines go to standard error, or are appended to the file named by FENBASE_LOG_FILE.
// FENBASE_LOG_LEVEL (default 2) is the highest level written. While a fenbase::LogCapture exists,
// every level is enabled and every record is also handed to the captures.

// True when a record of this level would be written or captured.
bool IsLogLevelEnabled(unsigned short level);

// Writes one record. Null names and text are treated as empty.
void DoLog(unsigned short level, const char* module, const char* file, unsigned short line,
           const char* function, const wchar_t* text);

namespace fenbase {

// Wide text (UTF-16 or UTF-32 as wchar_t is wide) to UTF-8. Invalid code units become U+FFFD.
std::string wideToUtf8(const wchar_t* text);

} // namespace fenbase
