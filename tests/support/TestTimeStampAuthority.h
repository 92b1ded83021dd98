#pragma once

// The sandbox's time-stamp authority with its key and certificate (with the critical extended key
// usage timeStamping) in a test key container.

#include "support/LoopbackHttpServer.h"

#include <QByteArray>
#include <QString>

#include <memory>

class TestKeyStore;

class TTestTimeStampAuthority final {
  public:
    explicit TTestTimeStampAuthority(TestKeyStore& store,
                                     const QString& containerName = QStringLiteral("Time-stamp authority"));
    ~TTestTimeStampAuthority();
    TTestTimeStampAuthority(const TTestTimeStampAuthority&) = delete;
    TTestTimeStampAuthority& operator=(const TTestTimeStampAuthority&) = delete;

    // The authority's certificate, DER.
    QByteArray certificate() const;

    // Whether GOST R 34.11-94 message imprints are accepted (they are unless switched off; GOST
    // R 34.11-2012 imprints always are); a request with a digest that is not accepted gets
    // OpenSSL's rejection.
    void setAcceptGost94(bool accept);

    // The DER TimeStampResp for a DER TimeStampReq: a granted token, or OpenSSL's rejection.
    QByteArray respond(const QByteArray& request) const;

  private:
    struct TImpl;
    std::unique_ptr<TImpl> F;
};

// The authority behind a loopback HTTP server that answers every POST as a time-stamp server
// does, with the media type "application/timestamp-reply".
class TTestTimeStampServer final {
  public:
    explicit TTestTimeStampServer(TestKeyStore& store);

    TTestTimeStampAuthority& authority() { return FAuthority; }
    TLoopbackHttpServer& http() { return FServer; }
    QString url() const { return FServer.url(QStringLiteral("/tsp/tsp.srf")); }

  private:
    TTestTimeStampAuthority FAuthority;
    TLoopbackHttpServer FServer;
};
