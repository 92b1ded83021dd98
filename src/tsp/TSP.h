#pragma once

// RFC 3161 time-stamp exchange, with the few DER readers and writers it needs written by hand.

#include "foundation/CryptHelper.h"
#include "foundation/Exceptions.h"
#include "foundation/HttpClient.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// A reply that cannot be read: a wrong tag, a length that does not fit, a truncated element.
ZELVAN_DECLARE_EXCEPTION(EASN1Exception, Exception);

// A failed exchange (message only, fields 0 and empty) or a request the server rejected.
class ETSPException final : public Exception {
  public:
    explicit ETSPException(const QString& message) : Exception(message) {}
    // A rejected request; an empty failureCodeString means the reply carried no status text.
    ETSPException(int code, int failureCode, const QString& failureCodeString);

    int Code() const { return FCode; }
    const QString& CodeString() const { return FCodeString; }
    int FailureCode() const { return FFailureCode; }
    const QString& FailureCodeString() const { return FFailureCodeString; }

  private:
    int FCode = 0;
    QString FCodeString;
    int FFailureCode = 0;
    QString FFailureCodeString;
};

// One element header as read from the octets.
struct TDerHeader {
    quint8 Tag = 0;
    qsizetype Length = 0;
    qsizetype ContentPos = 0; // position of the first content octet

    qsizetype End() const { return ContentPos + Length; }
};

// Writers.
QByteArray DerLength(quint64 length);
QByteArray DerTLV(quint8 tag, QByteArrayView content);
QByteArray DerInteger(quint64 value);
QByteArray OidToDer(const QString& dotted);

// Reads the element header at `pos`. The element must lie wholly before `limit` (the end of the
// element that encloses it, or of the data); `limit` < 0 means the end of `data`. An expected
// tag of 0 accepts any tag.
TDerHeader DerReadHeader(QByteArrayView data, qsizetype pos, quint8 expectedTag, qsizetype limit = -1);

// Depth-first search of the elements in [start, end) for the OBJECT IDENTIFIER `dotted`;
// returns the position of its tag octet.
std::optional<qsizetype> DerFindOid(QByteArrayView data, qsizetype start, qsizetype end,
                                    const QString& dotted);

// Content-octet converters.
QString DerToOid(QByteArrayView content);
qint32 DerToInt(QByteArrayView content);
QString DerStringToText(quint8 tag, QByteArrayView content);

// The TimeStampReq for a hash of the algorithm's digest: 54 octets for the 32 octets of
// GOST R 34.11-94, the imprint's algorithm identifier without parameters.
QByteArray BuildTimeStampRequest(const QByteArray& hash, GostAlgorithm algorithm = GostAlgorithm::Gost2001);

// The dotted identifier of the algorithm's digest in a time-stamp imprint.
QString ImprintAlgorithmOid(GostAlgorithm algorithm);

// Raises ETSPException for a reply whose PKIStatus is not 0 (granted); returns otherwise.
void CheckTimeStampReply(const QByteArray& reply);

// What a time-stamp exchange trusts: the server's certificate on https, and the certificates the
// token's signer must be one of or be issued by (none: the token's signature is not checked).
struct TimeStampTrust {
    ServerTrust server;
    QByteArray authorities; // PEM
};

// Hashes `data` with the container's key, posts the request to `serverAddress` and fills
// `reply` with the whole TimeStampResp; returns normally only when the server granted it, stamped
// exactly the hash sent with the algorithm asked for, and, when `trust` names authorities, signed
// the token with a certificate they vouch for. The request goes through `http`, or through a
// client of its own when there is none.
void TSPRequest(const QString& serverAddress, ContainerKey& key, const QByteArray& data, QByteArray& reply,
                THttpClient* http = nullptr, const TimeStampTrust& trust = {});

// The DER TSTInfo: the content of the OCTET STRING that follows id-ct-TSTInfo in the reply.
QByteArray ExtractTSTInfo(const QByteArray& reply);
