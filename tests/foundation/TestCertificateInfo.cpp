#include "support/Raised.h"
#include "support/TestKeys.h"

#include "foundation/CertificateInfo.h"

#include <QCryptographicHash>
#include <QFile>

#include <gtest/gtest.h>

TEST(CertificateInfo, DescribesTheFieldsTheOperatorChecks)
{
    TestKeyStore store;
    TestKeyOptions options;
    options.commonName = QStringLiteral("Иванов Иван");
    options.organization = QStringLiteral("ООО \"Банк\"");
    options.days = 30;
    options.serialNumber = 0x1A2B3C4D5EULL;
    const QByteArray der = store.addContainer(QStringLiteral("signer"), options);

    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-2);
    const TCertificateInfo info = DescribeCertificate(der);
    EXPECT_TRUE(info.subject.contains(QStringLiteral("CN = Иванов Иван"))) << info.subject.toStdString();
    EXPECT_TRUE(info.subject.contains(QStringLiteral("O = ООО \"Банк\""))) << info.subject.toStdString();
    EXPECT_EQ(info.issuer, info.subject) << "the test certificate is self-signed";
    EXPECT_EQ(info.serialNumber, QStringLiteral("1A2B3C4D5E"));
    EXPECT_GE(info.validFrom, before);
    EXPECT_LE(info.validFrom, QDateTime::currentDateTimeUtc());
    EXPECT_EQ(info.validFrom.secsTo(info.validTo), 30 * 24 * 3600);
    EXPECT_EQ(info.validTo.timeSpec(), Qt::UTC);
    EXPECT_EQ(info.publicKeyAlgorithm, QStringLiteral("GOST R 34.10-2001"));
    EXPECT_TRUE(info.parameterSet.contains(QStringLiteral("CryptoPro-A"))) << info.parameterSet.toStdString();
    EXPECT_EQ(info.thumbprint.toLatin1(),
              QCryptographicHash::hash(der, QCryptographicHash::Sha1).toHex().toUpper());
    EXPECT_TRUE(info.text.contains(QStringLiteral("Иванов Иван")));
    EXPECT_TRUE(info.text.contains(QStringLiteral("GOST R 34.11-94 with GOST R 34.10-2001")));

    // PEM gives the same description.
    TestKeyOptions pem = options;
    pem.pemCertificate = true;
    store.addContainer(QStringLiteral("pem"), pem);
    QByteArray pemFile;
    {
        QFile file(store.containerPath(QStringLiteral("pem")) + QLatin1Char('/') +
                   QLatin1String(CertificateFileName));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        pemFile = file.readAll();
    }
    ASSERT_TRUE(pemFile.startsWith("-----BEGIN CERTIFICATE-----"));
    EXPECT_EQ(DescribeCertificate(pemFile).serialNumber, QStringLiteral("1A2B3C4D5E"));
}

TEST(CertificateInfo, RefusesBytesThatAreNoCertificate)
{
    TestKeyStore store;
    const QByteArray der = store.addContainer(QStringLiteral("signer"));
    for (const QByteArray& bytes : {QByteArray(), QByteArray("not a certificate"), der.left(der.size() - 1),
                                    der + QByteArray(1, '\0')}) {
        EXPECT_TRUE(Raised<ECryptException>([&] {
                        DescribeCertificate(bytes);
                    }).startsWith(QStringLiteral("CertCreateCertificateContext\n")))
            << bytes.size() << " octets";
    }
}
