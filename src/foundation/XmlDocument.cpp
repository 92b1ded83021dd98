#include "foundation/XmlDocument.h"

#include "foundation/XmlHelper.h"

#include <libxml/c14n.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <climits>

namespace {

QString fromXmlChar(const xmlChar* text)
{
    return text ? QString::fromUtf8(reinterpret_cast<const char*>(text)) : QString();
}

const xmlChar* toXmlChar(const char* text)
{
    return reinterpret_cast<const xmlChar*>(text);
}

// Takes a string that libxml2 allocated.
QString takeXmlChar(xmlChar* text)
{
    const QString result = fromXmlChar(text);
    xmlFree(text);
    return result;
}

std::shared_ptr<xmlDoc> ownDocument(xmlDocPtr doc)
{
    return std::shared_ptr<xmlDoc>(doc, xmlFreeDoc);
}

bool isTextLike(const xmlNode* node)
{
    return node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE;
}

bool isWhiteSpaceOnly(const xmlNode* node)
{
    for (const xmlChar* c = node->content; c && *c; ++c)
        if (*c != ' ' && *c != '\t' && *c != '\r' && *c != '\n')
            return false;
    return true;
}

bool hasElementChild(const xmlNode* node)
{
    for (const xmlNode* child = node->children; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE)
            return true;
    return false;
}

// The document's own refusal of a DTD: the parser stops at the DOCTYPE, before any declaration in
// it is read or any external subset fetched.
void refuseDocumentTypeDeclaration(void* context, const xmlChar*, const xmlChar*, const xmlChar*)
{
    xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}

// Writes a node or a document as UTF-8 text (characters outside ASCII as themselves, not as
// character references).
QByteArray save(xmlDocPtr doc, xmlNodePtr node, int options = 0)
{
    std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer(xmlBufferCreate(), xmlBufferFree);
    xmlSaveCtxtPtr context = xmlSaveToBuffer(buffer.get(), "UTF-8", options | (node ? XML_SAVE_NO_DECL : 0));
    if (!context)
        throw EXMLException(QStringLiteral("Не удалось записать XML."));
    if (node)
        xmlSaveTree(context, node);
    else
        xmlSaveDoc(context, doc);
    xmlSaveClose(context);
    return QByteArray(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                      xmlBufferLength(buffer.get()));
}

// A copy of an element as the root of a document of its own; the copy declares every namespace it
// uses that was declared above it.
std::shared_ptr<xmlDoc> copyAsDocument(xmlNodePtr element)
{
    auto doc = ownDocument(xmlNewDoc(toXmlChar("1.0")));
    if (!doc)
        throw EXMLException(QStringLiteral("Не удалось создать документ XML."));
    doc->encoding = xmlStrdup(toXmlChar("UTF-8"));
    xmlNodePtr copy = xmlDocCopyNode(element, doc.get(), 1);
    if (!copy)
        throw EXMLException(QStringLiteral("Не удалось скопировать узел XML."));
    xmlDocSetRootElement(doc.get(), copy);
    return doc;
}

struct CanonicalScope {
    xmlNodePtr root;
    xmlNodePtr excluded;
};

bool isWithin(xmlNodePtr node, xmlNodePtr ancestor)
{
    for (; node; node = node->parent)
        if (node == ancestor)
            return true;
    return false;
}

int isVisibleInScope(void* userData, xmlNodePtr node, xmlNodePtr parent)
{
    const auto* scope = static_cast<const CanonicalScope*>(userData);
    // Namespace nodes belong to the element they are in scope of, which libxml2 passes as `parent`.
    xmlNodePtr subject = (node == nullptr || node->type == XML_NAMESPACE_DECL) ? parent : node;
    if (!isWithin(subject, scope->root))
        return 0;
    return scope->excluded && isWithin(subject, scope->excluded) ? 0 : 1;
}

} // namespace

bool XmlNode::isElement() const
{
    return FNode && FNode->type == XML_ELEMENT_NODE;
}

bool XmlNode::isText() const
{
    return FNode && isTextLike(FNode);
}

QString XmlNode::localName() const
{
    return isElement() ? fromXmlChar(FNode->name) : QString();
}

QString XmlNode::prefix() const
{
    return isElement() && FNode->ns ? fromXmlChar(FNode->ns->prefix) : QString();
}

QString XmlNode::name() const
{
    const QString pre = prefix();
    return pre.isEmpty() ? localName() : pre + u':' + localName();
}

QString XmlNode::namespaceUri() const
{
    return isElement() && FNode->ns ? fromXmlChar(FNode->ns->href) : QString();
}

QString XmlNode::text() const
{
    return FNode ? takeXmlChar(xmlNodeGetContent(FNode)) : QString();
}

XmlNode XmlNode::parent() const
{
    if (!FNode || !FNode->parent || FNode->parent->type != XML_ELEMENT_NODE)
        return XmlNode();
    return XmlNode(FDoc, FNode->parent);
}

QList<XmlNode> XmlNode::children() const
{
    QList<XmlNode> result;
    if (!isElement())
        return result;
    const bool formatted = hasElementChild(FNode);
    for (xmlNodePtr child = FNode->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE || (isTextLike(child) && !(formatted && isWhiteSpaceOnly(child))))
            result.append(XmlNode(FDoc, child));
    }
    return result;
}

