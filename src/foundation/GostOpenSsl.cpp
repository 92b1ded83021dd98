// The engine interface is the only way OpenSSL 3 offers the GOST algorithms of this provider;
// its deprecation is silenced here and nowhere else.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "foundation/GostOpenSsl.h"

#include "foundation/CryptHelper.h"

#include <QFileInfo>

#include <openssl/crypto.h>
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <cstring>

namespace {

constexpr char kEngineId[] = "gost";

struct TLoadedEngine {
    ENGINE* engine = nullptr;
    QString error;
};

// OpenSSL reports its engines folder as `ENGINESDIR: "<folder>"`; the folder is what was compiled
// in, independent of any environment variable.
QString CompiledEnginesFolder()
{
    const QString text = QString::fromUtf8(OpenSSL_version(OPENSSL_ENGINES_DIR));
    const qsizetype first = text.indexOf(QLatin1Char('"'));
    const qsizetype last = text.lastIndexOf(QLatin1Char('"'));
    return first >= 0 && last > first ? text.mid(first + 1, last - first - 1) : QString();
}

ENGINE* FindListedEngine()
{
    for (ENGINE* engine = ENGINE_get_first(); engine; engine = ENGINE_get_next(engine)) {
        if (std::strcmp(ENGINE_get_id(engine), kEngineId) == 0)
            return engine;
    }
    return nullptr;
}

// Loads the module through OpenSSL's "dynamic" engine with an explicit path, so that neither a
// configuration file nor an environment variable decides what is loaded.
TLoadedEngine LoadEngineModule()
{
    const QString module = CompiledEnginesFolder() + QStringLiteral("/gost.so");
    if (!QFileInfo(module).isFile())
        return {nullptr, QStringLiteral("Модуль ГОСТ для OpenSSL %1 не установлен. Установите пакет "
                                        "libengine-gost-openssl.")
                             .arg(module)};
    ENGINE* engine = ENGINE_by_id("dynamic");
    if (!engine)
        return {nullptr, TakeOpenSslErrors()};
    const QByteArray path = module.toLocal8Bit();
    if (!ENGINE_ctrl_cmd_string(engine, "SO_PATH", path.constData(), 0) ||
        !ENGINE_ctrl_cmd_string(engine, "ID", kEngineId, 0) ||
        !ENGINE_ctrl_cmd_string(engine, "LIST_ADD", "1", 0) ||
        !ENGINE_ctrl_cmd_string(engine, "LOAD", nullptr, 0)) {
        TLoadedEngine failed{nullptr,
                             QStringLiteral("Модуль ГОСТ для OpenSSL %1 не загружается. Переустановите пакет "
                                            "libengine-gost-openssl.\n%2")
                                 .arg(module, TakeOpenSslErrors())};
        ENGINE_free(engine);
        return failed;
    }
    return {engine, {}};
}

TLoadedEngine LoadEngine()
{
    ERR_clear_error();
    TLoadedEngine loaded;
    loaded.engine = FindListedEngine();
    if (!loaded.engine) {
        loaded = LoadEngineModule();
        if (!loaded.engine)
            return loaded;
    }
    if (!ENGINE_init(loaded.engine)) {
        const QString error = QStringLiteral("Модуль ГОСТ для OpenSSL не запускается. Переустановите пакет "
                                             "libengine-gost-openssl.\n") +
                              TakeOpenSslErrors();
        ENGINE_free(loaded.engine);
        return {nullptr, error};
    }
    // Key formats, key operations and digests are looked up by algorithm, not by engine, when keys
    // and certificates are decoded; registering makes the engine the one found for GOST.
    if (!ENGINE_register_pkey_asn1_meths(loaded.engine) || !ENGINE_register_pkey_meths(loaded.engine) ||
        !ENGINE_register_digests(loaded.engine)) {
        const QString error =
            QStringLiteral("Модуль ГОСТ для OpenSSL не регистрируется. Переустановите пакет "
                           "libengine-gost-openssl.\n") +
            TakeOpenSslErrors();
        ENGINE_finish(loaded.engine);
        ENGINE_free(loaded.engine);
        return {nullptr, error};
    }
    return loaded;
}

struct AlgorithmNids {
    int key;
    int digest;
    const char* digestName;
};

const AlgorithmNids& Nids(GostAlgorithm algorithm)
{
    static constexpr AlgorithmNids gost2001{NID_id_GostR3410_2001, NID_id_GostR3411_94, "GOST R 34.11-94"};
    static constexpr AlgorithmNids gost2012With256{NID_id_GostR3410_2012_256, NID_id_GostR3411_2012_256,
                                                   "GOST R 34.11-2012 (256 bits)"};
    static constexpr AlgorithmNids gost2012With512{NID_id_GostR3410_2012_512, NID_id_GostR3411_2012_512,
                                                   "GOST R 34.11-2012 (512 bits)"};
    return *ByAlgorithm(algorithm, &gost2001, &gost2012With256, &gost2012With512);
}

int RefusePassword(char*, int, int, void*)
{
    return -1;
}

} // namespace

ENGINE* GostEngine(const char* step)
{
    // Initialised once, by whichever thread comes first; a failure is remembered, not retried.
    static const TLoadedEngine loaded = LoadEngine();
    if (!loaded.engine)
        CryptFail(step, loaded.error);
    return loaded.engine;
}

