#include "journal/ProcessOwner.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QSysInfo>

#include <pwd.h>
#include <unistd.h>

namespace {

QByteArray ReadProcFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// The start time of a process in clock ticks after boot (field 22 of /proc/PID/stat); 0 when the
// process does not exist. The command name may hold spaces and parentheses, so fields are counted
// after its last ')'.
qint64 StartTicks(qint64 pid)
{
    const QByteArray stat = ReadProcFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype nameEnd = stat.lastIndexOf(')');
    if (nameEnd < 0)
        return 0;
    const QList<QByteArray> fields = stat.mid(nameEnd + 2).split(' ');
    // Fields after the name start with the state, field 3.
    constexpr int startTimeIndex = 22 - 3;
    return fields.size() > startTimeIndex ? fields[startTimeIndex].toLongLong() : 0;
}

} // namespace

ProcessOwner CurrentProcessOwner()
{
    const qint64 pid = ::getpid();
    return {QSysInfo::machineHostName(),
            QString::fromLatin1(ReadProcFile(QStringLiteral("/proc/sys/kernel/random/boot_id")).trimmed()),
            pid, StartTicks(pid)};
}

bool OwnerIsGone(const ProcessOwner& owner, const ProcessOwner& self)
{
    if (owner.host != self.host)
        return false;
    if (owner.bootId != self.bootId)
        return true;
    return StartTicks(owner.pid) != owner.startTicks;
}

QString CurrentUserName()
{
    if (const passwd* entry = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return QProcessEnvironment::systemEnvironment().value(QStringLiteral("USER"));
}
