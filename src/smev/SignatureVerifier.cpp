#include "smev/SignatureVerifier.h"

#include "smev/StreamingCanonicaliser.h"

#include "foundation/GostOpenSsl.h"
#include "foundation/XmlHelper.h"
#include "foundation/XmlParserLimits.h"

#include <libxml/SAX2.h>
#include <libxml/c14n.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace {

// The published URIs, written here again on purpose: a verifier that took them from the code under
// test would accept a message whose constants were wrong.
constexpr char DsigNs[] = "http://www.w3.org/2000/09/xmldsig#";
constexpr char SoapNs[] = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr char WsuNs[] = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
constexpr char WsseNs[] = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
constexpr char XadesNs[] = "http://uri.etsi.org/01903/v1.1.1#";
constexpr char PaymentNs[] = "http://roskazna.ru/gisgmp/xsd/116/PaymentInfo";
constexpr char ExcC14n[] = "http://www.w3.org/2001/10/xml-exc-c14n#";
constexpr char Enveloped[] = "http://www.w3.org/2000/09/xmldsig#enveloped-signature";
constexpr char Gost3411[] = "http://www.w3.org/2001/04/xmldsig-more#gostr3411";
constexpr char Gost3410[] = "http://www.w3.org/2001/04/xmldsig-more#gostr34102001-gostr3411";
constexpr char Gost2012Digest256[] = "urn:ietf:params:xml:ns:cpxmlsec:algorithms:gostr34112012-256";
constexpr char Gost2012Signature256[] =
    "urn:ietf:params:xml:ns:cpxmlsec:algorithms:gostr34102012-gostr34112012-256";
constexpr char Gost2012Digest512[] = "urn:ietf:params:xml:ns:cpxmlsec:algorithms:gostr34112012-512";
constexpr char Gost2012Signature512[] =
    "urn:ietf:params:xml:ns:cpxmlsec:algorithms:gostr34102012-gostr34112012-512";

// A signature method and the one digest method that goes with it.
struct MethodPair {
    const char* signature;
    const char* digest;
    GostAlgorithm algorithm;
};
constexpr MethodPair Methods[] = {
    {Gost3410, Gost3411, GostAlgorithm::Gost2001},
    {Gost2012Signature256, Gost2012Digest256, GostAlgorithm::Gost2012_256},
    {Gost2012Signature512, Gost2012Digest512, GostAlgorithm::Gost2012_512},
};

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

QString Text(const xmlChar* text)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(text));
}

bool Is(const xmlNode* node, const char* ns, const char* localName)
{
    return node && node->type == XML_ELEMENT_NODE && node->ns &&
           xmlStrEqual(node->ns->href, reinterpret_cast<const xmlChar*>(ns)) &&
           xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>(localName));
}

xmlNode* FindDescendant(xmlNode* node, const std::function<bool(const xmlNode*)>& wanted)
{
    for (xmlNode* child = node ? node->children : nullptr; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        if (wanted(child))
            return child;
        if (xmlNode* found = FindDescendant(child, wanted))
            return found;
    }
    return nullptr;
}

xmlNode* FindElement(xmlNode* within, const char* ns, const char* localName)
{
    return FindDescendant(within, [&](const xmlNode* n) { return Is(n, ns, localName); });
}

xmlNode* FindChild(xmlNode* parent, const char* ns, const char* localName)
{
    for (xmlNode* child = parent ? parent->children : nullptr; child; child = child->next)
        if (Is(child, ns, localName))
            return child;
    return nullptr;
}

QString Attribute(const xmlNode* node, const char* name, const char* ns = nullptr)
{
    if (!node)
        return {};
    xmlChar* value =
        ns ? xmlGetNsProp(node, reinterpret_cast<const xmlChar*>(name), reinterpret_cast<const xmlChar*>(ns))
           : xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name));
    const QString result = Text(value);
    xmlFree(value);
    return result;
}

QString Content(const xmlNode* node)
{
    if (!node)
        return {};
    xmlChar* value = xmlNodeGetContent(node);
    const QString result = Text(value);
    xmlFree(value);
    return result;
}

int IsWithin(void* userData, xmlNode* node, xmlNode* parent)
{
    const auto* apex = static_cast<const xmlNode*>(userData);
    // Attributes and namespace nodes are judged by the element they belong to.
    const xmlNode* n = (node->type == XML_NAMESPACE_DECL || node->type == XML_ATTRIBUTE_NODE) ? parent : node;
    for (; n; n = n->parent)
        if (n == apex)
            return 1;
    return 0;
}

