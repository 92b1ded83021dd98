#pragma once

// Signs SOAP envelopes as SMEV signs them: the Body, in its exclusive canonical form, hashed with
// GOST R 34.11-94, the SignedInfo signed with a GOST R 34.10 key, the certificate in a WS-Security
// binary security token. The sandbox's own code, written with OpenSSL and libxml2 directly: it is
// the other side, and the tests use it to make requests the client's writers had no part in.

#include "foundation/GostOpenSsl.h"

#include <QByteArray>
#include <QString>

// The complete envelope (with its XML declaration) around `bodyContent`, the XML of the Body's
// content, signed with `key` whose certificate is `certificateDer`. Raises ESandboxError
// when the content is not well-formed or the key cannot sign.
QByteArray SignedSoapEnvelope(const QString& bodyContent, const QByteArray& certificateDer, EVP_PKEY* key);

// The GOST R 34.10 signature of the GOST R 34.11-94 hash of `data`, in the engine's order (s, r).
QByteArray GostSign(EVP_PKEY* key, const QByteArray& data);
