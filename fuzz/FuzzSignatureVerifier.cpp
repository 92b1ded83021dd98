// The signature verifier reads replies before anything else does, so it meets the rawest bytes:
// whatever arrives, it answers with a list of failures, never a crash, an escaping exception or a
// read outside the message, and it never calls verified what carries no signed text or certificate.
// The Body it canonicalises as it reads is what libxml2 canonicalises from the document's tree.
#include "foundation/XmlDocument.h"
#include "foundation/XmlHelper.h"
#include "smev/SignatureVerifier.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckConsistent(const SignatureCheck& check)
{
    if (check.verified())
        Check(!check.signedC14N.isEmpty() && !check.signedInfoC14N.isEmpty() && !check.certificate.isEmpty());
    for (const QString& failure : check.failures)
        Check(!failure.isEmpty());
}

// The canonical form libxml2 makes of the envelope's Body from the tree; nothing when the reader
// refuses the text, or when there is no such Body.
std::optional<QByteArray> TreeCanonicalBody(const QByteArray& message)
{
    try {
        const XmlDocument document = XmlDocument::parse(message);
        for (const XmlNode& child : document.documentElement().children())
            if (child.localName() == QLatin1String("Body") &&
                child.namespaceUri() == QLatin1String("http://schemas.xmlsoap.org/soap/envelope/"))
                return child.exclusiveCanonicalXml();
    } catch (const EXMLException&) {
    }
    return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray message(reinterpret_cast<const char*>(data), qsizetype(size));
    const SignatureCheck envelope = CheckEnvelopeSignature(message);
    CheckConsistent(envelope);
    if (!envelope.signedC14N.isEmpty()) {
        const std::optional<QByteArray> tree = TreeCanonicalBody(message);
        Check(!tree || *tree == envelope.signedC14N);
    }
    CheckConsistent(CheckPaymentSignature(message));
    return 0;
}
