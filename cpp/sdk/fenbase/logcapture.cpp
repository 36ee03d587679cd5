#include "logcapture.h"

#include <algorithm>
#include <mutex>

namespace fenbase {

namespace {

std::mutex& captureMutex()
{
    static std::mutex m;
    return m;
}

std::vector<LogCapture*>& liveCaptures()
{
    static std::vector<LogCapture*> captures;
    return captures;
}

} // namespace

LogCapture::LogCapture()
{
    std::lock_guard<std::mutex> lock(captureMutex());
    liveCaptures().push_back(this);
}

LogCapture::~LogCapture()
{
    std::lock_guard<std::mutex> lock(captureMutex());
    auto& captures = liveCaptures();
    captures.erase(std::remove(captures.begin(), captures.end(), this), captures.end());
}

std::vector<LogRecord> LogCapture::records() const
{
    std::lock_guard<std::mutex> lock(captureMutex());
    return m_records;
}

bool LogCapture::contains(const std::string& text) const
{
    std::lock_guard<std::mutex> lock(captureMutex());
    return std::any_of(m_records.begin(), m_records.end(),
                       [&](const LogRecord& r) { return r.text.find(text) != std::string::npos; });
}

int LogCapture::count(const std::string& text) const
{
    std::lock_guard<std::mutex> lock(captureMutex());
    return static_cast<int>(std::count_if(m_records.begin(), m_records.end(),
                                          [&](const LogRecord& r) { return r.text == text; }));
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> lock(captureMutex());
    m_records.clear();
}

void LogCapture::dispatch(const LogRecord& record)
{
    std::lock_guard<std::mutex> lock(captureMutex());
    for (LogCapture* capture : liveCaptures())
        capture->m_records.push_back(record);
}

bool LogCapture::anyActive()
{
    std::lock_guard<std::mutex> lock(captureMutex());
    return !liveCaptures().empty();
}

} // namespace fenbase
