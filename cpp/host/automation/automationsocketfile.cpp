#include "host/automation/automationsocketfile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kListenBacklog = 50;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

sockaddr_un addressOf(const QByteArray& path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    return address;
}

QString kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return QStringLiteral("a regular file");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    return QStringLiteral("a special file");
}

// Connects to `path` and returns 0 or the errno. Only ECONNREFUSED means nobody listens; EAGAIN
// (a full backlog) comes from a live server too.
int probeConnect(const QByteArray& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return errno;
    const sockaddr_un address = addressOf(path);
    const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    const int error = result == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

} // namespace

QString AutomationSocketFile::absolutePath(const QString& path)
{
    return QDir::current().absoluteFilePath(path);
}

int AutomationSocketFile::listen(const QString& path, QString* error)
{
    error->clear();
    const QByteArray encoded = QFile::encodeName(path);
    if (static_cast<size_t>(encoded.size()) >= sizeof(sockaddr_un::sun_path)) {
        *error = QStringLiteral("automation socket path %1 is longer than %2 bytes")
                     .arg(path)
                     .arg(sizeof(sockaddr_un::sun_path) - 1);
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = QStringLiteral("cannot open the automation socket: %1").arg(systemError(errno));
        return -1;
    }
    if (bindReplacingOldSocket(fd, path, error) && listenOwnerOnly(fd, path, error))
        return fd;
    ::close(fd);
    return -1;
}

// bind() never replaces what is at the path, so nothing is lost between looking and binding.
bool AutomationSocketFile::bindReplacingOldSocket(int fd, const QString& path, QString* error)
{
    const sockaddr_un address = addressOf(QFile::encodeName(path));
    const auto bindAddress = [&] {
        return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    };
    if (bindAddress())
        return true;
    if (errno == EADDRINUSE && removeOldSocket(path, error) && bindAddress())
        return true;
    if (error->isEmpty())
        *error = QStringLiteral("cannot listen on %1: %2").arg(path, systemError(errno));
    return false;
}

bool AutomationSocketFile::removeOldSocket(const QString& path, QString* error)
{
    const QByteArray encoded = QFile::encodeName(path);
    struct stat status = {};
    if (::lstat(encoded.constData(), &status) != 0) {
        *error = QStringLiteral("cannot inspect automation socket %1: %2").arg(path, systemError(errno));
        return false;
    }
    if (!S_ISSOCK(status.st_mode)) {
        *error = QStringLiteral("automation socket %1 is %2, not a socket; it is left in place")
                     .arg(path, kindOf(status.st_mode));
        return false;
    }
    const int probe = probeConnect(encoded);
    if (probe != ECONNREFUSED) {
        *error = probe == 0 || probe == EAGAIN
                     ? QStringLiteral("automation socket %1 is in use").arg(path)
                     : QStringLiteral("cannot reach automation socket %1: %2").arg(path, systemError(probe));
        return false;
    }
    if (::unlink(encoded.constData()) != 0) {
        *error = QStringLiteral("cannot remove old automation socket %1: %2").arg(path, systemError(errno));
        return false;
    }
    return true;
}

// Nobody can connect before listen(), so the socket is made owner-only in between.
bool AutomationSocketFile::listenOwnerOnly(int fd, const QString& path, QString* error)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (::chmod(encoded.constData(), S_IRUSR | S_IWUSR) == 0 && ::listen(fd, kListenBacklog) == 0)
        return true;
    *error = QStringLiteral("cannot listen on %1: %2").arg(path, systemError(errno));
    ::unlink(encoded.constData());
    return false;
}
