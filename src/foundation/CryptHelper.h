#pragma once

#include "foundation/Exceptions.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QIODevice;

// Every provider failure: the name of the failing step, a line feed, and the error text.
ZELVAN_DECLARE_EXCEPTION(ECryptException, Exception);

// The operator gave no password for an encrypted key: a silent abort in the window, a failure of
// the key container on the command line.
class EPasswordCancelled final : public EAbort {};

// The algorithms of a container follow its key: a GOST R 34.10-2001 key signs a GOST R 34.11-94
// hash, a GOST R 34.10-2012 key a GOST R 34.11-2012 hash of its own length (32 or 64 octets).
enum class GostAlgorithm { Gost2001, Gost2012_256, Gost2012_512 };

// The one of three values that belongs to the algorithm, for the tables of names and identifiers.
template <typename T>
constexpr T ByAlgorithm(GostAlgorithm algorithm, T gost2001, T gost2012With256, T gost2012With512)
{
    return algorithm == GostAlgorithm::Gost2012_256   ? gost2012With256
           : algorithm == GostAlgorithm::Gost2012_512 ? gost2012With512
                                                      : gost2001;
}

// "GOST R 34.10-2012 (256 bits)": how messages to the operator name the algorithm.
QString GostAlgorithmName(GostAlgorithm algorithm);

// A key container is a folder of the key store named after the container, holding the private
// key and its certificate under these names.
inline constexpr char KeyFileName[] = "private.key";
inline constexpr char CertificateFileName[] = "certificate.cer";

// True when the name can be a container: a plain folder name that stays inside the key store.
bool IsKeyContainerName(const QString& name);

// Asked for the password of an encrypted private key, with the container's name; no value means
// the operator cancelled, which ends the operation with EPasswordCancelled.
using TPasswordProvider = std::function<std::optional<QString>(const QString& containerName)>;

// The folder of key containers a program works with, and how it asks for a container's password
// (none: encrypted keys cannot be used). The program's session holds it.
struct KeyStore {
    QString path;
    TPasswordProvider passwords;
};

// Names of the key containers in the key store, appended in order; true when any was added.
bool EnumKeyContainers(const KeyStore& store, QStringList& names);

// Opens the named container afresh and fills each output that is given: the DER certificate,
// the GOST R 34.10 signature of the input (most significant octet first: s, then r), and the
// GOST R 34.11 hash of the input (as the provider returns it), both of the container's algorithm.
// An absent input is empty. On failure no output is touched.
void ContainerCrypt(const KeyStore& store, const QString& containerName, const QByteArray* input,
                    QByteArray* certificate, QByteArray* signature, QByteArray* hash);

// The container's algorithm, as the key of its certificate names it; never asks for a password.
GostAlgorithm ContainerAlgorithm(const KeyStore& store, const QString& containerName);

// The key of one container for the messages of one operation (or longer, while the operator asks
// to keep it): each file is read once, the certificate at the first use, the private key and with it
// the password at the first signature, however many signatures follow. The private key is freed and
// its memory cleared with the object. The object is not shared between threads while in use; the
// password provider is called on whatever thread signs first.
class ContainerKey final {
  public:
    // Nothing is read yet; the password is asked from the store's source.
    ContainerKey(KeyStore store, QString containerName);
    ~ContainerKey();
    ContainerKey(const ContainerKey&) = delete;
    ContainerKey& operator=(const ContainerKey&) = delete;

    const QString& containerName() const { return name_; }
    // True once the private key has been read and decrypted.
    bool unlocked() const;

    // The same results, failures and messages as ContainerAlgorithm and ContainerCrypt give.
    GostAlgorithm algorithm();
    QByteArray certificate();
    QByteArray hash(const QByteArray& input);
    QByteArray sign(const QByteArray& input);

  private:
    struct Loaded;
    Loaded& loaded();
    void unlock();

    KeyStore store_;
    QString name_;
    std::unique_ptr<Loaded> loaded_;
};

// Passes an OpenSSL result through when it signals success (a positive value); otherwise raises
// ECryptException named after the step, with the error text OpenSSL queued.
int CryptCheck(int result, const char* step);
// Raises ECryptException named after the step (UTF-8: a tool may name it in Russian) with the given
// error text.
[[noreturn]] void CryptFail(const char* step, const QString& errorText);

// Standard Base64 on one line.
QString Base64Line(const QByteArray& bytes);
QString Base64Line(const void* data, qsizetype length);
// Of a stream: everything from position 0 to its end.
QString Base64Line(QIODevice& stream);

// Makes the destination hold exactly the source's bytes (reversed end to end when asked) and leaves
// it at position 0. Nothing happens when either is absent. The destination is emptied first, so it
// must be a buffer or a file.
void CopyStreamBytes(QIODevice* source, QIODevice* destination, bool reverse);
