#pragma once

// The sandbox's own keys: a small demo certification authority that issues the certificate the
// replies are signed with and the time-stamp authority's certificate. Made afresh for every run,
// or kept in a folder so that a client trusts the same authority from one run to the next.

#include "foundation/GostOpenSsl.h"

#include <QByteArray>
#include <QString>

struct SandboxIdentity {
    X509Ptr caCertificate;
    X509Ptr signerCertificate;
    EvpPkeyPtr signerKey;
    X509Ptr timeStampCertificate;
    EvpPkeyPtr timeStampKey;
    // Only in an identity made in this run: a kept one never writes the authority's key.
    EvpPkeyPtr caKey;

    // The certificate of the reply signer followed by the authority's, PEM.
    QByteArray signerChainPem() const;
    QByteArray caCertificatePem() const;
};

// A new authority and the two certificates it issues, valid from now for `days` days.
SandboxIdentity MakeSandboxIdentity(int days = 365);

// Another certificate of the identity's authority, for `key`, fit for signing documents. Raises
// ESandboxError for an identity without the authority's key.
X509Ptr IssueSubscriberCertificate(const SandboxIdentity& identity, EVP_PKEY* key, const char* commonName);

// The identity kept in `folder`: read when the folder has it, otherwise made and written there
// (each file replaced as a whole). Raises ESandboxError, or EFileWriteError for a file that
// cannot be written, when it can be neither.
SandboxIdentity LoadOrMakeSandboxIdentity(const QString& folder);