int AppendBytes(void* context, const char* buffer, int length)
{
    static_cast<QByteArray*>(context)->append(buffer, length);
    return length;
}

// The exclusive canonical form, without comments, of the element where it stands in its document.
QByteArray ExclusiveC14N(xmlDoc* doc, xmlNode* element)
{
    QByteArray out;
    xmlOutputBufferPtr buffer = xmlOutputBufferCreateIO(AppendBytes, nullptr, &out, nullptr);
    const int result = xmlC14NExecute(doc, IsWithin, element, XML_C14N_EXCLUSIVE_1_0, nullptr, 0, buffer);
    xmlOutputBufferClose(buffer);
    return result < 0 ? QByteArray() : out;
}

QByteArray Base64Content(const xmlNode* node, SignatureCheck& check, const char* what)
{
    const std::optional<QByteArray> decoded = DecodeXmlBase64(Content(node));
    if (!decoded) {
        check.failures.append(QStringLiteral("%1 is not Base64").arg(QLatin1String(what)));
        return {};
    }
    return *decoded;
}

xmlNode* ElementWithId(xmlNode* root, const QString& id)
{
    if (root && (Attribute(root, "Id") == id || Attribute(root, "Id", WsuNs) == id))
        return root;
    return FindDescendant(
        root, [&](const xmlNode* n) { return Attribute(n, "Id") == id || Attribute(n, "Id", WsuNs) == id; });
}

// The GOST signature method the SignedInfo names; the first one when it names none.
const MethodPair& SignatureMethodOf(xmlNode* signedInfo)
{
    const QString signatureMethod = Attribute(FindChild(signedInfo, DsigNs, "SignatureMethod"), "Algorithm");
    for (const MethodPair& known : Methods)
        if (signatureMethod == QLatin1String(known.signature))
            return known;
    return Methods[0];
}

// Checks the algorithms of the SignedInfo and returns its single reference; `method` becomes the
// GOST signature method it names (the first one when it names none, which is then a failure).
xmlNode* CheckSignedInfo(xmlNode* signedInfo, bool enveloped, SignatureCheck& check,
                         const MethodPair*& method)
{
    if (Attribute(FindChild(signedInfo, DsigNs, "CanonicalizationMethod"), "Algorithm") !=
        QLatin1String(ExcC14n))
        check.failures.append(QStringLiteral("canonicalisation is not exclusive c14n"));
    method = &SignatureMethodOf(signedInfo);
    const QString signatureMethod = Attribute(FindChild(signedInfo, DsigNs, "SignatureMethod"), "Algorithm");
    if (signatureMethod != QLatin1String(method->signature))
        check.failures.append(QStringLiteral("signature method %1 is not GOST R 34.10").arg(signatureMethod));
    xmlNode* reference = FindChild(signedInfo, DsigNs, "Reference");
    if (!reference) {
        check.failures.append(QStringLiteral("no ds:Reference"));
        return nullptr;
    }
    QStringList transforms;
    for (xmlNode* t = FindChild(reference, DsigNs, "Transforms")
                          ? FindChild(reference, DsigNs, "Transforms")->children
                          : nullptr;
         t; t = t->next)
        if (Is(t, DsigNs, "Transform"))
            transforms.append(Attribute(t, "Algorithm"));
    const QStringList expected = enveloped ? QStringList{QLatin1String(Enveloped), QLatin1String(ExcC14n)}
                                           : QStringList{QLatin1String(ExcC14n)};
    if (transforms != expected)
        check.failures.append(QStringLiteral("unexpected transforms: ") + transforms.join(u", "));
    const QString digestMethod = Attribute(FindChild(reference, DsigNs, "DigestMethod"), "Algorithm");
    if (digestMethod != QLatin1String(method->digest))
        check.failures.append(QStringLiteral("digest method %1 does not go with the signature method %2")
                                  .arg(digestMethod, QLatin1String(method->signature)));
    return reference;
}

// What reading an envelope keeps: the tree of everything but the SOAP Body's content, which is
// canonicalised and hashed as it comes.
struct EnvelopeStream {
    bool keepSignedForm = false;
    qint64 maxCanonicalSize = 0;
    int depth = 0;
    enum class Zone { tree, body, skipped } zone = Zone::tree;
    int zoneDepth = 0;
    bool bodyFound = false;
    bool headerFound = false;
    bool anotherBody = false;
    qint64 treeNodes = 0;
    StreamingCanonicaliser canonicaliser;
    EvpMdCtxPtr digest;
    qint64 canonicalSize = 0;
    QByteArray signedForm;
    QString failure;
    QString excess; // a reading limit passed, in the operator's words
    std::exception_ptr error;
};

