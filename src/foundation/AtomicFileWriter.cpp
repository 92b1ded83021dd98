#include "foundation/AtomicFileWriter.h"

#include "foundation/ErrorTexts.h"

#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

[[noreturn]] void ThrowCreateError(const QString& fileName, const QString& reason)
{
    throw EFileWriteError(FileCreateErrorText(fileName, reason), fileName, reason);
}

[[noreturn]] void ThrowWriteError(QSaveFile& file, const QString& fileName, const QString& reason)
{
    file.cancelWriting();
    throw EFileWriteError(FileWriteErrorText(fileName, reason), fileName, reason);
}

#ifdef Q_OS_UNIX
QString SystemReason()
{
    return qt_error_string(errno);
}

// The rename itself is durable only once the folder's entry is on the disk.
void SyncFolderOf(const QString& fileName)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(fileName).absolutePath());
    const int descriptor = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return;
    // The new file is already in place: a file system that cannot sync a folder leaves nothing
    // the caller could put right, so this one step is not reported.
    ::fsync(descriptor);
    ::close(descriptor);
}
#endif

} // namespace

void WriteFileAtomically(const QString& fileName, const QByteArray& bytes,
                         std::optional<QFileDevice::Permissions> permissions)
{
    WriteFileAtomically(
        fileName, [&bytes](const AtomicWriteSink& write) { write(bytes); }, permissions);
}

void WriteFileAtomically(const QString& fileName, const std::function<void(const AtomicWriteSink&)>& produce,
                         std::optional<QFileDevice::Permissions> permissions)
{
    QSaveFile file(fileName);
    // Writing in place would cut the old file at the first failure.
    file.setDirectWriteFallback(false);
    // Unbuffered: a buffered write only fails at the flush inside commit(), which QSaveFile does
    // not report, and would then rename an empty file over the old one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        ThrowCreateError(fileName, file.errorString());
    if (permissions && !file.setPermissions(*permissions))
        ThrowWriteError(file, fileName, file.errorString());

    // A write that stops short (the disk filled up half way) is repeated for the rest, so the
    // system's reason for stopping is what the operator reads.
    try {
        produce([&](const QByteArray& bytes) {
            qint64 written = 0;
            while (written < bytes.size()) {
                const qint64 count = file.write(bytes.constData() + written, bytes.size() - written);
                if (count <= 0)
                    ThrowWriteError(file, fileName, file.errorString());
                written += count;
            }
        });
    } catch (...) {
        // A producer's own failure leaves the previous file too.
        file.cancelWriting();
        throw;
    }
#ifdef Q_OS_UNIX
    // commit() syncs too but does not say whether that worked.
    if (::fsync(file.handle()) != 0)
        ThrowWriteError(file, fileName, SystemReason());
#endif
    if (!file.commit())
        throw EFileWriteError(FileWriteErrorText(fileName, file.errorString()), fileName, file.errorString());
#ifdef Q_OS_UNIX
    SyncFolderOf(fileName);
#endif
}
