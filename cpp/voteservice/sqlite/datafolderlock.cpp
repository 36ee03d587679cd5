#include "voteservice/sqlite/datafolderlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace quorix::service {

namespace {

// The holder writes its pid just after taking the lock; a reader that came in between waits for it
// this many times 10 ms.
constexpr int kPidReadAttempts = 50;

std::string readPid(int descriptor)
{
    char text[32];
    const ssize_t size = ::pread(descriptor, text, sizeof text - 1, 0);
    std::string pid;
    for (ssize_t i = 0; i < size && text[i] >= '0' && text[i] <= '9'; ++i)
        pid += text[i];
    return pid;
}

std::string holderOf(int descriptor)
{
    for (int attempt = 0; attempt < kPidReadAttempts; ++attempt) {
        const std::string pid = readPid(descriptor);
        if (!pid.empty())
            return "process " + pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "another process";
}

// The lock itself keeps others out; the pid only lets them name the holder, so a failure to write
// it (a full disk) is not an error: they then say "another process".
bool writePid(int descriptor)
{
    const std::string pid = std::to_string(::getpid()) + "\n";
    return ::ftruncate(descriptor, 0) == 0 &&
           ::pwrite(descriptor, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size());
}

} // namespace

std::unique_ptr<DataFolderLock> DataFolderLock::acquire(const std::string& folder, std::string& error)
{
    const std::string path = folder + "/lock";
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0) {
        error = "cannot open the lock file " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        error = reason == EWOULDBLOCK ? "data folder " + folder + " is in use by " + holderOf(descriptor)
                                      : "cannot lock " + path + ": " + std::strerror(reason);
        ::close(descriptor);
        return nullptr;
    }
    writePid(descriptor);
    return std::unique_ptr<DataFolderLock>(new DataFolderLock(descriptor));
}

DataFolderLock::~DataFolderLock()
{
    ::close(m_descriptor);
}

} // namespace quorix::service
