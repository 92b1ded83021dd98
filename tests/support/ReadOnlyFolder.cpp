#include "ReadOnlyFolder.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

bool SetImmutable(const QString& path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

} // namespace

ReadOnlyFolder::ReadOnlyFolder(QString path) : FPath(std::move(path))
{
    QFile::setPermissions(FPath, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                                     QFile::ReadOther | QFile::ExeOther);
    if (::geteuid() == 0)
        FImmutable = SetImmutable(FPath, true);

    // Probe: the folder counts as read-only only when a new file really cannot be made in it.
    QFile probe(QDir(FPath).filePath(QStringLiteral(".probe")));
    FReadOnly = !probe.open(QIODevice::WriteOnly);
    if (!FReadOnly) {
        probe.close();
        probe.remove();
    }
}

ReadOnlyFolder::~ReadOnlyFolder()
{
    if (FImmutable)
        SetImmutable(FPath, false);
    QFile::setPermissions(FPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                     QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
}
