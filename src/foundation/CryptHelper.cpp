#include "foundation/CryptHelper.h"

#include "foundation/GostOpenSsl.h"
#include "foundation/KeyValueFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Names of the provider steps, kept in one place so every failure names its step the same way.
constexpr char kAcquireContext[] = "CryptAcquireContext";
constexpr char kGetKeyParam[] = "CryptGetKeyParam";
constexpr char kCreateHash[] = "CryptCreateHash";
constexpr char kHashData[] = "CryptHashData";
constexpr char kGetHashParam[] = "CryptGetHashParam";
constexpr char kSignHash[] = "CryptSignHash";

QString WithOpenSslErrors(const QString& text)
{
    const QString errors = TakeOpenSslErrors();
    return errors.isEmpty() ? text : text + QLatin1Char('\n') + errors;
}

QByteArray ReadContainerFile(const QString& path, const char* step)
{
    try {
        return ReadFileBytes(path);
    } catch (const Exception& error) {
        CryptFail(step, error.message());
    }
}

std::optional<QString> AskPassword(const QString& containerName, const TPasswordProvider& provider)
{
    if (!provider)
        CryptFail(kAcquireContext,
                  QStringLiteral("Ключ контейнера \"%1\" защищен паролем, а спросить пароль некому. "
                                 "Укажите файл с паролем (--password-file).")
                      .arg(containerName));
    return provider(containerName);
}

// Wipes the text where no other string shares it; a shared or static text is the sharer's to clear.
void CleanseText(QString& text)
{
    if (!text.isEmpty() && text.isDetached())
        OPENSSL_cleanse(text.data(), size_t(text.size()) * sizeof(QChar));
    text.clear();
}

struct TPemBlock {
    char* name = nullptr;
    char* header = nullptr;
    unsigned char* data = nullptr;
    long length = 0;

    TPemBlock() = default;
    TPemBlock(const TPemBlock&) = delete;
    TPemBlock& operator=(const TPemBlock&) = delete;
    ~TPemBlock()
    {
        OPENSSL_free(name);
        OPENSSL_free(header);
        // The block may be an unencrypted private key: nothing of it stays in freed memory.
        if (data)
            OPENSSL_clear_free(data, size_t(length));
    }
};

using P8Ptr = std::unique_ptr<PKCS8_PRIV_KEY_INFO, OpenSslDeleter<PKCS8_PRIV_KEY_INFO_free>>;
using X509SigPtr = std::unique_ptr<X509_SIG, OpenSslDeleter<X509_SIG_free>>;

// Reads the PEM PKCS#8 key itself rather than through PEM_read_bio_PrivateKey, which may ask the
// password source twice (once per decoder it tries) and prompts on the terminal when it has none.
EvpPkeyPtr ReadPrivateKey(const QString& containerName, const QString& path,
                          const TPasswordProvider& passwordProvider)
{
    const QByteArray pem = ReadContainerFile(path, kAcquireContext);
    BioPtr bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    TPemBlock block;
    if (!bio || PEM_read_bio(bio.get(), &block.name, &block.header, &block.data, &block.length) != 1)
        CryptFail(
            kAcquireContext,
            WithOpenSslErrors(QStringLiteral("Файл \"%1\" не содержит ключа PEM. Импортируйте ключ заново "
                                             "(zelvan-keytool import).")
                                  .arg(QDir::toNativeSeparators(path))));

    const unsigned char* der = block.data;
    P8Ptr info;
    if (std::strcmp(block.name, PEM_STRING_PKCS8) == 0) {
        X509SigPtr encrypted(d2i_X509_SIG(nullptr, &der, block.length));
        if (!encrypted)
            CryptFail(kAcquireContext, WithOpenSslErrors(QStringLiteral(
                                           "Зашифрованный ключ поврежден. Импортируйте ключ заново.")));
        std::optional<QString> password = AskPassword(containerName, passwordProvider);
        if (!password)
            throw EPasswordCancelled();
        QByteArray secret = password->toUtf8();
        CleanseText(*password);
        info.reset(PKCS8_decrypt(encrypted.get(), secret.constData(), int(secret.size())));
        OPENSSL_cleanse(secret.data(), size_t(secret.size()));
        if (!info)
            CryptFail(kAcquireContext, WithOpenSslErrors(QStringLiteral(
                                           "Неверный пароль или ключ поврежден. Введите пароль еще раз.")));
    } else if (std::strcmp(block.name, PEM_STRING_PKCS8INF) == 0) {
        info.reset(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &der, block.length));
        if (!info)
            CryptFail(kAcquireContext,
                      WithOpenSslErrors(QStringLiteral("Ключ поврежден. Импортируйте ключ заново.")));
    } else {
        CryptFail(kAcquireContext, QStringLiteral("Файл \"%1\" содержит \"%2\", а не закрытый ключ PKCS#8. "
                                                  "Импортируйте ключ в формате PKCS#8.")
                                       .arg(QDir::toNativeSeparators(path), QString::fromLatin1(block.name)));
    }
    EvpPkeyPtr key(EVP_PKCS82PKEY(info.get()));
    if (!key)
        CryptFail(kAcquireContext,
                  WithOpenSslErrors(QStringLiteral("Ключ не читается. Импортируйте ключ заново.")));
    // A key of another algorithm is refused with the certificate at hand, so that the message can
    // name both algorithms.
    return key;
}

