#pragma once

// The OpenSSL side of the GOST provider, shared by the provider, the certificate description,
// the key tool and the test key containers. Only code that has to touch OpenSSL types includes it.

#include <QByteArray>
#include <QString>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

template <auto Free> struct OpenSslDeleter {
    template <typename T> void operator()(T* object) const noexcept { Free(object); }
};

using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509_free>>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY_free>>;
using EvpPkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX_free>>;
using EvpMdCtxPtr = std::unique_ptr<EVP_MD_CTX, OpenSslDeleter<EVP_MD_CTX_free>>;
using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO_free_all>>;

// The GOST engine, loaded from its module on first use and kept for the life of the process.
// Raises ECryptException named after `step` when the engine cannot be loaded.
ENGINE* GostEngine(const char* step);

// GOST R 34.11-94 with the CryptoPro parameters, as the engine implements it.
const EVP_MD* Gost94Digest(const char* step);

// Everything OpenSSL has queued about the latest failure, one error a line; the queue is emptied.
// Empty when nothing was queued.
QString TakeOpenSslErrors();

// A certificate read from DER or from PEM; null when the bytes are neither.
X509Ptr ReadCertificate(const QByteArray& bytes);

// The DER encoding of a certificate.
QByteArray CertificateDer(X509* certificate);

// The PEM encoding of a certificate; empty when it cannot be written.
QByteArray CertificatePem(X509* certificate);

// Everything a memory BIO holds.
QByteArray BioContents(BIO* bio);

// Making keys is for the key tool and the test key containers; the client only reads them.
// A new GOST R 34.10-2001 key with the CryptoPro A parameters; null when OpenSSL cannot make one
// (what it says stays queued for TakeOpenSslErrors).
EvpPkeyPtr NewGostKey(const char* step);
// The key as PKCS#8 PEM, encrypted with AES-256-CBC under the password when there is one; empty
// when it cannot be written.
QByteArray PrivateKeyPem(EVP_PKEY* key, const QString& password);
