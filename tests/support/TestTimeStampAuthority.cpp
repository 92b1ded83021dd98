#include "TestTimeStampAuthority.h"

#include "TestKeys.h"
#include "foundation/GostOpenSsl.h"

#include <QDir>
#include <QFile>

#include <openssl/pem.h>
#include <openssl/ts.h>

#include <atomic>
#include <stdexcept>

namespace {

constexpr char kStep[] = "test time-stamp authority";

using TsRespCtxPtr = std::unique_ptr<TS_RESP_CTX, OpenSslDeleter<TS_RESP_CTX_free>>;
using TsRespPtr = std::unique_ptr<TS_RESP, OpenSslDeleter<TS_RESP_free>>;
using Asn1ObjectPtr = std::unique_ptr<ASN1_OBJECT, OpenSslDeleter<ASN1_OBJECT_free>>;
using Asn1IntegerPtr = std::unique_ptr<ASN1_INTEGER, OpenSslDeleter<ASN1_INTEGER_free>>;

[[noreturn]] void Fail(const QString& what)
{
    throw std::runtime_error((what + QLatin1Char('\n') + TakeOpenSslErrors()).toStdString());
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("%1: %2").arg(path, file.errorString()).toStdString());
    return file.readAll();
}

ASN1_INTEGER* NextSerial(TS_RESP_CTX*, void* data)
{
    auto* counter = static_cast<std::atomic<long>*>(data);
    ASN1_INTEGER* serial = ASN1_INTEGER_new();
    if (serial && !ASN1_INTEGER_set(serial, ++*counter)) {
        ASN1_INTEGER_free(serial);
        return nullptr;
    }
    return serial;
}

} // namespace

struct TTestTimeStampAuthority::TImpl {
    X509Ptr Certificate;
    EvpPkeyPtr Key;
    QByteArray CertificateDer;
    std::atomic<bool> AcceptGost94{true};
    mutable std::atomic<long> Serial{0};
};

TTestTimeStampAuthority::TTestTimeStampAuthority(TestKeyStore& store, const QString& containerName)
    : F(std::make_unique<TImpl>())
{
    TestKeyOptions options;
    options.commonName = QStringLiteral("Test time-stamp authority");
    options.timeStamping = true;
    F->CertificateDer = store.addContainer(containerName, options);
    F->Certificate = ReadCertificate(F->CertificateDer);

    GostEngine(kStep);
    const QByteArray keyPem =
        ReadFile(QDir(store.containerPath(containerName)).filePath(QLatin1String(KeyFileName)));
    BioPtr bio(BIO_new_mem_buf(keyPem.constData(), int(keyPem.size())));
    F->Key.reset(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!F->Certificate || !F->Key)
        Fail(QStringLiteral("cannot read the time-stamp authority's key and certificate"));
}

TTestTimeStampAuthority::~TTestTimeStampAuthority() = default;

QByteArray TTestTimeStampAuthority::certificate() const
{
    return F->CertificateDer;
}

void TTestTimeStampAuthority::setAcceptGost94(bool accept)
{
    F->AcceptGost94 = accept;
}

QByteArray TTestTimeStampAuthority::respond(const QByteArray& request) const
{
    // One responder per request: the server answers from several threads.
    TsRespCtxPtr context(TS_RESP_CTX_new());
    const Asn1ObjectPtr policy(OBJ_txt2obj("1.2.643.100.999.1", 1));
    const EVP_MD* gost94 = Gost94Digest(kStep);
    if (!context || !policy || !TS_RESP_CTX_set_signer_cert(context.get(), F->Certificate.get()) ||
        !TS_RESP_CTX_set_signer_key(context.get(), F->Key.get()) ||
        !TS_RESP_CTX_set_signer_digest(context.get(), gost94) ||
        !TS_RESP_CTX_set_def_policy(context.get(), policy.get()) ||
        !TS_RESP_CTX_add_md(context.get(), F->AcceptGost94 ? gost94 : EVP_sha256()) ||
        !TS_RESP_CTX_add_md(context.get(), GostDigest(GostAlgorithm::Gost2012_256, kStep)) ||
        !TS_RESP_CTX_add_md(context.get(), GostDigest(GostAlgorithm::Gost2012_512, kStep)))
        Fail(QStringLiteral("cannot set up the time-stamp responder"));
    TS_RESP_CTX_set_serial_cb(context.get(), NextSerial, &F->Serial);

    BioPtr input(BIO_new_mem_buf(request.constData(), int(request.size())));
    const TsRespPtr response(input ? TS_RESP_create_response(context.get(), input.get()) : nullptr);
    if (!response)
        Fail(QStringLiteral("the time-stamp responder failed"));
    unsigned char* der = nullptr;
    const int length = i2d_TS_RESP(response.get(), &der);
    if (length <= 0)
        Fail(QStringLiteral("cannot encode the time-stamp reply"));
    QByteArray reply(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    TakeOpenSslErrors();
    return reply;
}

TTestTimeStampServer::TTestTimeStampServer(TestKeyStore& store) : FAuthority(store)
{
    FServer.setHandler([this](const TRecordedRequest& request) {
        TScriptedReply reply;
        reply.ContentType = "application/timestamp-reply";
        reply.Body = FAuthority.respond(request.Body);
        return reply;
    });
}
