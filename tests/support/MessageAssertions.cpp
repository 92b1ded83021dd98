#include "support/MessageAssertions.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>

namespace {

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

DocPtr Parse(const QByteArray& text)
{
    return DocPtr(xmlReadMemory(text.constData(), int(text.size()), "message.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

QString Text(const xmlChar* text)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(text));
}

xmlNode* FirstNamed(xmlNode* node, const char* localName)
{
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        if (xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>(localName)))
            return node;
        if (xmlNode* found = FirstNamed(node->children, localName))
            return found;
    }
    return nullptr;
}

} // namespace

::testing::AssertionResult Verified(const SignatureCheck& check)
{
    if (check.verified())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << check.failures.join(u"; ").toStdString();
}

::testing::AssertionResult IsNamespaceWellFormed(const QByteArray& text)
{
    const QStringList errors = NamespaceWellFormednessErrors(text);
    if (errors.isEmpty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "not namespace-well-formed: " << errors.join(u"; ").toStdString();
}

QStringList ChildElementNames(const QByteArray& text, const char* localName)
{
    const DocPtr doc = Parse(text);
    QStringList names;
    xmlNode* element = doc ? FirstNamed(xmlDocGetRootElement(doc.get()), localName) : nullptr;
    for (xmlNode* child = element ? element->children : nullptr; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE)
            names.append((child->ns && child->ns->prefix ? Text(child->ns->prefix) + u':' : QString()) +
                         Text(child->name));
    return names;
}

QString AttributeValue(const QByteArray& text, const char* localName, const char* attributeName)
{
    const DocPtr doc = Parse(text);
    xmlNode* element = doc ? FirstNamed(xmlDocGetRootElement(doc.get()), localName) : nullptr;
    if (!element)
        return {};
    xmlChar* value = xmlGetNoNsProp(element, reinterpret_cast<const xmlChar*>(attributeName));
    const QString result = Text(value);
    xmlFree(value);
    return result;
}