struct ParsedText {
    DocPtr doc;
    QStringList errors;
    bool namespacesWellFormed = false;
    bool documentType = false;
    QString excess; // the reading limit passed, in the operator's words
    bool stopped = false;
};

void CollectError(void* userData, xmlErrorPtr error)
{
    auto* errors = static_cast<QStringList*>(userData);
    errors->append(
        QStringLiteral("line %1: %2").arg(error->line).arg(QString::fromUtf8(error->message).trimmed()));
}

struct ParseState {
    EnvelopeStream* stream = nullptr;
    bool documentType = false;
};

ParseState& StateOf(void* ctx)
{
    return *static_cast<ParseState*>(XmlParserLimits::user(ctx));
}

void Stop(void* ctx, EnvelopeStream& stream, const QString& why)
{
    if (stream.failure.isEmpty())
        stream.failure = why;
    xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
}

// Hands what the canonicaliser wrote to the digest, once the digest is known, and keeps it when asked.
void Drain(void* ctx, EnvelopeStream& stream)
{
    std::string& out = stream.canonicaliser.output();
    stream.canonicalSize += qint64(out.size());
    if (stream.keepSignedForm)
        stream.signedForm.append(out.data(), qsizetype(out.size()));
    if (stream.digest)
        EVP_DigestUpdate(stream.digest.get(), out.data(), out.size());
    out.clear();
    if (stream.canonicalSize > stream.maxCanonicalSize) {
        // A reading limit like the others, told in the same words.
        stream.excess = QStringLiteral("тело ответа в каноническом виде длиннее %1 октетов.")
                            .arg(stream.maxCanonicalSize);
        xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
    } else if (!stream.canonicaliser.failure().isEmpty())
        Stop(ctx, stream, stream.canonicaliser.failure());
}

// The canonical form is hashed in pieces of about 64 KB.
void DrainWhenFull(void* ctx, EnvelopeStream& stream)
{
    if (stream.canonicaliser.output().size() >= 1 << 16)
        Drain(ctx, stream);
}

// The digest named by the signature of the Header read so far; none when there is no signature yet.
void StartDigest(xmlDoc* doc, EnvelopeStream& stream)
{
    xmlNode* security = FindChild(FindChild(xmlDocGetRootElement(doc), SoapNs, "Header"), WsseNs, "Security");
    xmlNode* signedInfo = FindChild(FindChild(security, DsigNs, "Signature"), DsigNs, "SignedInfo");
    if (!signedInfo)
        return;
    const MethodPair& method = SignatureMethodOf(signedInfo);
    stream.digest.reset(EVP_MD_CTX_new());
    if (!stream.digest ||
        EVP_DigestInit_ex(stream.digest.get(), GostDigest(method.algorithm, "digest check"), nullptr) != 1)
        stream.digest.reset();
}

// The parts of an envelope outside its Body are few in any real reply; the tree keeps no more.
bool Builds(void* ctx, EnvelopeStream& stream)
{
    if (++stream.treeNodes <= XmlLimits::BaseNodes)
        return true;
    Stop(ctx, stream,
         QStringLiteral("the envelope outside its Body has more than %1 nodes").arg(XmlLimits::BaseNodes));
    return false;
}

// No exception may cross the parser's C frames: what the reading of the Body raises is kept, the
// parser stopped, and it is raised again once the parser is out.
template <typename Work> void Guarded(void* ctx, EnvelopeStream& stream, Work&& work)
{
    try {
        work();
    } catch (...) {
        if (!stream.error)
            stream.error = std::current_exception();
        xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
    }
}