// Messages to the state systems are signed with GOST keys only.
QString NotGostKeyText(const QString& whose, const QString& algorithm)
{
    return QStringLiteral(
               "Контейнер отклонен: %1 не ГОСТ Р 34.10 (%2). Импортируйте ключ ГОСТ Р 34.10-2001 или ГОСТ Р "
               "34.10-2012 и его сертификат.")
        .arg(whose, algorithm);
}

struct ContainerCertificate {
    QByteArray der;
    GostAlgorithm algorithm = GostAlgorithm::Gost2001;
};

// The certificate must be usable for the container's key: a certificate of another key would give
// signatures that nobody can verify. Its key's algorithm is the container's.
ContainerCertificate ReadContainerCertificate(const QString& folder, EVP_PKEY* key)
{
    const QString path = QDir(folder).filePath(QLatin1String(CertificateFileName));
    if (!QFileInfo(path).isFile())
        CryptFail(kGetKeyParam,
                  QStringLiteral("В контейнере нет сертификата (%1). Импортируйте сертификат ключа.")
                      .arg(QDir::toNativeSeparators(path)));
    const X509Ptr certificate = ReadCertificate(ReadContainerFile(path, kGetKeyParam));
    if (!certificate)
        CryptFail(kGetKeyParam,
                  WithOpenSslErrors(
                      QStringLiteral("Файл \"%1\" не содержит сертификата X.509. Импортируйте сертификат "
                                     "ключа заново.")
                          .arg(QDir::toNativeSeparators(path))));
    EVP_PKEY* publicKey = X509_get0_pubkey(certificate.get());
    if (!publicKey)
        CryptFail(kGetKeyParam, WithOpenSslErrors(QStringLiteral(
                                    "Открытый ключ сертификата не читается. Импортируйте сертификат "
                                    "заново.")));
    const std::optional<GostAlgorithm> algorithm = KeyGostAlgorithm(publicKey);
    if (key && !KeyGostAlgorithm(key))
        CryptFail(kGetKeyParam, NotGostKeyText(QStringLiteral("ключ"), KeyAlgorithmName(key)));
    if (!algorithm)
        CryptFail(kGetKeyParam,
                  NotGostKeyText(QStringLiteral("ключ сертификата"), KeyAlgorithmName(publicKey)));
    if (key && KeyGostAlgorithm(key) != algorithm)
        CryptFail(kGetKeyParam, QStringLiteral("Ключ контейнера — %1, а ключ его сертификата — %2. "
                                               "Импортируйте сертификат, выданный для этого ключа.")
                                    .arg(KeyAlgorithmName(key), KeyAlgorithmName(publicKey)));
    if (key && EVP_PKEY_eq(publicKey, key) != 1) {
        ERR_clear_error();
        CryptFail(kGetKeyParam, QStringLiteral("Сертификат выдан для другого ключа. Импортируйте сертификат "
                                               "ключа этого контейнера."));
    }
    const QByteArray der = CertificateDer(certificate.get());
    if (der.isEmpty())
        CryptFail(kGetKeyParam, WithOpenSslErrors(QStringLiteral("Сертификат не кодируется.")));
    return {der, *algorithm};
}

// The container's folder; fails at the first step when there is no such container or it has no key.
QString ContainerFolder(const KeyStore& keys, const QString& containerName)
{
    const QString& store = keys.path;
    const QString folder = QDir(store).filePath(containerName);
    if (!IsKeyContainerName(containerName) || !QFileInfo(folder).isDir())
        CryptFail(kAcquireContext,
                  QStringLiteral("Нет контейнера ключа \"%1\" в %2. Выберите контейнер в настройках "
                                 "или создайте его (zelvan-keytool).")
                      .arg(containerName, QDir::toNativeSeparators(store)));
    const QString keyPath = QDir(folder).filePath(QLatin1String(KeyFileName));
    if (!QFileInfo(keyPath).isFile())
        CryptFail(kAcquireContext,
                  QStringLiteral("В контейнере \"%1\" нет закрытого ключа (%2). Импортируйте ключ "
                                 "заново.")
                      .arg(containerName, QDir::toNativeSeparators(keyPath)));
    return folder;
}

