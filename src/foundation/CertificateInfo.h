#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// What the operator is shown about a container's certificate.
struct TCertificateInfo {
    QString subject;
    QString issuer;
    QString serialNumber; // hexadecimal, upper case
    QDateTime validFrom;  // UTC
    QDateTime validTo;    // UTC
    QString publicKeyAlgorithm;
    QString parameterSet; // empty when the key names none
    QString thumbprint;   // SHA-1 of the DER encoding, hexadecimal, upper case
    QString text;         // the full text form
};

// Describes a certificate given in DER or PEM; raises ECryptException ("CertCreateCertificateContext")
// when the bytes are no certificate.
TCertificateInfo DescribeCertificate(const QByteArray& certificate);
