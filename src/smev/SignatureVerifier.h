#pragma once

// Checks signed messages the way a receiving system does, without any of the code that wrote
// them: libxml2 parses the text and produces the exclusive canonical form of the signed elements
// where they stand in the document, OpenSSL hashes that form with the GOST R 34.11 digest the
// message names (94, or 2012 of 256 or 512 bits, which must be that of the certificate's key) and
// verifies the signature with the public key of the certificate the message carries. The tests,
// the sandbox and the client's reply checks share it, so what one accepts the others accept too.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

struct SignatureCheck {
    QByteArray signedC14N;     // the signed element as canonicalised (enveloped signature removed)
    QByteArray signedInfoC14N; // ds:SignedInfo as canonicalised
    QByteArray certificate;    // DER of the certificate in the message
    QByteArray signatureValue; // ds:SignatureValue, decoded
    QString signatureValueId;  // the Id of ds:SignatureValue, when it has one
    QStringList failures;      // empty when everything verified
    // A reply beyond the reading limits every reply has, in the operator's words; the reading
    // stopped there.
    QString unreadable;
    bool stopped = false; // the reading was stopped on request
    // Which of the main checks passed, for a caller that tells the operator which one failed.
    bool signaturePresent = false;
    bool digestMatches = false;
    bool signatureValueVerifies = false;

    bool verified() const { return failures.isEmpty(); }
};

// The WS-Security signature of a SOAP envelope: the Body digest and the SignedInfo signature,
// with the certificate of the binary security token that the key info refers to. The signed Body
// must be the envelope's only child whose local name is Body in any letter case: readers that go
// by local names would otherwise read another one.
//
// The Body is canonicalised and hashed as it is read, its tree never built; the rest of the
// envelope is read as a tree of bounded size, under the limits of every reply (XmlLimits).
struct EnvelopeCheckOptions {
    // Whether SignatureCheck::signedC14N keeps the Body's canonical form (tests compare it).
    bool keepSignedForm = true;
    // Asked between pieces of the text; yes ends the check unverified and `stopped`.
    std::function<bool()> stopRequested;
};
SignatureCheck CheckEnvelopeSignature(const QByteArray& envelope, const EnvelopeCheckOptions& options = {});

// The enveloped signature of the pi:FinalPayment element found anywhere in the document: its
// digest after the signature is removed, the SignedInfo signature with the certificate of
// ds:X509Certificate, and the time-stamp reference to the signature value.
SignatureCheck CheckPaymentSignature(const QByteArray& document);

// The GOST R 34.11-94 hash of the bytes as OpenSSL computes it.
QByteArray Gost94Hash(const QByteArray& bytes);

// Whether the GOST signature (s then r, as the provider hands it out) of the data verifies with the
// public key of the certificate (DER or PEM), over the hash that goes with that key.
bool VerifyGostSignature(const QByteArray& certificate, const QByteArray& data, const QByteArray& signature);

// The parser's complaints when the text is not well-formed namespace-aware XML with every prefix
// declared; empty when it is.
QStringList NamespaceWellFormednessErrors(const QByteArray& text);

// The exclusive canonical form, without comments, of the first element with that namespace and
// local name, where it stands in the document; empty when there is none or the text is not XML.
// The sandbox signs its replies over this form, so signer and verifier canonicalise alike.
QByteArray ExclusiveCanonicalForm(const QByteArray& document, const char* ns, const char* localName);

// Whether the document declares a document type (a DTD), which a receiver refuses: entities
// declared there could expand without bound or reach for files.
bool HasDocumentTypeDeclaration(const QByteArray& text);

// Whether the certificate (DER or PEM) carries a GOST R 34.10 key, 2001 or 2012.
bool IsGostCertificate(const QByteArray& certificate);

// Why the certificate (DER or PEM) is not to be trusted: not issued, directly or through the
// others, by one of the trusted certificates (one DER certificate, or any number of PEM ones), or
// outside its validity period or that of a certificate of its chain today. Empty when trusted.
QString CertificateTrustFailure(const QByteArray& certificate, const QByteArray& trustedCertificates);

// Why the certificate (DER or PEM) may not sign replies, in the operator's words; empty when it may.
// A signer is a certificate of the trusted ones itself, valid today (a file holding only the state
// system's own certificate is enough), or, with `issuedByTrusted`, any certificate one of them
// issued (CertificateTrustFailure). Never a certificate whose key usage or extended key usage
// keeps it from signing documents, such as a time-stamp authority's or a server's.
QString ReplySignerFailure(const QByteArray& certificate, const QByteArray& trustedCertificates,
                           bool issuedByTrusted);
