#include "foundation/KeyValueFile.h"

#include "foundation/AtomicFileWriter.h"
#include "foundation/ErrorTexts.h"
#include "foundation/Exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>

namespace {

const char* const kAnsiCodePage = "windows-1251";

// Qt reaches Windows-1251 through ICU; a build without it could not read a single field file, so
// that is said plainly instead of reading garbage.
[[noreturn]] void ThrowNoAnsiCodePage()
{
    throw Exception(QStringLiteral("Кодировка Windows-1251 недоступна в этой сборке Qt."));
}

// What a damaged file reads as: a byte the encoding has no character for (U+FFFD, or in
// Windows-1251 the C1 control its one undefined byte becomes) or a control character, which no
// operator types into a field and which random bytes are full of.
bool HoldsUndecodableText(const QString& line)
{
    for (const QChar c : line) {
        const char16_t code = c.unicode();
        if (code == u'\uFFFD' || (code < 0x20 && code != u'\t') || (code >= 0x7F && code <= 0x9F))
            return true;
    }
    return false;
}

// Bytes without a byte-order mark that are valid UTF-8 and hold something beyond ASCII.
bool IsUtf8WithoutMark(const QByteArray& bytes)
{
    bool beyondAscii = false;
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) {
            beyondAscii = true;
            break;
        }
    if (!beyondAscii || QStringConverter::encodingForData(bytes))
        return false;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError() && !text.isEmpty();
}

} // namespace

bool EncodeAnsiText(const QString& text, QByteArray& bytes)
{
    QStringEncoder encoder(kAnsiCodePage, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        ThrowNoAnsiCodePage();
    bytes = encoder.encode(text);
    return !encoder.hasError();
}

QString DecodeAnsiText(const QByteArray& bytes)
{
    QStringDecoder decoder(kAnsiCodePage, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        ThrowNoAnsiCodePage();
    return decoder.decode(bytes);
}

QString DecodeKeyValueText(const QByteArray& bytes)
{
    if (const auto encoding = QStringConverter::encodingForData(bytes)) {
        // Stateless: a sequence cut off at the end of the file becomes U+FFFD instead of vanishing.
        QStringDecoder decoder(*encoding, QStringConverter::Flag::Stateless);
        return decoder.decode(bytes);
    }
    if (IsUtf8WithoutMark(bytes))
        return QString::fromUtf8(bytes);
    return DecodeAnsiText(bytes);
}

QByteArray EncodeKeyValueText(const QString& text)
{
    QByteArray bytes;
    if (EncodeAnsiText(text, bytes))
        return bytes;
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

QStringList SplitTextLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < size && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(text.mid(start));
    return lines;
}

QStringList ReadKeyValueFile(const QString& fileName)
{
    QString damage;
    return ReadKeyValueFile(fileName, {}, damage);
}

QByteArray ReadFileBytes(const QString& fileName, qint64 limit)
{
    // Asked before opening: opening a pipe waits for a writer, and a device never ends.
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile())
        throw Exception(FileNotRegularText(fileName));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(FileOpenErrorText(fileName, file.errorString()));
    if (file.size() > limit)
        throw Exception(FileTooLargeText(fileName, limit));
    // One byte more than the limit tells a file that grew since its size was asked.
    QByteArray bytes = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError)
        throw Exception(FileReadErrorText(fileName, file.errorString()));
    if (bytes.size() > limit)
        throw Exception(FileTooLargeText(fileName, limit));
    return bytes;
}

QStringList ReadKeyValueFile(const QString& fileName, const QStringList& knownKeys, QString& damage,
                             bool* onlyEncodingGuessed)
{
    const QByteArray bytes = ReadFileBytes(fileName);
    const std::optional<QStringConverter::Encoding> encoding = QStringConverter::encodingForData(bytes);
    const bool utf8WithoutMark = IsUtf8WithoutMark(bytes);
    const QStringList lines = SplitTextLines(DecodeKeyValueText(bytes));

    damage.clear();
    if (onlyEncodingGuessed)
        *onlyEncodingGuessed = false;
    if (knownKeys.isEmpty())
        return lines;
    QStringList problems;
    QStringList damagedLines;
    bool anyKnownKey = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (HoldsUndecodableText(lines[i]))
            damagedLines << QString::number(i + 1);
        const qsizetype separator = lines[i].indexOf(u'=');
        if (separator > 0 && knownKeys.contains(lines[i].left(separator), Qt::CaseInsensitive))
            anyKnownKey = true;
    }
    if (!damagedLines.isEmpty()) {
        const QString encodingName = encoding
                                         ? QString::fromLatin1(QStringConverter::nameForEncoding(*encoding))
                                         : QStringLiteral("Windows-1251");
        problems << (damagedLines.size() == 1 ? QStringLiteral("строка %1") : QStringLiteral("строки %1"))
                            .arg(damagedLines.join(QStringLiteral(", "))) +
                        QStringLiteral(": байты, недопустимые в кодировке ") + encodingName;
    }
    if (!anyKnownKey)
        problems << QStringLiteral("нет ни одного известного ключа");
    if (utf8WithoutMark) {
        if (onlyEncodingGuessed)
            *onlyEncodingGuessed = problems.isEmpty();
        problems << QStringLiteral("сохранен в UTF-8 без метки: прочитан как UTF-8; сохраните его из "
                                   "программы, чтобы кодировка была однозначной");
    }
    if (!problems.isEmpty())
        damage = DamagedFileText(fileName, problems);
    return lines;
}

void WriteKeyValueFile(const QString& fileName, const QStringList& lines)
{
    QString text;
    for (const QString& line : lines) {
        QString entry = line;
        entry.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        entry.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        text += entry;
        text += QStringLiteral("\r\n");
    }
    WriteFileAtomically(fileName, EncodeKeyValueText(text));
}

QString KeyValue(const QStringList& lines, const QString& key)
{
    for (const QString& line : lines) {
        const qsizetype separator = line.indexOf(u'=');
        if (separator < 0)
            continue;
        if (QStringView(line).left(separator).compare(key, Qt::CaseInsensitive) == 0)
            return line.mid(separator + 1);
    }
    return QString();
}
