#pragma once

#include <QByteArray>
#include <QString>

// The certificates of the operator's trust file ("Сертификаты СМЭВ и УЦ"), PEM, in the order of
// the file. The file holds one DER certificate or any number of PEM ones. A file that cannot be
// read, or that holds no certificate, raises Exception naming the file: checking against it
// would refuse every reply, and only after the request had been sent.
QByteArray ReadTrustedCertificates(const QString& fileName);
