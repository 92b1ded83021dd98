#include "client/Settings.h"

#include "foundation/KeyValueFile.h"

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
    };
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

ClientSettings ReadSettingsFile(const QString& fileName, QString* damage)
{
    if (damage)
        damage->clear();
    // Defaults only for a first start.
    if (!QFileInfo::exists(fileName))
        return DefaultSettings();
    QStringList keys;
    for (const QString& line : SettingsLines(ClientSettings()))
        keys << line.section(u'=', 0, 0);
    QString found;
    const QStringList lines = ReadKeyValueFile(fileName, keys, found);
    if (damage)
        *damage = found;
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
