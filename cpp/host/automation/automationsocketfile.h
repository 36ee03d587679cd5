#pragma once

// The file of the automation socket. A path given by the user names a place in the file system:
// a relative one is taken from the working directory, and only an old socket that nothing
// listens on is ever removed from it. A file, a folder, a symbolic link or a live socket at the
// path is refused and left in place.

#include <QString>

class AutomationSocketFile
{
public:
    // `path` made absolute against the working directory.
    static QString absolutePath(const QString& path);
    // A listening socket bound at the absolute `path`, readable and writable by its owner only;
    // -1 with `error` set when the path is taken or the socket cannot be opened.
    static int listen(const QString& path, QString* error);

private:
    // Binds `fd` at `path`, first removing an old socket there that nothing listens on.
    static bool bindReplacingOldSocket(int fd, const QString& path, QString* error);
    // Removes the socket at `path` when nothing listens on it; else false with `error` set.
    static bool removeOldSocket(const QString& path, QString* error);
    static bool listenOwnerOnly(int fd, const QString& path, QString* error);
};
