#pragma once

// An RFC 3161 time-stamp authority with a GOST key: OpenSSL's own responder makes the replies, so
// the client is answered by an implementation it did not write. It serves the sandbox and the tests.

#include "foundation/GostOpenSsl.h"

#include <QByteArray>

#include <atomic>

class TimeStampAuthority final {
  public:
    // The certificate must carry the critical extended key usage timeStamping.
    TimeStampAuthority(X509Ptr certificate, EvpPkeyPtr key);

    // The authority's certificate, DER.
    QByteArray certificate() const { return FCertificateDer; }

    // Whether GOST R 34.11-94 message imprints are accepted (they are unless switched off); a
    // request with a digest that is not accepted gets OpenSSL's rejection. The GOST R 34.11-2012
    // imprints are always accepted.
    void setAcceptGost94(bool accept) { FAcceptGost94 = accept; }

    // The DER TimeStampResp for a DER TimeStampReq: a granted token, or OpenSSL's rejection.
    // Raises ESandboxError when the responder itself fails. Safe from several threads.
    QByteArray respond(const QByteArray& request) const;

  private:
    X509Ptr FCertificate;
    EvpPkeyPtr FKey;
    QByteArray FCertificateDer;
    std::atomic<bool> FAcceptGost94{true};
    mutable std::atomic<long> FSerial{0};
};