void StartElement(void* ctx, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri,
                  int namespaceCount, const xmlChar** namespaces, int attributeCount, int defaulted,
                  const xmlChar** attributes)
{
    EnvelopeStream* stream = StateOf(ctx).stream;
    Guarded(ctx, *stream, [&] {
        ++stream->depth;
        if (stream->zone == EnvelopeStream::Zone::body) {
            stream->canonicaliser.start(localName, prefix, uri, namespaceCount, namespaces, attributeCount,
                                        attributes);
            DrainWhenFull(ctx, *stream);
            return;
        }
        if (stream->zone == EnvelopeStream::Zone::skipped)
            return;
        if (stream->depth == 2) {
            const bool soap = xmlStrEqual(uri, reinterpret_cast<const xmlChar*>(SoapNs));
            if (xmlStrcasecmp(localName, reinterpret_cast<const xmlChar*>("Body")) == 0) {
                if (stream->bodyFound || !soap ||
                    !xmlStrEqual(localName, reinterpret_cast<const xmlChar*>("Body"))) {
                    // Readers that go by local names would read it instead of the signed one.
                    stream->anotherBody = true;
                    stream->zone = EnvelopeStream::Zone::skipped;
                    stream->zoneDepth = stream->depth;
                    return;
                }
                stream->bodyFound = true;
                if (!Builds(ctx, *stream))
                    return;
                xmlSAX2StartElementNs(ctx, localName, prefix, uri, namespaceCount, namespaces, attributeCount,
                                      defaulted, attributes);
                stream->zone = EnvelopeStream::Zone::body;
                stream->zoneDepth = stream->depth;
                StartDigest(static_cast<xmlParserCtxtPtr>(ctx)->myDoc, *stream);
                stream->canonicaliser.start(localName, prefix, uri, namespaceCount, namespaces,
                                            attributeCount, attributes);
                return;
            }
            if (stream->headerFound || !soap ||
                !xmlStrEqual(localName, reinterpret_cast<const xmlChar*>("Header"))) {
                stream->zone = EnvelopeStream::Zone::skipped;
                stream->zoneDepth = stream->depth;
                return;
            }
            stream->headerFound = true;
        }
        if (Builds(ctx, *stream))
            xmlSAX2StartElementNs(ctx, localName, prefix, uri, namespaceCount, namespaces, attributeCount,
                                  defaulted, attributes);
    });
}
void EndElement(void* ctx, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri)
{
    EnvelopeStream* stream = StateOf(ctx).stream;
    Guarded(ctx, *stream, [&] {
        const int depth = stream->depth--;
        switch (stream->zone) {
        case EnvelopeStream::Zone::body:
            stream->canonicaliser.end(localName, prefix);
            if (depth == stream->zoneDepth) {
                stream->zone = EnvelopeStream::Zone::tree;
                Drain(ctx, *stream);
                xmlSAX2EndElementNs(ctx, localName, prefix, uri);
            } else {
                DrainWhenFull(ctx, *stream);
            }
            return;
        case EnvelopeStream::Zone::skipped:
            if (depth == stream->zoneDepth)
                stream->zone = EnvelopeStream::Zone::tree;
            return;
        case EnvelopeStream::Zone::tree:
            xmlSAX2EndElementNs(ctx, localName, prefix, uri);
        }
    });
}

void Characters(void* ctx, const xmlChar* text, int length)
{
    EnvelopeStream* stream = StateOf(ctx).stream;
    if (stream->zone == EnvelopeStream::Zone::body) {
        Guarded(ctx, *stream, [&] {
            stream->canonicaliser.text(text, length);
            DrainWhenFull(ctx, *stream);
        });
    } else if (stream->zone == EnvelopeStream::Zone::tree && Builds(ctx, *stream)) {
        xmlSAX2Characters(ctx, text, length);
    }
}

// Comments are no part of the canonical form; in the tree they are kept as read.
void Comment(void* ctx, const xmlChar* text)
{
    EnvelopeStream* stream = StateOf(ctx).stream;
    if (stream->zone == EnvelopeStream::Zone::tree && Builds(ctx, *stream))
        xmlSAX2Comment(ctx, text);
}

void Instruction(void* ctx, const xmlChar* target, const xmlChar* data)
{
    EnvelopeStream* stream = StateOf(ctx).stream;
    if (stream->zone == EnvelopeStream::Zone::tree && Builds(ctx, *stream))
        xmlSAX2ProcessingInstruction(ctx, target, data);
    else if (stream->zone == EnvelopeStream::Zone::body)
        Guarded(ctx, *stream, [&] { stream->canonicaliser.instruction(target, data); });
}

