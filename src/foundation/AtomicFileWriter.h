#pragma once

#include "foundation/Exceptions.h"

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <functional>
#include <optional>

// A file that could not be replaced. The message names the file and gives the system's reason;
// the parts are kept for callers that word it their own way (the key tool speaks English).
class EFileWriteError final : public Exception {
  public:
    EFileWriteError(const QString& message, QString fileName, QString reason)
        : Exception(message), FFileName(std::move(fileName)), FReason(std::move(reason))
    {
    }
    const QString& fileName() const noexcept { return FFileName; }
    const QString& reason() const noexcept { return FReason; }

  private:
    QString FFileName;
    QString FReason;
};

// Replaces the file with `bytes`: they are written beside it, synced to the disk and renamed over
// it, so a reader sees either the old file or the whole new one. A failure at any step (create,
// write, sync, rename) raises EFileWriteError and leaves the previous file as it was. A replaced
// file keeps its permissions unless `permissions` is given; a new one gets the usual ones.
void WriteFileAtomically(const QString& fileName, const QByteArray& bytes,
                         std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// The same for content made piece by piece (an export of many rows): `produce` hands each piece to
// the writer it is given, and nothing of it is kept in memory.
using AtomicWriteSink = std::function<void(const QByteArray& piece)>;
void WriteFileAtomically(const QString& fileName, const std::function<void(const AtomicWriteSink&)>& produce,
                         std::optional<QFileDevice::Permissions> permissions = std::nullopt);