const EVP_MD* Gost94Digest(const char* step)
{
    return GostDigest(GostAlgorithm::Gost2001, step);
}

const EVP_MD* GostDigest(GostAlgorithm algorithm, const char* step)
{
    const AlgorithmNids& nids = Nids(algorithm);
    const EVP_MD* digest = ENGINE_get_digest(GostEngine(step), nids.digest);
    if (!digest)
        CryptFail(step, QStringLiteral("Модуль ГОСТ для OpenSSL не предлагает хэш-функцию %1. Установите "
                                       "пакет libengine-gost-openssl новее.\n")
                                .arg(QLatin1String(nids.digestName)) +
                            TakeOpenSslErrors());
    return digest;
}

std::optional<GostAlgorithm> KeyGostAlgorithm(const EVP_PKEY* key)
{
    const int id = key ? EVP_PKEY_get_id(key) : NID_undef;
    for (const GostAlgorithm algorithm :
         {GostAlgorithm::Gost2001, GostAlgorithm::Gost2012_256, GostAlgorithm::Gost2012_512}) {
        if (Nids(algorithm).key == id)
            return algorithm;
    }
    return std::nullopt;
}

QString KeyAlgorithmName(const EVP_PKEY* key)
{
    if (const std::optional<GostAlgorithm> algorithm = KeyGostAlgorithm(key))
        return GostAlgorithmName(*algorithm);
    const char* name = key ? EVP_PKEY_get0_type_name(key) : nullptr;
    if (!name && key)
        name = OBJ_nid2sn(EVP_PKEY_get_id(key));
    return name ? QString::fromLatin1(name) : QStringLiteral("неизвестный алгоритм");
}

QString TakeOpenSslErrors()
{
    QStringList lines;
    const char* data = nullptr;
    int flags = 0;
    while (const unsigned long code = ERR_get_error_all(nullptr, nullptr, nullptr, &data, &flags)) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        QString line = QString::fromUtf8(text);
        if ((flags & ERR_TXT_STRING) && data && *data)
            line += QStringLiteral(" (%1)").arg(QString::fromUtf8(data));
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

X509Ptr ReadCertificate(const QByteArray& bytes)
{
    if (bytes.contains("-----BEGIN")) {
        BioPtr bio(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
        // A certificate is never encrypted; without this callback OpenSSL would prompt on the terminal.
        return X509Ptr(bio ? PEM_read_bio_X509(bio.get(), nullptr, RefusePassword, nullptr) : nullptr);
    }
    auto* next = reinterpret_cast<const unsigned char*>(bytes.constData());
    X509Ptr certificate(d2i_X509(nullptr, &next, long(bytes.size())));
    // Bytes after the certificate mean the file is something else that merely starts like one.
    if (certificate && next != reinterpret_cast<const unsigned char*>(bytes.constData()) + bytes.size())
        return nullptr;
    return certificate;
}

std::vector<X509Ptr> ReadCertificates(const QByteArray& bytes)
{
    std::vector<X509Ptr> certificates;
    if (!bytes.contains("-----BEGIN")) {
        if (X509Ptr one = ReadCertificate(bytes))
            certificates.push_back(std::move(one));
        return certificates;
    }
    BioPtr bio(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
    while (X509* next = bio ? PEM_read_bio_X509(bio.get(), nullptr, RefusePassword, nullptr) : nullptr)
        certificates.emplace_back(next);
    // The end of the file reads as an error.
    ERR_clear_error();
    return certificates;
}

X509StorePtr CertificateStore(const std::vector<X509Ptr>& certificates)
{
    X509StorePtr store(X509_STORE_new());
    for (const X509Ptr& certificate : certificates)
        if (store && !X509_STORE_add_cert(store.get(), certificate.get()))
            ERR_clear_error(); // the same certificate twice
    return store;
}

QByteArray CertificateDer(X509* certificate)
{
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    if (length <= 0)
        return {};
    QByteArray bytes(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    return bytes;
}

QByteArray CertificatePem(X509* certificate)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    return bio && PEM_write_bio_X509(bio.get(), certificate) ? BioContents(bio.get()) : QByteArray();
}

QByteArray BioContents(BIO* bio)
{
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return length > 0 ? QByteArray(data, qsizetype(length)) : QByteArray();
}

EvpPkeyPtr NewGostKey(const char* step, GostAlgorithm algorithm)
{
    EvpPkeyCtxPtr context(EVP_PKEY_CTX_new_id(Nids(algorithm).key, GostEngine(step)));
    EVP_PKEY* key = nullptr;
    if (!context || EVP_PKEY_keygen_init(context.get()) <= 0 ||
        EVP_PKEY_CTX_ctrl_str(context.get(), "paramset", "A") <= 0 ||
        EVP_PKEY_keygen(context.get(), &key) <= 0)
        return nullptr;
    return EvpPkeyPtr(key);
}

QByteArray PrivateKeyPem(EVP_PKEY* key, const QString& password)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    const QByteArray secret = password.toUtf8();
    const EVP_CIPHER* cipher = password.isEmpty() ? nullptr : EVP_aes_256_cbc();
    if (!bio || !PEM_write_bio_PKCS8PrivateKey(bio.get(), key, cipher,
                                               password.isEmpty() ? nullptr : secret.constData(),
                                               int(secret.size()), nullptr, nullptr))
        return {};
    return BioContents(bio.get());
}
