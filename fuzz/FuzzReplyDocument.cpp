// Replies come from the network: whatever bytes arrive, parsing and every reader operation must
// either work or raise EXMLException, never crash or read outside the document.
#include "foundation/XmlDocument.h"
#include "foundation/XmlHelper.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const XmlDocument doc =
            XmlDocument::parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
        const XmlNode root = doc.documentElement();
        QStringList lines;
        FlattenNode(root, lines, QStringLiteral("Signature;ChargeData"));
        FindNodeByPath(root, QStringLiteral("Body\\Fault\\detail"), false);
        for (const XmlNode& child : root.children()) {
            if (child.isElement()) {
                XmlDocument::parse(child.xml());
                XmlDocument::fromNode(child).toXml();
            }
        }
        root.exclusiveCanonicalXml();
        doc.toXml();
    } catch (const EXMLException&) {
    }
    return 0;
}