QByteArray HashData(GostAlgorithm algorithm, ENGINE* engine, const QByteArray& data)
{
    const EVP_MD* digest = GostDigest(algorithm, kCreateHash);
    EvpMdCtxPtr context(EVP_MD_CTX_new());
    if (!context)
        CryptFail(kCreateHash, WithOpenSslErrors(QStringLiteral("Недостаточно памяти.")));
    CryptCheck(EVP_DigestInit_ex(context.get(), digest, engine), kCreateHash);
    CryptCheck(EVP_DigestUpdate(context.get(), data.constData(), size_t(data.size())), kHashData);
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    CryptCheck(EVP_DigestFinal_ex(context.get(), value, &length), kGetHashParam);
    return QByteArray(reinterpret_cast<const char*>(value), int(length));
}

QByteArray SignHash(EVP_PKEY* key, ENGINE* engine, const QByteArray& hashValue)
{
    EvpPkeyCtxPtr context(EVP_PKEY_CTX_new(key, engine));
    if (!context)
        CryptFail(kSignHash, WithOpenSslErrors(QStringLiteral("Ключ не может подписывать.")));
    CryptCheck(EVP_PKEY_sign_init(context.get()), kSignHash);
    const auto* digest = reinterpret_cast<const unsigned char*>(hashValue.constData());
    size_t length = 0;
    CryptCheck(EVP_PKEY_sign(context.get(), nullptr, &length, digest, size_t(hashValue.size())), kSignHash);
    QByteArray value(qsizetype(length), '\0');
    CryptCheck(EVP_PKEY_sign(context.get(), reinterpret_cast<unsigned char*>(value.data()), &length, digest,
                             size_t(hashValue.size())),
               kSignHash);
    value.truncate(qsizetype(length));
    return value;
}

} // namespace

bool IsKeyContainerName(const QString& name)
{
    // The name becomes a folder name: anything that could reach outside the key store is no container.
    // A line break or another control character would break every list of names, and a blank name
    // cannot be told from none.
    const bool controls =
        std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
    return !name.trimmed().isEmpty() && !controls && name != QLatin1String(".") &&
           name != QLatin1String("..") && !name.contains(QLatin1Char('/')) &&
           !name.contains(QLatin1Char('\\'));
}

bool EnumKeyContainers(const KeyStore& keys, QStringList& names)
{
    const QDir store(keys.path);
    const qsizetype before = names.size();
    // Hidden folders are left out on purpose: a container being written is not offered yet.
    for (const QString& folder : store.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir container(store.filePath(folder));
        if (QFileInfo(container.filePath(QLatin1String(KeyFileName))).isFile() &&
            QFileInfo(container.filePath(QLatin1String(CertificateFileName))).isFile())
            names << folder;
    }
    return names.size() > before;
}

void ContainerCrypt(const KeyStore& store, const QString& containerName, const QByteArray* input,
                    QByteArray* certificate, QByteArray* signature, QByteArray* hash)
{
    // Copied first: the caller may pass the same array as input and as an output.
    const QByteArray data = input ? *input : QByteArray();
    ERR_clear_error();

    ENGINE* engine = GostEngine(kAcquireContext);
    const QString folder = ContainerFolder(store, containerName);

    // The private key is read only for a signature: certificates and hashes never ask for a password.
    EvpPkeyPtr key;
    if (signature)
        key =
            ReadPrivateKey(containerName, QDir(folder).filePath(QLatin1String(KeyFileName)), store.passwords);

    // A hash needs the certificate too: its key decides the hash algorithm.
    ContainerCertificate certificateValue;
    if (certificate || signature || hash)
        certificateValue = ReadContainerCertificate(folder, key.get());

    QByteArray hashValue;
    QByteArray signatureValue;
    if (hash || signature) {
        hashValue = HashData(certificateValue.algorithm, engine, data);
        if (signature)
            signatureValue = SignHash(key.get(), engine, hashValue);
    }

    // Decoders leave notes in the error queue even on success; they must not show up in the
    // message of someone else's later failure.
    ERR_clear_error();
    // Outputs change only once everything has succeeded.
    if (certificate)
        *certificate = certificateValue.der;
    if (signature)
        *signature = signatureValue;
    if (hash)
        *hash = hashValue;
}

GostAlgorithm ContainerAlgorithm(const KeyStore& store, const QString& containerName)
{
    ERR_clear_error();
    GostEngine(kAcquireContext);
    const GostAlgorithm algorithm =
        ReadContainerCertificate(ContainerFolder(store, containerName), nullptr).algorithm;
    ERR_clear_error();
    return algorithm;
}

