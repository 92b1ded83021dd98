#pragma once

// Checks signed messages the way a receiving system does, without any of the code that wrote
// them: libxml2 parses the text and produces the exclusive canonical form of the signed elements
// where they stand in the document, OpenSSL hashes that form with GOST R 34.11-94 and verifies the
// signature with the public key of the certificate the message carries.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

struct SignatureCheck {
    QByteArray signedC14N;     // the signed element as canonicalised (enveloped signature removed)
    QByteArray signedInfoC14N; // ds:SignedInfo as canonicalised
    QByteArray certificate;    // DER of the certificate in the message
    QString signatureValueId;  // the Id of ds:SignatureValue, when it has one
    QStringList failures;      // empty when everything verified

    bool verified() const { return failures.isEmpty(); }
};

// The WS-Security signature of a SOAP envelope: the Body digest and the SignedInfo signature,
// with the certificate of the binary security token that the key info refers to.
SignatureCheck CheckEnvelopeSignature(const QByteArray& envelope);

// The enveloped signature of the pi:FinalPayment element found anywhere in the document: its
// digest after the signature is removed, the SignedInfo signature with the certificate of
// ds:X509Certificate, and the time-stamp reference to the signature value.
SignatureCheck CheckPaymentSignature(const QByteArray& document);

// For EXPECT_TRUE: the failures listed when there are any.
::testing::AssertionResult Verified(const SignatureCheck& check);

// The GOST R 34.11-94 hash of the bytes as OpenSSL computes it.
QByteArray Gost94Hash(const QByteArray& bytes);

// Whether the text is well-formed namespace-aware XML with every prefix declared; the parser's
// complaints otherwise.
::testing::AssertionResult IsNamespaceWellFormed(const QByteArray& text);

// Reading a message as a receiver does: the qualified names of the child elements of the first
// element with the local name, and the value of one of its attributes as the parser decodes it.
QStringList ChildElementNames(const QByteArray& text, const char* localName);
QString AttributeValue(const QByteArray& text, const char* localName, const char* attributeName);
