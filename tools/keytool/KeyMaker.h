#pragma once

#include "foundation/CryptHelper.h"

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QStringList>

// A failure the tool reports to the operator as it is.
ZELVAN_DECLARE_EXCEPTION(ToolError, Exception);

using TSubject = QList<QPair<QString, QString>>;

// "/CN=Name/O=Organisation": fields in order; "\" takes the next character literally, so "\/" is a
// slash inside a value.
TSubject ParseSubject(const QString& text);

struct TNewKey {
    QByteArray privateKeyPem; // PKCS#8, encrypted when a password was given
    QByteArray certificateDer;
};

// A key of the algorithm (parameters as NewGostKey chooses them) and a self-signed certificate over
// the algorithm's hash, valid from now for the given number of days.
TNewKey MakeSelfSignedKey(const TSubject& subject, int days, const QString& password,
                          GostAlgorithm algorithm);
