#include "foundation/TrustedCertificates.h"

#include "foundation/Exceptions.h"
#include "foundation/GostOpenSsl.h"
#include "foundation/KeyValueFile.h"

#include <QDir>

QByteArray ReadTrustedCertificates(const QString& fileName)
{
    const QByteArray bytes = ReadFileBytes(fileName, kLargeFileLimit);

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