// A document type could declare entities that expand without bound or reach for files: the
// parser stops at it, before any declaration in it is read.
void RefuseDocumentType(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
{
    StateOf(ctx).documentType = true;
    xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
}

// No network, no DTD, the reading limits of every reply, and the text fed in pieces so that a stop
// is heard while a long one is read. With `stream`, an envelope's Body is canonicalised as it comes.
ParsedText Parse(const QByteArray& text, EnvelopeStream* stream = nullptr,
                 const std::function<bool()>& stopRequested = {})
{
    xmlInitParser();
    ParsedText parsed;
    if (text.size() > INT_MAX) {
        parsed.errors.append(QStringLiteral("the text is longer than the parser reads"));
        return parsed;
    }
    parsed.excess = XmlStartTagExcess(text);
    if (!parsed.excess.isEmpty())
        return parsed;
    std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> context(
        xmlCreatePushParserCtxt(nullptr, nullptr, nullptr, 0, "message.xml"), xmlFreeParserCtxt);
    if (!context) {
        parsed.errors.append(QStringLiteral("the parser cannot be made"));
        return parsed;
    }
    // Entities are replaced while the Body is canonicalised as it comes: with no DTD only the
    // predefined ones exist, and the canonical form wants their characters in attribute values.
    // A tree is read as it always was, replacing none.
    xmlCtxtUseOptions(context.get(), XML_PARSE_NONET | XML_PARSE_NOCDATA | (stream ? XML_PARSE_NOENT : 0));
    xmlSAXHandler* sax = context->sax;
    sax->internalSubset = RefuseDocumentType;
    // A tree is built by libxml2's own handlers; a streamed Body's envelope by these, which call them.
    if (stream) {
        sax->startElementNs = StartElement;
        sax->endElementNs = EndElement;
        sax->characters = Characters;
        sax->comment = Comment;
        sax->processingInstruction = Instruction;
        stream->maxCanonicalSize = 2 * qint64(text.size()) + (1 << 20);
    }
    ParseState state{stream};
    XmlParserLimits::Options options;
    options.maxNodes = XmlLimits::maxNodes(text.size());
    options.user = &state;
    const XmlParserLimits limits(context.get(), std::move(options));

    xmlSetStructuredErrorFunc(&parsed.errors, CollectError);
    parsed.stopped = !XmlParseInPieces(context.get(), text, stopRequested);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    parsed.doc.reset(context->myDoc);
    context->myDoc = nullptr;
    parsed.documentType = state.documentType;
    parsed.excess = limits.excess().isEmpty() && stream ? stream->excess : limits.excess();
    parsed.namespacesWellFormed = context->wellFormed && context->nsWellFormed;
    if (!context->wellFormed || parsed.stopped || !parsed.excess.isEmpty() || state.documentType ||
        (stream && !stream->failure.isEmpty()))
        parsed.doc.reset();
    if (state.documentType)
        parsed.errors.append(QStringLiteral("a document type declaration is not accepted"));
    if (stream && !stream->failure.isEmpty())
        parsed.errors.append(stream->failure);
    return parsed;
}

// The hash of the algorithm as OpenSSL computes it; empty when it cannot.
QByteArray GostHash(const QByteArray& bytes, GostAlgorithm algorithm)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.constData(), size_t(bytes.size()), digest, &length,
                   GostDigest(algorithm, "digest check"), nullptr) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char*>(digest), int(length));
}

// `signedDigest`: the hash of the signed element's canonical form, nothing when it has none.
void CheckDigestAndSignature(xmlDoc* doc, xmlNode* signature, const std::optional<QByteArray>& signedDigest,
                             const MethodPair& method, SignatureCheck& check)
{
    xmlNode* signedInfo = FindChild(signature, DsigNs, "SignedInfo");
    xmlNode* reference = FindChild(signedInfo, DsigNs, "Reference");
    const QByteArray digest =
        Base64Content(FindChild(reference, DsigNs, "DigestValue"), check, "ds:DigestValue");
    if (!signedDigest)
        check.failures.append(QStringLiteral("the signed element could not be canonicalised"));
    else if (*signedDigest != digest)
        check.failures.append(
            QStringLiteral("digest does not match the canonical form of the signed element"));
    else
        check.digestMatches = true;

    check.signedInfoC14N = ExclusiveC14N(doc, signedInfo);
    xmlNode* signatureValue = FindChild(signature, DsigNs, "SignatureValue");
    check.signatureValueId = Attribute(signatureValue, "Id");
    check.signatureValue = Base64Content(signatureValue, check, "ds:SignatureValue");
    const QByteArray& value = check.signatureValue;
    // The methods the message names must be those of the key that signed it.
    const X509Ptr certificate = ReadCertificate(check.certificate);
    const EVP_PKEY* publicKey = certificate ? X509_get0_pubkey(certificate.get()) : nullptr;
    if (publicKey && KeyGostAlgorithm(publicKey) != method.algorithm)
        check.failures.append(QStringLiteral("the signature method names %1, the certificate's key is %2")
                                  .arg(GostAlgorithmName(method.algorithm), KeyAlgorithmName(publicKey)));
    TakeOpenSslErrors();
    if (check.certificate.isEmpty())
        check.failures.append(QStringLiteral("no certificate"));
    else if (!VerifyGostSignature(check.certificate, check.signedInfoC14N, value))
        check.failures.append(QStringLiteral("signature value does not verify over ds:SignedInfo"));
    else
        check.signatureValueVerifies = true;
}

} // namespace

