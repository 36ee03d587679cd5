#pragma once

// An exclusive lock on a vote data folder, held while the object lives: an flock on FOLDER/lock,
// a file (mode 0600) that holds the holder's process id as text. The kernel drops the lock when the
// process ends, however it ends, so a killed service never leaves a stale lock behind. Two services
// on one folder would each resume and overwrite the other's open votes; the second one is refused.

#include <memory>
#include <string>

namespace quorix::service {

class DataFolderLock
{
public:
    // Takes the lock on the folder (which must exist). Null with a message when another process
    // holds it ("data folder D is in use by process N") or the lock file cannot be used.
    static std::unique_ptr<DataFolderLock> acquire(const std::string& folder, std::string& error);
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;

private:
    explicit DataFolderLock(int descriptor) : m_descriptor(descriptor) {}

    int m_descriptor;
};

} // namespace quorix::service
