#pragma once

#include <QString>
#include <QStringList>

// The operator's words for failures of files and exchanges, kept together so that every caller
// (the window, the command-line client, the tools) says the same thing the same way. The texts of
// an exchange end without a full stop: the time-stamp client appends the address to them.

// A file that could not be opened or read, with the system's reason on the second line.
QString FileOpenErrorText(const QString& fileName, const QString& reason);
QString FileReadErrorText(const QString& fileName, const QString& reason);

// A file the programs do not read: a device, a pipe or a folder where a file was meant.
QString FileNotRegularText(const QString& fileName);

// A file larger than the programs read for its kind.
QString FileTooLargeText(const QString& fileName, qint64 limitBytes);

// A file that could not be created, with the system's reason on the second line.
QString FileCreateErrorText(const QString& fileName, const QString& reason);

// A file whose new content could not be written, flushed, synced or put in place.
QString FileWriteErrorText(const QString& fileName, const QString& reason);

// A file that was read but is damaged: the file, then each problem on a line of its own.
QString DamagedFileText(const QString& fileName, const QStringList& problems);

// The exchange journal (a file, or a server by its address) could not be opened, read or written, with the
// store's reason on the second line.
QString JournalOpenErrorText(const QString& journal, const QString& reason);
QString JournalReadErrorText(const QString& journal, const QString& reason);
QString JournalWriteErrorText(const QString& journal, const QString& reason);

// An exchange in which nothing moved in either direction for the whole time-out.
QString ExchangeSilentText(int timeoutMs);

// An exchange that moved fewer than `bytesPerSecond` on average over `windowMs`.
QString ExchangeTooSlowText(const QString& url, int bytesPerSecond, int windowMs);

// An exchange that was still going on when its whole time ran out.
QString ExchangeTooLongText(const QString& url, int limitMs);

// An exchange that failed below HTTP (no connection, name resolution, TLS), with libcurl's reason.
QString NoConnectionText(const QString& url, const QString& reason);

// An exchange the operator stopped.
QString ExchangeCancelledText(const QString& url);

// A reply that is, or says it will be, larger than the client takes.
QString ReplyTooLargeText(const QString& url, qint64 limitBytes);

// An https server whose certificate was not accepted, with libcurl's reason.
QString ServerCertificateRefusedText(const QString& host, const QString& reason);