QByteArray Gost94Hash(const QByteArray& bytes)
{
    return GostHash(bytes, GostAlgorithm::Gost2001);
}

SignatureCheck CheckEnvelopeSignature(const QByteArray& envelope, const EnvelopeCheckOptions& options)
{
    SignatureCheck check;
    EnvelopeStream stream;
    stream.keepSignedForm = options.keepSignedForm;
    const ParsedText parsed = Parse(envelope, &stream, options.stopRequested);
    if (stream.error)
        std::rethrow_exception(stream.error);
    check.stopped = parsed.stopped;
    check.unreadable = parsed.excess;
    if (!parsed.doc) {
        check.failures.append(parsed.stopped ? QStringLiteral("the reading was stopped")
                              : !parsed.excess.isEmpty()
                                  ? QStringLiteral("beyond the reading limits: ") + parsed.excess
                                  : QStringLiteral("not well-formed: ") + parsed.errors.join(u"; "));
        return check;
    }
    check.signedC14N = std::move(stream.signedForm);
    xmlNode* root = xmlDocGetRootElement(parsed.doc.get());
    xmlNode* body = FindChild(root, SoapNs, "Body");
    xmlNode* security = FindChild(FindChild(root, SoapNs, "Header"), WsseNs, "Security");
    xmlNode* signature = FindChild(security, DsigNs, "Signature");
    if (!Is(root, SoapNs, "Envelope") || !body || !signature) {
        check.failures.append(QStringLiteral("no SOAP envelope with a Body and a security signature"));
        return check;
    }
    check.signaturePresent = true;
    if (stream.anotherBody)
        check.failures.append(QStringLiteral("the envelope has another element named Body"));
    const MethodPair* method = nullptr;
    xmlNode* reference = CheckSignedInfo(FindChild(signature, DsigNs, "SignedInfo"), false, check, method);
    if (!reference)
        return check;
    const QString uri = Attribute(reference, "URI");
    if (uri != u'#' + Attribute(body, "Id", WsuNs))
        check.failures.append(QStringLiteral("reference %1 does not name the Body").arg(uri));

    // The key info names the token that carries the certificate.
    xmlNode* tokenReference =
        FindChild(FindChild(FindChild(signature, DsigNs, "KeyInfo"), WsseNs, "SecurityTokenReference"),
                  WsseNs, "Reference");
    const QString tokenUri = Attribute(tokenReference, "URI");
    xmlNode* token = FindChild(security, WsseNs, "BinarySecurityToken");
    if (tokenUri.isEmpty() || tokenUri != u'#' + Attribute(token, "Id", WsuNs))
        check.failures.append(QStringLiteral("key info does not name the security token"));
    else
        check.certificate = Base64Content(token, check, "wsse:BinarySecurityToken");

    // The Body is hashed as it is read, with the method the Header before it names; a Header after
    // the Body, which SOAP does not allow, would have it held whole.
    if (!stream.digest)
        check.failures.append(QStringLiteral("the signature's Header does not come before the Body"));
    std::optional<QByteArray> digest;
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (stream.digest && EVP_DigestFinal_ex(stream.digest.get(), hash, &length) == 1)
        digest = QByteArray(reinterpret_cast<const char*>(hash), int(length));
    TakeOpenSslErrors();
    CheckDigestAndSignature(parsed.doc.get(), signature, digest, *method, check);
    return check;
}

