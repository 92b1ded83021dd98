#include "foundation/ErrorTexts.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString FilePathText(const QString& fileName)
{
    return QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath());
}

// Limits are whole minutes or seconds in use; tests shorten them to fractions of a second.
QString DurationText(int ms)
{
    if (ms % 60000 == 0)
        return QStringLiteral("%1 мин").arg(ms / 60000);
    if (ms % 1000 == 0)
        return QStringLiteral("%1 с").arg(ms / 1000);
    return QStringLiteral("%1 мс").arg(ms);
}

QString SizeText(qint64 bytes)
{
    constexpr qint64 megabyte = 1024 * 1024;
    if (bytes % megabyte == 0)
        return QStringLiteral("%1 МБ").arg(bytes / megabyte);
    return QStringLiteral("%1 байт").arg(bytes);
}

} // namespace

QString FileOpenErrorText(const QString& fileName, const QString& reason)
{
    return QStringLiteral("Невозможно открыть файл \"%1\".\n%2").arg(FilePathText(fileName), reason);
}

QString FileReadErrorText(const QString& fileName, const QString& reason)
{
    return QStringLiteral("Ошибка чтения файла \"%1\".\n%2").arg(FilePathText(fileName), reason);
}

QString FileNotRegularText(const QString& fileName)
{
    return QStringLiteral("Файл \"%1\" не прочитан: это не обычный файл. Укажите файл с данными.")
        .arg(FilePathText(fileName));
}

QString FileTooLargeText(const QString& fileName, qint64 limitBytes)
{
    return QStringLiteral("Файл \"%1\" не прочитан: он больше %2. Проверьте, тот ли файл указан.")
        .arg(FilePathText(fileName), SizeText(limitBytes));
}

QString FileCreateErrorText(const QString& fileName, const QString& reason)
{
    return QStringLiteral("Невозможно создать файл \"%1\".\n%2").arg(FilePathText(fileName), reason);
}

QString FileWriteErrorText(const QString& fileName, const QString& reason)
{
    return QStringLiteral("Ошибка записи в файл \"%1\".\n%2").arg(FilePathText(fileName), reason);
}

QString DamagedFileText(const QString& fileName, const QStringList& problems)
{
    return QStringLiteral("Файл \"%1\" поврежден:\n").arg(FilePathText(fileName)) + problems.join(u'\n') +
           QStringLiteral("\nПроверьте значения, прежде чем отправлять сообщение.");
}

namespace {

// A shared journal is named by its server's address, which is no file path.
QString JournalLocationText(const QString& journal)
{
    return journal.contains(QLatin1String("://")) ? journal : FilePathText(journal);
}

} // namespace

QString JournalOpenErrorText(const QString& journal, const QString& reason)
{
    return QStringLiteral("Невозможно открыть журнал обменов \"%1\".\n%2")
        .arg(JournalLocationText(journal), reason);
}

QString JournalReadErrorText(const QString& journal, const QString& reason)
{
    return QStringLiteral("Ошибка чтения журнала обменов \"%1\".\n%2")
        .arg(JournalLocationText(journal), reason);
}

QString JournalWriteErrorText(const QString& journal, const QString& reason)
{
    return QStringLiteral("Ошибка записи в журнал обменов \"%1\".\n%2")
        .arg(JournalLocationText(journal), reason);
}

QString ExchangeSilentText(int timeoutMs)
{
    return QStringLiteral("Обмен с сервером прерван: за %1 не передано ни байта; проверьте адрес в "
                          "настройках и сеть")
        .arg(DurationText(timeoutMs));
}

QString ExchangeTooSlowText(const QString& url, int bytesPerSecond, int windowMs)
{
    return QStringLiteral("Обмен с сервером %1 прерван: за %2 передано меньше %3 байт в секунду")
        .arg(url, DurationText(windowMs))
        .arg(bytesPerSecond);
}

QString ExchangeTooLongText(const QString& url, int limitMs)
{
    return QStringLiteral("Обмен с сервером %1 прерван: он длится дольше %2").arg(url, DurationText(limitMs));
}

QString ReplyTooLargeText(const QString& url, qint64 limitBytes)
{
    return QStringLiteral("Ответ сервера %1 не принят: он больше %2").arg(url, SizeText(limitBytes));
}

QString ServerCertificateRefusedText(const QString& host, const QString& reason)
{
    return QStringLiteral("Сертификат сервера %1 не принят: %2").arg(host, reason);
}

QString NoConnectionText(const QString& url, const QString& reason)
{
    return QStringLiteral("Нет связи с сервером %1; проверьте адрес в настройках и сеть (%2)")
        .arg(url, reason);
}

QString ExchangeCancelledText(const QString& url)
{
    return QStringLiteral("Обмен с сервером %1 прерван оператором").arg(url);
}