QList<XmlAttribute> XmlNode::attributes() const
{
    QList<XmlAttribute> result;
    if (!isElement())
        return result;
    for (xmlAttrPtr attr = FNode->properties; attr; attr = attr->next) {
        XmlAttribute item;
        item.localName = fromXmlChar(attr->name);
        if (attr->ns) {
            item.prefix = fromXmlChar(attr->ns->prefix);
            item.namespaceUri = fromXmlChar(attr->ns->href);
        }
        item.value = takeXmlChar(xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attr)));
        result.append(item);
    }
    return result;
}

bool XmlNode::hasAttribute(const QString& name) const
{
    for (const XmlAttribute& attr : attributes())
        if (attr.name() == name)
            return true;
    return false;
}

QString XmlNode::attribute(const QString& name) const
{
    for (const XmlAttribute& attr : attributes())
        if (attr.name() == name)
            return attr.value;
    return QString();
}

QByteArray XmlNode::xml() const
{
    if (isElement()) {
        const auto doc = copyAsDocument(FNode);
        return save(doc.get(), xmlDocGetRootElement(doc.get()));
    }
    return isText() ? save(FNode->doc, FNode) : QByteArray();
}

QByteArray XmlNode::exclusiveCanonicalXml() const
{
    return exclusiveCanonicalXml(XmlNode());
}

QByteArray XmlNode::exclusiveCanonicalXml(const XmlNode& excluded) const
{
    if (!isElement())
        throw EXMLException(QStringLiteral("Канонизировать можно только элемент XML."));
    CanonicalScope scope{FNode, excluded.FNode};
    xmlOutputBufferPtr output = xmlAllocOutputBuffer(nullptr);
    if (!output)
        throw EXMLException(QStringLiteral("Не удалось канонизировать XML."));
    const int written =
        xmlC14NExecute(FDoc.get(), isVisibleInScope, &scope, XML_C14N_EXCLUSIVE_1_0, nullptr, 0, output);
    QByteArray result;
    if (written >= 0)
        result = QByteArray(reinterpret_cast<const char*>(xmlOutputBufferGetContent(output)),
                            qsizetype(xmlOutputBufferGetSize(output)));
    xmlOutputBufferClose(output);
    if (written < 0)
        throw EXMLException(QStringLiteral("Не удалось канонизировать XML."));
    return result;
}

XmlDocument XmlDocument::parse(const QByteArray& bytes)
{
    return parseBytes(bytes, nullptr);
}

XmlDocument XmlDocument::parseText(const QString& text)
{
    return parseBytes(text.toUtf8(), "UTF-8");
}

XmlDocument XmlDocument::parseUtf8Text(const QByteArray& utf8)
{
    // A byte-order mark is no character of the text, as a decoder would have dropped it.
    if (utf8.startsWith("\xEF\xBB\xBF"))
        return parseBytes(utf8.sliced(3), "UTF-8");
    return parseBytes(utf8, "UTF-8");
}

XmlDocument XmlDocument::parseBytes(const QByteArray& bytes, const char* forcedEncoding)
{
    xmlInitParser();
    if (bytes.size() > INT_MAX)
        throw EXMLException(QStringLiteral("Документ XML слишком велик."));
    std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> context(xmlNewParserCtxt(),
                                                                         xmlFreeParserCtxt);
    if (!context)
        throw EXMLException(QStringLiteral("Не удалось создать разборщик XML."));
    context->sax->internalSubset = refuseDocumentTypeDeclaration;

    // No network, no DTD loading, no entity substitution (the defaults stay off), and no message
    // printed by the parser itself: its last error becomes the exception's text.
    int options = XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    if (forcedEncoding)
        options |= XML_PARSE_IGNORE_ENC;
    auto doc = ownDocument(xmlCtxtReadMemory(context.get(), bytes.constData(), int(bytes.size()), nullptr,
                                             forcedEncoding, options));

    if (context->errNo == XML_ERR_USER_STOP)
        throw EXMLException(QStringLiteral("Документ XML содержит объявление типа документа (DTD); "
                                           "такие документы не принимаются."));
    if (!doc || !context->wellFormed || !context->nsWellFormed) {
        const xmlError* error = xmlCtxtGetLastError(context.get());
        const QString message = error && error->message ? fromXmlChar(toXmlChar(error->message)).trimmed()
                                                        : QStringLiteral("документ не разобран");
        throw EXMLException(QStringLiteral("Ошибка в XML (строка %1, позиция %2): %3")
                                .arg(error ? error->line : 0)
                                .arg(error ? error->int2 : 0)
                                .arg(message));
    }
    if (!xmlDocGetRootElement(doc.get()))
        throw EXMLException(QStringLiteral("Документ XML пуст."));
    return XmlDocument(std::move(doc));
}

XmlDocument XmlDocument::fromNode(const XmlNode& node)
{
    if (!node.isElement())
        throw EXMLException(QStringLiteral("Документ XML можно создать только из элемента."));
    return XmlDocument(copyAsDocument(node.FNode));
}

XmlNode XmlDocument::documentElement() const
{
    return FDoc ? XmlNode(FDoc, xmlDocGetRootElement(FDoc.get())) : XmlNode();
}

QByteArray XmlDocument::toXml() const
{
    return FDoc ? save(FDoc.get(), nullptr) : QByteArray();
}

QByteArray XmlDocument::toIndentedXml() const
{
    return FDoc ? save(FDoc.get(), nullptr, XML_SAVE_FORMAT) : QByteArray();
}
