#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The small key=value text files of the client: the settings file, the window-state file and the
// four field files. They are kept in the system's 8-bit code page, Windows-1251, so that files
// written by earlier installations and edited by hand in a Windows editor stay readable.

// `text` in Windows-1251. False when a character has no place in that code page (the bytes then
// hold a substitute for it and must not be stored).
bool EncodeAnsiText(const QString& text, QByteArray& bytes);

// Windows-1251 bytes as text.
QString DecodeAnsiText(const QByteArray& bytes);

// The text of a file's bytes: a byte-order mark (UTF-8, UTF-16 or UTF-32) selects the encoding and
// is dropped; without one, bytes that are valid UTF-8 and not all ASCII are UTF-8 (what editors and
// scripts on Linux write; Windows-1251 Russian text is never valid UTF-8), otherwise Windows-1251.
// Bytes that are invalid in the chosen encoding become U+FFFD so the rest of the file is still read.
QString DecodeKeyValueText(const QByteArray& bytes);

// The bytes to store for `text`: Windows-1251 without a byte-order mark when every character fits,
// otherwise UTF-8 with a byte-order mark, so nothing the operator typed is lost.
QByteArray EncodeKeyValueText(const QString& text);

// Lines of a text; CR LF, LF and CR each end a line, and a break at the very end adds no empty line.
QStringList SplitTextLines(const QString& text);

// The largest files the programs read: a device or a huge file named by mistake must not exhaust
// memory. Settings, field, password, key and certificate files are small; a trust file (a whole
// chain of authorities) or the sandbox's data set may be larger.
constexpr qint64 kSmallFileLimit = 1024 * 1024;
constexpr qint64 kLargeFileLimit = 16 * 1024 * 1024;

// The bytes of a whole file of at most `limit` bytes. A file that cannot be opened or read, is not a
// regular file (a device, a pipe, a folder) or is larger raises Exception with the path and the
// reason, in the words every read of the operator's files uses.
QByteArray ReadFileBytes(const QString& fileName, qint64 limit = kSmallFileLimit);

// The lines of a file. A file that cannot be read raises Exception with the path and the reason.
QStringList ReadKeyValueFile(const QString& fileName);

// The same, and in `damage` what the operator should be told before the values are used, or the
// empty text: the lines (by number, from 1) that hold bytes invalid in the file's encoding, that no
// line holds one of `knownKeys` (an empty file included), or that the file was taken for UTF-8
// without a byte-order mark. The file loads as it is all the same. `onlyEncodingGuessed`, when given,
// tells whether the guessed encoding is all the damage names: the values are then as written.
QStringList ReadKeyValueFile(const QString& fileName, const QStringList& knownKeys, QString& damage,
                             bool* onlyEncodingGuessed = nullptr);

// Stores the lines, each ended by CR LF (line breaks inside an entry are written as CR LF too),
// replacing the file atomically (WriteFileAtomically): on any failure the old file stays whole and
// EFileWriteError names the file and the reason.
void WriteKeyValueFile(const QString& fileName, const QStringList& lines);

// The value of `key` in key=value lines: everything after the first "=" of the first line whose
// part before that "=" equals the key without regard to case; the empty text when there is none.
QString KeyValue(const QStringList& lines, const QString& key);