struct ContainerKey::Loaded {
    ENGINE* engine = nullptr;
    QString folder;
    ContainerCertificate certificate;
    EvpPkeyPtr privateKey;
};

ContainerKey::ContainerKey(KeyStore store, QString containerName)
    : store_(std::move(store)), name_(std::move(containerName))
{
}

// The private key goes with EVP_PKEY_free, which clears its numbers; the password was wiped as
// soon as the key was decrypted.
ContainerKey::~ContainerKey() = default;

bool ContainerKey::unlocked() const
{
    return loaded_ && loaded_->privateKey;
}

ContainerKey::Loaded& ContainerKey::loaded()
{
    if (!loaded_) {
        // In the order ContainerAlgorithm fails, so that the first failure reads the same.
        ERR_clear_error();
        auto loading = std::make_unique<Loaded>();
        loading->engine = GostEngine(kAcquireContext);
        loading->folder = ContainerFolder(store_, name_);
        loading->certificate = ReadContainerCertificate(loading->folder, nullptr);
        ERR_clear_error();
        loaded_ = std::move(loading);
    }
    return *loaded_;
}

void ContainerKey::unlock()
{
    Loaded& files = loaded();
    if (files.privateKey)
        return;
    ERR_clear_error();
    // The folder is looked at again: a key removed since the certificate was read fails as before.
    ContainerFolder(store_, name_);
    EvpPkeyPtr key =
        ReadPrivateKey(name_, QDir(files.folder).filePath(QLatin1String(KeyFileName)), store_.passwords);
    // The certificate must still belong to the key, exactly as each signature used to check.
    files.certificate = ReadContainerCertificate(files.folder, key.get());
    ERR_clear_error();
    files.privateKey = std::move(key);
}

GostAlgorithm ContainerKey::algorithm()
{
    return loaded().certificate.algorithm;
}

QByteArray ContainerKey::certificate()
{
    return loaded().certificate.der;
}

QByteArray ContainerKey::hash(const QByteArray& input)
{
    Loaded& files = loaded();
    ERR_clear_error();
    QByteArray value = HashData(files.certificate.algorithm, files.engine, input);
    ERR_clear_error();
    return value;
}

QByteArray ContainerKey::sign(const QByteArray& input)
{
    unlock();
    Loaded& files = *loaded_;
    ERR_clear_error();
    QByteArray value = SignHash(files.privateKey.get(), files.engine,
                                HashData(files.certificate.algorithm, files.engine, input));
    ERR_clear_error();
    return value;
}

QString GostAlgorithmName(GostAlgorithm algorithm)
{
    return QLatin1String(ByAlgorithm(algorithm, "GOST R 34.10-2001", "GOST R 34.10-2012 (256 bits)",
                                     "GOST R 34.10-2012 (512 bits)"));
}

int CryptCheck(int result, const char* step)
{
    if (result <= 0)
        CryptFail(step, TakeOpenSslErrors());
    return result;
}

void CryptFail(const char* step, const QString& errorText)
{
    const QString text = errorText.isEmpty() ? QStringLiteral("A call to an OS function failed") : errorText;
    throw ECryptException(QString::fromUtf8(step) + QLatin1Char('\n') + text);
}

QString Base64Line(const QByteArray& bytes)
{
    // Qt's encoder never breaks lines, which is the one-line form the XML needs.
    return QString::fromLatin1(bytes.toBase64());
}

QString Base64Line(const void* data, qsizetype length)
{
    return Base64Line(QByteArray::fromRawData(static_cast<const char*>(data), length));
}

QString Base64Line(QIODevice& stream)
{
    if (!stream.isSequential())
        stream.seek(0);
    return Base64Line(stream.readAll());
}

void CopyStreamBytes(QIODevice* source, QIODevice* destination, bool reverse)
{
    if (!source || !destination)
        return;
    if (!source->isSequential())
        source->seek(0);
    QByteArray bytes = source->readAll();
    if (reverse)
        std::reverse(bytes.begin(), bytes.end());
    // A destination longer than the source must not keep its old tail.
    if (auto* buffer = qobject_cast<QBuffer*>(destination)) {
        buffer->buffer() = bytes;
        buffer->seek(0);
        return;
    }
    auto* file = qobject_cast<QFileDevice*>(destination);
    if (!file)
        throw Exception(QStringLiteral("Only a buffer or a file can receive copied bytes"));
    if (!file->resize(0) || !file->seek(0) || file->write(bytes) != bytes.size() || !file->seek(0))
        throw Exception(
            QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file->fileName()), file->errorString()));
}
