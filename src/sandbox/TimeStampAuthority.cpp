#include "sandbox/TimeStampAuthority.h"
#include "sandbox/SandboxError.h"

#include <QString>

#include <openssl/ts.h>

namespace {

constexpr char kStep[] = "Метка времени песочницы не выдана";

using TsRespCtxPtr = std::unique_ptr<TS_RESP_CTX, OpenSslDeleter<TS_RESP_CTX_free>>;
using TsRespPtr = std::unique_ptr<TS_RESP, OpenSslDeleter<TS_RESP_free>>;
using Asn1ObjectPtr = std::unique_ptr<ASN1_OBJECT, OpenSslDeleter<ASN1_OBJECT_free>>;

// What failed inside OpenSSL is in its own reason, on the next line.
[[noreturn]] void Fail()
{
    throw ESandboxError(QString::fromUtf8(kStep) + QLatin1Char('\n') + TakeOpenSslErrors());
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

TimeStampAuthority::TimeStampAuthority(X509Ptr certificate, EvpPkeyPtr key)
    : FCertificate(std::move(certificate)), FKey(std::move(key))
{
    if (!FCertificate || !FKey)
        throw ESandboxError(
            QStringLiteral("Служба меток времени песочницы не создана: нет ее сертификата или "
                           "ключа."));
    FCertificateDer = CertificateDer(FCertificate.get());
}

QByteArray TimeStampAuthority::respond(const QByteArray& request) const
{
    // One responder per request: the server answers from several threads.
    TsRespCtxPtr context(TS_RESP_CTX_new());
    const Asn1ObjectPtr policy(OBJ_txt2obj("1.2.643.100.999.1", 1));
    const EVP_MD* gost94 = Gost94Digest(kStep);
    if (!context || !policy || !TS_RESP_CTX_set_signer_cert(context.get(), FCertificate.get()) ||
        !TS_RESP_CTX_set_signer_key(context.get(), FKey.get()) ||
        !TS_RESP_CTX_set_signer_digest(context.get(), gost94) ||
        !TS_RESP_CTX_set_def_policy(context.get(), policy.get()) ||
        !TS_RESP_CTX_add_md(context.get(), FAcceptGost94 ? gost94 : EVP_sha256()) ||
        // Signers with GOST R 34.10-2012 keys send imprints of the 2012 hashes.
        !TS_RESP_CTX_add_md(context.get(), GostDigest(GostAlgorithm::Gost2012_256, kStep)) ||
        !TS_RESP_CTX_add_md(context.get(), GostDigest(GostAlgorithm::Gost2012_512, kStep)))
        Fail();
    TS_RESP_CTX_set_serial_cb(context.get(), NextSerial, &FSerial);

    BioPtr input(BIO_new_mem_buf(request.constData(), int(request.size())));
    const TsRespPtr response(input ? TS_RESP_create_response(context.get(), input.get()) : nullptr);
    if (!response)
        Fail();
    unsigned char* der = nullptr;
    const int length = i2d_TS_RESP(response.get(), &der);
    if (length <= 0)
        Fail();
    QByteArray reply(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    TakeOpenSslErrors();
    return reply;
}
