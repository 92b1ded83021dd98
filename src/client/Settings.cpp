#include "client/Settings.h"

#include "foundation/KeyValueFile.h"
#include "journal/Journal.h"

#include <QFileInfo>

namespace {

QString Flag(bool checked)
{
    return checked ? QStringLiteral("1") : QStringLiteral("0");
}

QStringList SettingsLines(const ClientSettings& settings)
{
    return {
        QStringLiteral("ServiceChargesGISGMP=") + settings.serviceChargesGisGmp,
        QStringLiteral("ServicePaymentGISGMP=") + settings.servicePaymentGisGmp,
        QStringLiteral("ServiceChargesGISGKX=") + settings.serviceChargesGisGkx,
        QStringLiteral("ServicePaymentGISGKX=") + settings.servicePaymentGisGkx,
        QStringLiteral("SystemName=") + settings.systemName,
        QStringLiteral("SMEVCode=") + settings.smevCode,
        QStringLiteral("GISGMPCode=") + settings.gisGmpCode,
        QStringLiteral("GISGKXCode=") + settings.gisGkxCode,
        QStringLiteral("TimeStampServer=") + settings.timeStampServer,
        QStringLiteral("SoapTestMode=") + Flag(settings.testMode),
        QStringLiteral("TimeStampEnable=") + Flag(settings.timeStampEnable),
        QStringLiteral("CryptContainer=") + settings.container,
        QStringLiteral("VerifyReplySignature=") + Flag(settings.verifyReplySignature),
        QStringLiteral("VerifyServerCertificate=") + Flag(settings.verifyServerCertificate),
        QStringLiteral("TrustedCertificates=") + settings.trustedCertificates,
        QStringLiteral("AcceptIssuedReplySigners=") + Flag(settings.acceptIssuedReplySigners),
        JournalDatabaseKey + u'=' + settings.journalDatabase,
    };
}

// What of the file's lines the settings cannot use.
QStringList SettingsLineProblems(const QStringList& lines, const QStringList& keys)
{
    static const QStringList switches{QStringLiteral("SoapTestMode"), QStringLiteral("TimeStampEnable"),
                                      QStringLiteral("VerifyReplySignature"),
                                      QStringLiteral("VerifyServerCertificate"),
                                      QStringLiteral("AcceptIssuedReplySigners")};
    static const QStringList addresses{
        QStringLiteral("ServiceChargesGISGMP"), QStringLiteral("ServicePaymentGISGMP"),
        QStringLiteral("ServiceChargesGISGKX"), QStringLiteral("ServicePaymentGISGKX"),
        QStringLiteral("TimeStampServer")};
    QStringList problems;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line.trimmed().isEmpty())
            continue;
        const QString number = QString::number(i + 1);
        const qsizetype separator = line.indexOf(u'=');
        if (separator < 0) {
            problems << QStringLiteral("строка %1: нет знака \"=\"").arg(number);
            continue;
        }
        const QString key = line.left(separator);
        const QString value = line.mid(separator + 1);
        if (!keys.contains(key, Qt::CaseInsensitive))
            problems << QStringLiteral("строка %1: неизвестный ключ %2").arg(number, key);
        else if (switches.contains(key, Qt::CaseInsensitive) && !value.isEmpty() && value != u"0" &&
                 value != u"1")
            problems
                << QStringLiteral("строка %1: %2 должно быть 0 или 1, а не \"%3\"").arg(number, key, value);
        else if (addresses.contains(key, Qt::CaseInsensitive) && !value.isEmpty() &&
                 !value.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
                 !value.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
            problems << QStringLiteral("строка %1: %2 должен быть адресом http:// или https://, а не \"%3\"")
                            .arg(number, key, value);
    }
    return problems;
}

} // namespace

ClientSettings DefaultSettings()
{
    ClientSettings settings;
    settings.serviceChargesGisGmp =
        QStringLiteral("http://smev-mvf.test.gosuslugi.ru:7777/gateway/services/SID0003663");
    settings.servicePaymentGisGmp = settings.serviceChargesGisGmp;
    settings.serviceChargesGisGkx =
        QStringLiteral("http://smev-mvf.test.gosuslugi.ru:7777/gateway/services/SID0004153");
    settings.servicePaymentGisGkx =
        QStringLiteral("http://smev-mvf.test.gosuslugi.ru:7777/gateway/services/SID0004154");
    settings.systemName = QStringLiteral("MYBANK");
    settings.smevCode = QStringLiteral("AAAA11111");
    settings.gisGmpCode = QStringLiteral("111aa1");
    settings.gisGkxCode = QStringLiteral("111a1111-1a1a-1aaa-aa11-1aa11aaa1111");
    settings.timeStampServer = QStringLiteral("http://www.cryptopro.ru/tsp/tsp.srf");
    return settings;
}

ClientSettings ReadSettingsFile(const QString& fileName, QString* damage, QStringList* problems)
{
    if (damage)
        damage->clear();
    if (problems)
        problems->clear();
    // Defaults only for a first start.
    if (!QFileInfo::exists(fileName))
        return DefaultSettings();
    QStringList keys;
    for (const QString& line : SettingsLines(ClientSettings()))
        keys << line.section(u'=', 0, 0);
    QString found;
    bool onlyEncodingGuessed = false;
    const QStringList lines = ReadKeyValueFile(fileName, keys, found, &onlyEncodingGuessed);
    if (damage)
        *damage = found;
    if (problems) {
        *problems = SettingsLineProblems(lines, keys);
        if (!found.isEmpty() && !onlyEncodingGuessed)
            problems->prepend(QStringLiteral("файл поврежден (см. выше)"));
    }
    const auto value = [&lines](const char* key) { return KeyValue(lines, QLatin1String(key)); };
    ClientSettings settings;
    settings.serviceChargesGisGmp = value("ServiceChargesGISGMP");
    settings.servicePaymentGisGmp = value("ServicePaymentGISGMP");
    settings.serviceChargesGisGkx = value("ServiceChargesGISGKX");
    settings.servicePaymentGisGkx = value("ServicePaymentGISGKX");
    settings.systemName = value("SystemName");
    settings.smevCode = value("SMEVCode");
    settings.gisGmpCode = value("GISGMPCode");
    settings.gisGkxCode = value("GISGKXCode");
    settings.timeStampServer = value("TimeStampServer");
    settings.timeStampEnable = value("TimeStampEnable") == u"1";
    settings.testMode = value("SoapTestMode") == u"1";
    settings.container = value("CryptContainer");
    settings.verifyReplySignature = value("VerifyReplySignature") == u"1";
    settings.verifyServerCertificate = value("VerifyServerCertificate") == u"1";
    settings.trustedCertificates = value("TrustedCertificates");
    settings.acceptIssuedReplySigners = value("AcceptIssuedReplySigners") == u"1";
    settings.journalDatabase = KeyValue(lines, JournalDatabaseKey);
    return settings;
}

void WriteSettingsFile(const QString& fileName, const ClientSettings& settings)
{
    WriteKeyValueFile(fileName, SettingsLines(settings));
}

void AddSettingsFields(const ClientSettings& settings, Form& form)
{
    form.set(QStringLiteral("edName"), settings.systemName);
    form.set(QStringLiteral("edSMEVCode"), settings.smevCode);
    form.set(QStringLiteral("edGISGMPCode"), settings.gisGmpCode);
    form.set(QStringLiteral("edGISGKXCode"), settings.gisGkxCode);
}
