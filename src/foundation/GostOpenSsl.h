#pragma once

// The OpenSSL side of the GOST provider, shared by the provider, the certificate description,
// the key tool and the test key containers. Only code that has to touch OpenSSL types includes it.

#include "foundation/CryptHelper.h"

#include <QByteArray>
#include <QString>

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>
#include <optional>
#include <vector>

template <auto Free> struct OpenSslDeleter {
    template <typename T> void operator()(T* object) const noexcept { Free(object); }
};

using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509_free>>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY_free>>;
using EvpPkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX_free>>;
using EvpMdCtxPtr = std::unique_ptr<EVP_MD_CTX, OpenSslDeleter<EVP_MD_CTX_free>>;
using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO_free_all>>;
using X509StorePtr = std::unique_ptr<X509_STORE, OpenSslDeleter<X509_STORE_free>>;

// The GOST engine, loaded from its module on first use and kept for the life of the process.
// Raises ECryptException named after `step` when the engine cannot be loaded.
ENGINE* GostEngine(const char* step);

// GOST R 34.11-94 with the CryptoPro parameters, as the engine implements it.
const EVP_MD* Gost94Digest(const char* step);
// The hash that goes with the algorithm's signature: GOST R 34.11-94 for 2001, GOST R 34.11-2012
// of the key's length for 2012.
const EVP_MD* GostDigest(GostAlgorithm algorithm, const char* step);

// The GOST algorithm of a key; none for a key of any other algorithm.
std::optional<GostAlgorithm> KeyGostAlgorithm(const EVP_PKEY* key);
// The key's algorithm for a message: the GOST name, or OpenSSL's name of any other algorithm.
QString KeyAlgorithmName(const EVP_PKEY* key);

// Everything OpenSSL has queued about the latest failure, one error a line; the queue is emptied.
// Empty when nothing was queued.
QString TakeOpenSslErrors();

// A certificate read from DER or from PEM; null when the bytes are neither.
X509Ptr ReadCertificate(const QByteArray& bytes);

// The certificates of a trust file: one DER certificate, or every PEM certificate in it, in order.
std::vector<X509Ptr> ReadCertificates(const QByteArray& bytes);

// A store that trusts exactly these certificates (null when OpenSSL cannot make one).
X509StorePtr CertificateStore(const std::vector<X509Ptr>& certificates);

// The DER encoding of a certificate.
QByteArray CertificateDer(X509* certificate);

// The PEM encoding of a certificate; empty when it cannot be written.
QByteArray CertificatePem(X509* certificate);

// Everything a memory BIO holds.
QByteArray BioContents(BIO* bio);

// Making keys is for the key tool and the test key containers; the client only reads them.
// A new key of the algorithm, with the CryptoPro A parameters for 2001 and 2012-256 (the curve of
// most issued certificates) and the TC 26 A parameters for 2012-512; null when OpenSSL cannot make
// one (what it says stays queued for TakeOpenSslErrors).
EvpPkeyPtr NewGostKey(const char* step, GostAlgorithm algorithm = GostAlgorithm::Gost2001);
// The key as PKCS#8 PEM, encrypted with AES-256-CBC under the password when there is one; empty
// when it cannot be written.
QByteArray PrivateKeyPem(EVP_PKEY* key, const QString& password);