SignatureCheck CheckPaymentSignature(const QByteArray& document)
{
    SignatureCheck check;
    const ParsedText parsed = Parse(document);
    if (!parsed.doc) {
        check.failures.append(QStringLiteral("not well-formed: ") + parsed.errors.join(u"; "));
        return check;
    }
    xmlNode* root = xmlDocGetRootElement(parsed.doc.get());
    xmlNode* payment =
        Is(root, PaymentNs, "FinalPayment") ? root : FindElement(root, PaymentNs, "FinalPayment");
    xmlNode* signature = FindChild(payment, DsigNs, "Signature");
    if (!payment || !signature) {
        check.failures.append(QStringLiteral("no pi:FinalPayment with a ds:Signature"));
        return check;
    }
    check.signaturePresent = true;
    xmlNode* lastElement = xmlLastElementChild(payment);
    if (lastElement != signature)
        check.failures.append(QStringLiteral("ds:Signature is not the last child of pi:FinalPayment"));

    const MethodPair* method = nullptr;
    xmlNode* reference = CheckSignedInfo(FindChild(signature, DsigNs, "SignedInfo"), true, check, method);
    if (!reference)
        return check;
    const QString uri = Attribute(reference, "URI");
    if (uri.size() < 2 || uri.front() != u'#' || uri != u'#' + Attribute(payment, "Id"))
        check.failures.append(QStringLiteral("reference %1 does not name the payment").arg(uri));

    check.certificate =
        Base64Content(FindChild(FindChild(FindChild(signature, DsigNs, "KeyInfo"), DsigNs, "X509Data"),
                                DsigNs, "X509Certificate"),
                      check, "ds:X509Certificate");

    // The enveloped-signature transform: the digest covers the payment without its signature.
    DocPtr copy(xmlCopyDoc(parsed.doc.get(), 1));
    xmlNode* copiedRoot = xmlDocGetRootElement(copy.get());
    xmlNode* copiedPayment = Is(copiedRoot, PaymentNs, "FinalPayment")
                                 ? copiedRoot
                                 : FindElement(copiedRoot, PaymentNs, "FinalPayment");
    xmlNode* copiedSignature = FindChild(copiedPayment, DsigNs, "Signature");
    xmlUnlinkNode(copiedSignature);
    xmlFreeNode(copiedSignature);
    check.signedC14N = ExclusiveC14N(copy.get(), copiedPayment);
    CheckDigestAndSignature(parsed.doc.get(), signature,
                            check.signedC14N.isEmpty()
                                ? std::nullopt
                                : std::optional(GostHash(check.signedC14N, method->algorithm)),
                            *method, check);

    xmlNode* stamp = FindElement(signature, XadesNs, "SignatureTimeStamp");
    const QString hashDataUri = Attribute(FindChild(stamp, XadesNs, "HashDataInfo"), "URI");
    if (check.signatureValueId.isEmpty() || hashDataUri != u'#' + check.signatureValueId)
        check.failures.append(
            QStringLiteral("xds:HashDataInfo %1 does not name the signature value").arg(hashDataUri));
    if (ElementWithId(root, check.signatureValueId) != FindChild(signature, DsigNs, "SignatureValue"))
        check.failures.append(QStringLiteral("the signature value Id is not unique"));
    return check;
}

QStringList NamespaceWellFormednessErrors(const QByteArray& text)
{
    const ParsedText parsed = Parse(text);
    if (parsed.doc && parsed.namespacesWellFormed && parsed.errors.isEmpty())
        return {};
    return parsed.errors.isEmpty() ? QStringList{QStringLiteral("not well-formed")} : parsed.errors;
}

bool VerifyGostSignature(const QByteArray& certificate, const QByteArray& data, const QByteArray& signature)
{
    static constexpr char step[] = "signature check";
    const X509Ptr parsed = ReadCertificate(certificate);
    EVP_PKEY* publicKey = parsed ? X509_get0_pubkey(parsed.get()) : nullptr;
    // The hash is the one that goes with the certificate's key.
    const std::optional<GostAlgorithm> algorithm = KeyGostAlgorithm(publicKey);
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int hashLength = 0;
    bool verified = false;
    if (algorithm && EVP_Digest(data.constData(), size_t(data.size()), hash, &hashLength,
                                GostDigest(*algorithm, step), GostEngine(step)) == 1) {
        EvpPkeyCtxPtr context(EVP_PKEY_CTX_new(publicKey, GostEngine(step)));
        verified =
            context && EVP_PKEY_verify_init(context.get()) > 0 &&
            EVP_PKEY_verify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                            size_t(signature.size()), hash, hashLength) == 1;
    }
    TakeOpenSslErrors();
    return verified;
}

QByteArray ExclusiveCanonicalForm(const QByteArray& document, const char* ns, const char* localName)
{
    const ParsedText parsed = Parse(document);
    if (!parsed.doc)
        return {};
    xmlNode* root = xmlDocGetRootElement(parsed.doc.get());
    xmlNode* element = Is(root, ns, localName) ? root : FindElement(root, ns, localName);
    return element ? ExclusiveC14N(parsed.doc.get(), element) : QByteArray();
}

