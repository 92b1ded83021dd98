#pragma once

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QStringList>

#include <stdexcept>

// A failure the tool reports to the operator as it is.
class ToolError final : public std::runtime_error {
  public:
    explicit ToolError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

using TSubject = QList<QPair<QString, QString>>;

// "/CN=Name/O=Organisation": fields in order; "\" takes the next character literally, so "\/" is a
// slash inside a value.
TSubject ParseSubject(const QString& text);

struct TNewKey {
    QByteArray privateKeyPem; // PKCS#8, encrypted when a password was given
    QByteArray certificateDer;
};

// A GOST R 34.10-2001 key with the CryptoPro A parameters and a self-signed certificate over
// GOST R 34.11-94, valid from now for the given number of days.
TNewKey MakeSelfSignedKey(const TSubject& subject, int days, const QString& password);
