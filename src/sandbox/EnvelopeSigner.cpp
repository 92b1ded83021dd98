#include "sandbox/EnvelopeSigner.h"
#include "sandbox/SandboxError.h"

#include "smev/SignatureVerifier.h"

namespace {

// Heads every failure of signing a reply; OpenSSL's reason follows on the next line.
constexpr char kStep[] = "Ответ песочницы не подписан";
constexpr char SoapNs[] = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr char DsigNs[] = "http://www.w3.org/2000/09/xmldsig#";

[[noreturn]] void Fail()
{
    throw ESandboxError(QString::fromUtf8(kStep) + u'\n' + TakeOpenSslErrors());
}

} // namespace

QByteArray GostSign(EVP_PKEY* key, const QByteArray& data)
{
    const QByteArray hash = Gost94Hash(data);
    EvpPkeyCtxPtr context(EVP_PKEY_CTX_new(key, GostEngine(kStep)));
    size_t length = 0;
    const auto* digest = reinterpret_cast<const unsigned char*>(hash.constData());
    if (hash.isEmpty() || !context || EVP_PKEY_sign_init(context.get()) <= 0 ||
        EVP_PKEY_sign(context.get(), nullptr, &length, digest, size_t(hash.size())) <= 0)
        Fail();
    QByteArray signature(qsizetype(length), '\0');
    if (EVP_PKEY_sign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length, digest,
                      size_t(hash.size())) <= 0)
        Fail();
    signature.truncate(qsizetype(length));
    return signature;
}

QByteArray SignedSoapEnvelope(const QString& bodyContent, const QByteArray& certificateDer, EVP_PKEY* key)
{
    // Filled in two steps: the digest of the Body, then the signature of the SignedInfo that holds it,
    // each canonicalised where it stands in the finished envelope.
    const QString text =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
            "xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/"
            "oasis-200401-wss-wssecurity-secext-1.0.xsd\" "
            "xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/"
            "oasis-200401-wss-wssecurity-utility-1.0.xsd\">"
            "<soap:Header><wsse:Security soap:actor=\"http://smev.gosuslugi.ru/actors/smev\">"
            "<wsse:BinarySecurityToken EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
            "oasis-200401-wss-soap-message-security-1.0#Base64Binary\" "
            "ValueType=\"http://docs.oasis-open.org/wss/"
            "2004/01/oasis-200401-wss-x509-token-profile-1.0#X509v3\" wsu:Id=\"SenderCertificate\">%1"
            "</wsse:BinarySecurityToken><ds:Signature "
            "xmlns:ds=\"http://www.w3.org/2000/09/xmldsig#\"><ds:SignedInfo>"
            "<ds:CanonicalizationMethod Algorithm=\"http://www.w3.org/2001/10/xml-exc-c14n#\"/>"
            "<ds:SignatureMethod "
            "Algorithm=\"http://www.w3.org/2001/04/xmldsig-more#gostr34102001-gostr3411\"/>"
            "<ds:Reference URI=\"#body\"><ds:Transforms><ds:Transform "
            "Algorithm=\"http://www.w3.org/2001/10/xml-exc-c14n#\"/></ds:Transforms>"
            "<ds:DigestMethod Algorithm=\"http://www.w3.org/2001/04/xmldsig-more#gostr3411\"/>"
            "<ds:DigestValue>@DIGEST@</ds:DigestValue></ds:Reference></ds:SignedInfo>"
            "<ds:SignatureValue>@SIGNATURE@</ds:SignatureValue><ds:KeyInfo><wsse:SecurityTokenReference>"
            "<wsse:Reference URI=\"#SenderCertificate\" ValueType=\"http://docs.oasis-open.org/wss/2004/01/"
            "oasis-200401-wss-x509-token-profile-1.0#X509v3\"/></wsse:SecurityTokenReference></ds:KeyInfo>"
            "</ds:Signature></wsse:Security></soap:Header><soap:Body "
            "wsu:Id=\"body\">%2</soap:Body></soap:Envelope>")
            .arg(QString::fromLatin1(certificateDer.toBase64()), bodyContent);
    QByteArray envelope = text.toUtf8();
    const QByteArray body = ExclusiveCanonicalForm(envelope, SoapNs, "Body");
    if (body.isEmpty())
        throw ESandboxError(QString::fromUtf8(kStep) + QStringLiteral(": ответ не является корректным XML."));
    // The markers stand in the header, before any content a request could have put in the Body.
    envelope.replace(envelope.indexOf("@DIGEST@"), 8, Gost94Hash(body).toBase64());
    const QByteArray signedInfo = ExclusiveCanonicalForm(envelope, DsigNs, "SignedInfo");
    envelope.replace(envelope.indexOf("@SIGNATURE@"), 11, GostSign(key, signedInfo).toBase64());
    return envelope;
}
