#pragma once

#include "foundation/Exceptions.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Every provider failure: the name of the failing step, a line feed, and the error text.
ZELVAN_DECLARE_EXCEPTION(ECryptException, Exception);

// Names of the key containers in the key store, appended in order; true when any was added.
bool EnumKeyContainers(QStringList& names);

// Opens the named container afresh and fills each output that is given: the DER certificate,
// the GOST R 34.10-2001 signature of the input (most significant octet first), and the
// GOST R 34.11-94 hash of the input (as the provider returns it). An absent input is empty.
void ContainerCrypt(const QString& containerName, const QByteArray* input, QByteArray* certificate,
                    QByteArray* signature, QByteArray* hash);

// Standard Base64 on one line.
QString Base64Line(const QByteArray& bytes);
