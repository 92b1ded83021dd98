#include "TestKeys.h"

#include "foundation/GostOpenSsl.h"

#include <QDir>
#include <QFile>

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace {

constexpr char kStep[] = "test key container";

[[noreturn]] void Fail(const QString& what)
{
    throw std::runtime_error((what + QLatin1Char('\n') + TakeOpenSslErrors()).toStdString());
}

EvpPkeyPtr NewKey(GostAlgorithm algorithm)
{
    EvpPkeyPtr key = NewGostKey(kStep, algorithm);
    if (!key)
        Fail(QStringLiteral("cannot make a %1 key").arg(GostAlgorithmName(algorithm)));
    return key;
}

void AddNameEntry(X509_NAME* name, const char* field, const QString& value)
{
    if (value.isEmpty())
        return;
    const QByteArray utf8 = value.toUtf8();
    if (!X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char*>(utf8.constData()),
                                    int(utf8.size()), -1, 0))
        Fail(QStringLiteral("cannot set %1").arg(QLatin1String(field)));
}

X509Ptr NewSelfSignedCertificate(EVP_PKEY* key, const TestKeyOptions& options)
{
    X509Ptr certificate(X509_new());
    std::unique_ptr<BIGNUM, OpenSslDeleter<BN_free>> serial(BN_new());
    if (!certificate || !serial || !X509_set_version(certificate.get(), X509_VERSION_3) ||
        !(options.serialNumber ? BN_set_word(serial.get(), options.serialNumber)
                               : BN_rand(serial.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY)) ||
        !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get())))
        Fail(QStringLiteral("cannot start a certificate"));
    X509_NAME* subject = X509_get_subject_name(certificate.get());
    AddNameEntry(subject, "CN", options.commonName);
    AddNameEntry(subject, "O", options.organization);
    if (!X509_set_issuer_name(certificate.get(), subject) ||
        !X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0) ||
        !X509_time_adj_ex(X509_getm_notAfter(certificate.get()), options.days, 0, nullptr) ||
        !X509_set_pubkey(certificate.get(), key))
        Fail(QStringLiteral("cannot fill a certificate"));
    if (options.timeStamping) {
        std::unique_ptr<X509_EXTENSION, OpenSslDeleter<X509_EXTENSION_free>> usage(
            X509V3_EXT_conf_nid(nullptr, nullptr, NID_ext_key_usage, "critical,timeStamping"));
        if (!usage || !X509_add_ext(certificate.get(), usage.get(), -1))
            Fail(QStringLiteral("cannot add the extended key usage"));
    }
    if (!X509_sign(certificate.get(), key, GostDigest(options.algorithm, kStep)))
        Fail(QStringLiteral("cannot sign a certificate"));
    return certificate;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error(QStringLiteral("%1: %2").arg(path, file.errorString()).toStdString());
}

} // namespace

TestKeyStore::TestKeyStore()
{
    if (!FFolder.isValid())
        throw std::runtime_error("cannot make a temporary key store");
}

TestKeyStore::~TestKeyStore() = default;

QString TestKeyStore::path() const
{
    return FFolder.path();
}

QString TestKeyStore::containerPath(const QString& name) const
{
    return QDir(FFolder.path()).filePath(name);
}

QByteArray TestKeyStore::addContainer(const QString& name, const TestKeyOptions& options)
{
    const QString folder = containerPath(name);
    if (!QDir().mkpath(folder))
        throw std::runtime_error(QStringLiteral("cannot make %1").arg(folder).toStdString());
    const EvpPkeyPtr key = NewKey(options.algorithm);
    const QByteArray keyPem = PrivateKeyPem(key.get(), options.password);
    if (keyPem.isEmpty())
        Fail(QStringLiteral("cannot write a private key"));
    WriteFile(QDir(folder).filePath(QLatin1String(KeyFileName)), keyPem);
    if (!options.withCertificate)
        return {};
    const EvpPkeyPtr otherKey = options.certificateOfAnotherKey ? NewKey(options.algorithm) : nullptr;
    const X509Ptr certificate = NewSelfSignedCertificate(otherKey ? otherKey.get() : key.get(), options);
    const QByteArray der = CertificateDer(certificate.get());
    WriteFile(QDir(folder).filePath(QLatin1String(CertificateFileName)),
              options.pemCertificate ? CertificatePem(certificate.get()) : der);
    return der;
}

CountingPasswords::CountingPasswords(std::optional<QString> answer) : FAnswer(std::move(answer)) {}

TPasswordProvider CountingPasswords::provider() const
{
    return [answer = FAnswer, questions = FQuestions, last = FLastContainer](const QString& name) {
        ++*questions;
        *last = name;
        return answer;
    };
}

TestTlsFiles MakeTlsServerFiles(const QString& folder)
{
    EvpPkeyPtr key(EVP_EC_gen("P-256"));
    X509Ptr certificate(X509_new());
    if (!key || !certificate || !X509_set_version(certificate.get(), X509_VERSION_3) ||
        !ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1))
        Fail(QStringLiteral("cannot start a TLS certificate"));
    X509_NAME* subject = X509_get_subject_name(certificate.get());
    AddNameEntry(subject, "CN", QStringLiteral("127.0.0.1"));
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate.get(), certificate.get(), nullptr, nullptr, 0);
    std::unique_ptr<X509_EXTENSION, OpenSslDeleter<X509_EXTENSION_free>> alternativeName(
        X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1"));
    if (!X509_set_issuer_name(certificate.get(), subject) ||
        !X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -60) ||
        !X509_time_adj_ex(X509_getm_notAfter(certificate.get()), 1, 0, nullptr) ||
        !X509_set_pubkey(certificate.get(), key.get()) || !alternativeName ||
        !X509_add_ext(certificate.get(), alternativeName.get(), -1) ||
        !X509_sign(certificate.get(), key.get(), EVP_sha256()))
        Fail(QStringLiteral("cannot make a TLS certificate"));

    TestTlsFiles files{QDir(folder).filePath(QStringLiteral("tls.crt")),
                       QDir(folder).filePath(QStringLiteral("tls.key")), CertificatePem(certificate.get())};
    BioPtr keyBio(BIO_new(BIO_s_mem()));
    if (!keyBio || !PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr))
        Fail(QStringLiteral("cannot write a TLS key"));
    for (const auto& [path, bytes] : {std::pair{files.certificate, files.certificatePem},
                                      std::pair{files.key, BioContents(keyBio.get())}}) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            Fail(QStringLiteral("cannot write %1").arg(path));
    }
    return files;
}

EvpPkeyPtr TestKeyStore::privateKey(const QString& name) const
{
    GostEngine(kStep);
    QFile file(QDir(containerPath(name)).filePath(QLatin1String(KeyFileName)));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(
            QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()).toStdString());
    const QByteArray pem = file.readAll();
    BioPtr bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    EvpPkeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key)
        Fail(QStringLiteral("%1 holds no key").arg(file.fileName()));
    return key;
}
