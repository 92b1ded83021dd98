#include "foundation/TrustedCertificates.h"

#include "foundation/ErrorTexts.h"
#include "foundation/Exceptions.h"
#include "foundation/GostOpenSsl.h"

#include <QDir>
#include <QFile>

QByteArray ReadTrustedCertificates(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(FileOpenErrorText(fileName, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Exception(FileReadErrorText(fileName, file.errorString()));

    // The GOST keys of the certificates are read by the engine.
    GostEngine("trusted certificates");
    QByteArray pem;
    for (const X509Ptr& certificate : ReadCertificates(bytes))
        pem += CertificatePem(certificate.get());
    if (pem.isEmpty())
        throw Exception(
            QStringLiteral("Файл \"%1\" не содержит сертификатов.").arg(QDir::toNativeSeparators(fileName)));
    return pem;
}