bool HasDocumentTypeDeclaration(const QByteArray& text)
{
    return Parse(text).documentType;
}

bool IsGostCertificate(const QByteArray& certificate)
{
    const X509Ptr parsed = ReadCertificate(certificate);
    EVP_PKEY* key = parsed ? X509_get0_pubkey(parsed.get()) : nullptr;
    const int type = key ? EVP_PKEY_get_base_id(key) : NID_undef;
    TakeOpenSslErrors();
    return type == NID_id_GostR3410_2001 || type == NID_id_GostR3410_2012_256 ||
           type == NID_id_GostR3410_2012_512;
}

QString CertificateTrustFailure(const QByteArray& certificate, const QByteArray& trustedCertificates)
{
    static constexpr char step[] = "certificate trust check";
    GostEngine(step);
    const X509Ptr subject = ReadCertificate(certificate);
    if (!subject)
        return QStringLiteral("the certificate cannot be read");
    const std::vector<X509Ptr> certificates = ReadCertificates(trustedCertificates);
    if (certificates.empty())
        return QStringLiteral("the trust file holds no certificate");
    const X509StorePtr store = CertificateStore(certificates);
    std::unique_ptr<X509_STORE_CTX, OpenSslDeleter<X509_STORE_CTX_free>> context(X509_STORE_CTX_new());
    if (!context || !X509_STORE_CTX_init(context.get(), store.get(), subject.get(), nullptr))
        return QStringLiteral("the chain cannot be checked\n") + TakeOpenSslErrors();
    const bool verified = X509_verify_cert(context.get()) == 1;
    const QString failure =
        verified ? QString()
                 : QString::fromUtf8(X509_verify_cert_error_string(X509_STORE_CTX_get_error(context.get())));
    TakeOpenSslErrors();
    return failure;
}

namespace {

// Purposes that are all a certificate may be used for when they are all its extended key usage
// names: none of them is signing a document.
bool SignsDocuments(X509* certificate)
{
    const uint32_t flags = X509_get_extension_flags(certificate);
    if ((flags & EXFLAG_KUSAGE) &&
        !(X509_get_key_usage(certificate) & (KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION)))
        return false;
    if (!(flags & EXFLAG_XKUSAGE))
        return true;
    std::unique_ptr<EXTENDED_KEY_USAGE, OpenSslDeleter<EXTENDED_KEY_USAGE_free>> usages(
        static_cast<EXTENDED_KEY_USAGE*>(X509_get_ext_d2i(certificate, NID_ext_key_usage, nullptr, nullptr)));
    if (!usages)
        return false;
    for (int i = 0; i < sk_ASN1_OBJECT_num(usages.get()); ++i) {
        switch (OBJ_obj2nid(sk_ASN1_OBJECT_value(usages.get(), i))) {
        case NID_time_stamp:
        case NID_OCSP_sign:
        case NID_server_auth:
        case NID_code_sign:
        case NID_dvcs:
            break;
        default:
            return true;
        }
    }
    return false;
}

} // namespace

QString ReplySignerFailure(const QByteArray& certificate, const QByteArray& trustedCertificates,
                           bool issuedByTrusted)
{
    GostEngine("reply signer check");
    const X509Ptr subject = ReadCertificate(certificate);
    if (!subject)
        return QStringLiteral("сертификат не читается");
    const bool documents = SignsDocuments(subject.get());
    TakeOpenSslErrors();
    if (!documents)
        return QStringLiteral("назначение сертификата не допускает подпись документов");
    for (const X509Ptr& trusted : ReadCertificates(trustedCertificates)) {
        if (X509_cmp(trusted.get(), subject.get()) != 0)
            continue;
        if (X509_cmp_current_time(X509_get0_notBefore(subject.get())) >= 0)
            return QStringLiteral("срок действия сертификата еще не начался");
        if (X509_cmp_current_time(X509_get0_notAfter(subject.get())) <= 0)
            return QStringLiteral("срок действия сертификата истек");
        return {};
    }
    TakeOpenSslErrors();
    if (!issuedByTrusted)
        return QStringLiteral("его нет в файле \"Сертификаты СМЭВ и УЦ\", а сертификаты, выданные "
                              "удостоверяющими центрами файла, не разрешены");
    return CertificateTrustFailure(certificate, trustedCertificates);
}
