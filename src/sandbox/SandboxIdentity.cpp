#include "sandbox/SandboxIdentity.h"
#include "sandbox/SandboxError.h"

#include "foundation/AtomicFileWriter.h"
#include "foundation/KeyValueFile.h"

#include <QDir>
#include <QFile>

#include <openssl/bn.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

namespace {

// Heads every failure of making the keys; OpenSSL's reason follows on the next line.
constexpr char kStep[] = "Ключи песочницы не созданы: модуль ГОСТ для OpenSSL не сработал. Переустановите "
                         "libengine-gost-openssl.";

[[noreturn]] void Fail()
{
    throw ESandboxError(QString::fromUtf8(kStep) + QLatin1Char('\n') + TakeOpenSslErrors());
}

void AddExtension(X509* certificate, X509* issuer, int nid, const char* value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    std::unique_ptr<X509_EXTENSION, OpenSslDeleter<X509_EXTENSION_free>> extension(
        X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    if (!extension || !X509_add_ext(certificate, extension.get(), -1))
        Fail();
}

// A certificate for `key` signed by `issuerKey`; the issuer is the certificate itself when null.
X509Ptr Issue(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey, int days)
{
    X509Ptr certificate(X509_new());
    std::unique_ptr<BIGNUM, OpenSslDeleter<BN_free>> serial(BN_new());
    if (!certificate || !serial || !X509_set_version(certificate.get(), X509_VERSION_3) ||
        !BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) ||
        !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get())))
        Fail();
    X509_NAME* name = X509_get_subject_name(certificate.get());
    const auto add = [name](const char* field, const char* value) {
        if (!X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                        reinterpret_cast<const unsigned char*>(value), -1, -1, 0))
            Fail();
    };
    add("CN", commonName);
    add("O", "Песочница СМЭВ");
    if (!X509_set_issuer_name(certificate.get(), issuer ? X509_get_subject_name(issuer) : name) ||
        !X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -60) ||
        !X509_time_adj_ex(X509_getm_notAfter(certificate.get()), days, 0, nullptr) ||
        !X509_set_pubkey(certificate.get(), key))
        Fail();
    X509* signer = issuer ? issuer : certificate.get();
    if (!issuer) {
        AddExtension(certificate.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(certificate.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    }
    AddExtension(certificate.get(), signer, NID_subject_key_identifier, "hash");
    if (!X509_sign(certificate.get(), issuerKey ? issuerKey : key, Gost94Digest(kStep)))
        Fail();
    return certificate;
}

EvpPkeyPtr NewKey()
{
    EvpPkeyPtr key = NewGostKey(kStep);
    if (!key)
        Fail();
    return key;
}

QByteArray Pem(X509* certificate)
{
    const QByteArray pem = CertificatePem(certificate);
    if (pem.isEmpty())
        Fail();
    return pem;
}

QByteArray ReadFile(const QString& path)
{
    return ReadFileBytes(path);
}

EvpPkeyPtr ReadKey(const QString& path)
{
    const QByteArray pem = ReadFile(path);
    BioPtr bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    EvpPkeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key)
        throw ESandboxError(QStringLiteral("В файле %1 нет закрытого ключа. Удалите папку --identity, чтобы "
                                           "песочница создала ключи заново.")
                                .arg(path) +
                            QLatin1Char('\n') + TakeOpenSslErrors());
    return key;
}

X509Ptr ReadCertificateFile(const QString& path)
{
    X509Ptr certificate = ReadCertificate(ReadFile(path));
    if (!certificate)
        throw ESandboxError(QStringLiteral("В файле %1 нет сертификата. Удалите папку --identity, чтобы "
                                           "песочница создала ключи заново.")
                                .arg(path) +
                            QLatin1Char('\n') + TakeOpenSslErrors());
    return certificate;
}

const char* const kFiles[] = {"ca.pem", "signer.pem", "signer-key.pem", "tsa.pem", "tsa-key.pem"};

} // namespace

QByteArray SandboxIdentity::signerChainPem() const
{
    return Pem(signerCertificate.get()) + Pem(caCertificate.get());
}

QByteArray SandboxIdentity::caCertificatePem() const
{
    return Pem(caCertificate.get());
}

SandboxIdentity MakeSandboxIdentity(int days)
{
    GostEngine(kStep);
    SandboxIdentity identity;
    identity.caKey = NewKey();
    EVP_PKEY* caKey = identity.caKey.get();
    identity.caCertificate = Issue(caKey, "Демонстрационный УЦ песочницы", nullptr, nullptr, days);
    identity.signerKey = NewKey();
    identity.signerCertificate =
        Issue(identity.signerKey.get(), "СМЭВ (песочница)", identity.caCertificate.get(), caKey, days);
    identity.timeStampKey = NewKey();
    identity.timeStampCertificate = Issue(identity.timeStampKey.get(), "Служба штампов времени (песочница)",
                                          identity.caCertificate.get(), caKey, days);
    // The usage is part of what the authority signed, so it is added and the certificate signed again.
    AddExtension(identity.timeStampCertificate.get(), identity.caCertificate.get(), NID_ext_key_usage,
                 "critical,timeStamping");
    if (!X509_sign(identity.timeStampCertificate.get(), caKey, Gost94Digest(kStep)))
        Fail();
    return identity;
}

X509Ptr IssueSubscriberCertificate(const SandboxIdentity& identity, EVP_PKEY* key, const char* commonName)
{
    if (!identity.caKey)
        throw ESandboxError(QStringLiteral("Сертификат не выпущен: у песочницы нет ключа ее УЦ."));
    return Issue(key, commonName, identity.caCertificate.get(), identity.caKey.get(), 30);
}

SandboxIdentity LoadOrMakeSandboxIdentity(const QString& folder)
{
    GostEngine(kStep);
    const QDir dir(folder);
    bool complete = true;
    for (const char* name : kFiles)
        complete = complete && dir.exists(QLatin1String(name));
    if (complete) {
        SandboxIdentity identity;
        identity.caCertificate = ReadCertificateFile(dir.filePath(QStringLiteral("ca.pem")));
        identity.signerCertificate = ReadCertificateFile(dir.filePath(QStringLiteral("signer.pem")));
        identity.signerKey = ReadKey(dir.filePath(QStringLiteral("signer-key.pem")));
        identity.timeStampCertificate = ReadCertificateFile(dir.filePath(QStringLiteral("tsa.pem")));
        identity.timeStampKey = ReadKey(dir.filePath(QStringLiteral("tsa-key.pem")));
        return identity;
    }
    if (!QDir().mkpath(folder))
        throw ESandboxError(
            QStringLiteral("Не удалось создать папку %1 для ключей песочницы (--identity). Проверьте "
                           "путь и права.")
                .arg(folder));
    SandboxIdentity identity = MakeSandboxIdentity();
    // The keys last: a folder cut short by a failure has no complete set and is made again.
    WriteFileAtomically(dir.filePath(QStringLiteral("ca.pem")), identity.caCertificatePem());
    WriteFileAtomically(dir.filePath(QStringLiteral("signer.pem")), Pem(identity.signerCertificate.get()));
    WriteFileAtomically(dir.filePath(QStringLiteral("tsa.pem")), Pem(identity.timeStampCertificate.get()));
    WriteFileAtomically(dir.filePath(QStringLiteral("signer-key.pem")),
                        PrivateKeyPem(identity.signerKey.get(), QString()));
    WriteFileAtomically(dir.filePath(QStringLiteral("tsa-key.pem")),
                        PrivateKeyPem(identity.timeStampKey.get(), QString()));
    return identity;
}
