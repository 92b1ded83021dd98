#pragma once

// Key containers for tests, made with OpenSSL directly (never through the provider under test),
// in a temporary key store that tests hand to the provider as a KeyStore.

#include "foundation/CryptHelper.h"
#include "foundation/GostOpenSsl.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>

struct TestKeyOptions {
    GostAlgorithm algorithm = GostAlgorithm::Gost2001;
    QString password;                     // not empty: the key is stored encrypted with it
    bool withCertificate = true;          // false: the container holds only the key
    bool certificateOfAnotherKey = false; // the certificate is made for a different key
    bool pemCertificate = false;          // the certificate file is PEM instead of DER
    QString commonName = QStringLiteral("Test signer");
    QString organization = QStringLiteral("Test bank");
    int days = 365;
    quint64 serialNumber = 0;  // 0: a random serial number
    bool timeStamping = false; // the critical extended key usage timeStamping of a time-stamp authority
};

class TestKeyStore final {
  public:
    TestKeyStore();
    ~TestKeyStore();
    TestKeyStore(const TestKeyStore&) = delete;
    TestKeyStore& operator=(const TestKeyStore&) = delete;

    QString path() const;
    // The store as the provider takes it, asking for passwords through `passwords`.
    KeyStore store(TPasswordProvider passwords = {}) const { return {path(), std::move(passwords)}; }
    QString containerPath(const QString& name) const;
    // Makes the container and returns the DER of the certificate stored in it (empty without one).
    QByteArray addContainer(const QString& name, const TestKeyOptions& options = {});
    // The private key of a container made without a password, read with OpenSSL directly.
    EvpPkeyPtr privateKey(const QString& name) const;

  private:
    QTemporaryDir FFolder;
};

// A password source that answers every question with the same answer (no value: cancel),
// counting the questions.
class CountingPasswords final {
  public:
    explicit CountingPasswords(std::optional<QString> answer);

    TPasswordProvider provider() const;
    int questions() const { return *FQuestions; }
    QString lastContainer() const { return *FLastContainer; }

  private:
    std::optional<QString> FAnswer;
    std::shared_ptr<int> FQuestions = std::make_shared<int>(0);
    std::shared_ptr<QString> FLastContainer = std::make_shared<QString>();
};

// A self-signed certificate for an https server on 127.0.0.1 (an EC P-256 key, the address in
// its subject alternative name), written as PEM files into `folder`.
struct TestTlsFiles {
    QString certificate; // path
    QString key;         // path
    QByteArray certificatePem;
};
TestTlsFiles MakeTlsServerFiles(const QString& folder);
