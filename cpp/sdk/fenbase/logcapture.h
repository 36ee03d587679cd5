#pragma once

// Captures log records for tests. While at least one capture exists, every level is enabled
// (whatever FENBASE_LOG_LEVEL says) and each record is appended to every live capture, in
// addition to being written to the sink when its level is within FENBASE_LOG_LEVEL.
// Captures nest; each sees the records written during its own lifetime.

#include <string>
#include <vector>

namespace fenbase {

struct LogRecord
{
    int level = 0;
    std::string module;
    std::string file;
    std::string function;
    int line = 0;
    std::string text; // UTF-8
};

class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogRecord> records() const;
    // True when some record's text contains `text` (UTF-8).
    bool contains(const std::string& text) const;
    // Number of records whose text equals `text` exactly.
    int count(const std::string& text) const;
    void clear();

    // Called by DoLog for every record while captures exist.
    static void dispatch(const LogRecord& record);
    static bool anyActive();

private:
    std::vector<LogRecord> m_records;
};

} // namespace fenbase
