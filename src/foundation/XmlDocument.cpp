#include "foundation/XmlDocument.h"

#include "foundation/XmlHelper.h"
#include "foundation/XmlParserLimits.h"

#include <libxml/c14n.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <algorithm>
#include <climits>
#include <exception>

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

// Comments and processing instructions stand between the pieces of one text without splitting it,
// as in the canonical form a signature covers (which drops comments); a reader that showed each
// piece as a value of its own would show what nobody signed.
bool isInsideText(const xmlNode* node)
{
    return node->type == XML_COMMENT_NODE || node->type == XML_PI_NODE;
}

// Whether a text run begins here: a text node with no text before it but comments and
// processing instructions.
bool beginsTextRun(const xmlNode* node)
{
    if (!isTextLike(node))
        return false;
    for (const xmlNode* before = node->prev; before; before = before->prev) {
        if (isTextLike(before))
            return false;
        if (!isInsideText(before))
            break;
    }
    return true;
}

// The text of the run that `node` begins.
QByteArray textRun(const xmlNode* node)
{
    QByteArray text;
    for (; node && (isTextLike(node) || isInsideText(node)); node = node->next)
        if (isTextLike(node) && node->content)
            text += reinterpret_cast<const char*>(node->content);
    return text;
}

bool isWhiteSpaceOnly(const QByteArray& text)
{
    for (const char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    return true;
}

// The shell an element taken while its document was read leaves behind: no child of anything.
char TakenMark = 0;
bool isTaken(const xmlNode* node)
{
    return node->type == XML_ELEMENT_NODE && node->_private == &TakenMark;
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

// Only an element whose elder siblings were all taken (white space between elements is no
// sibling) is taken, so that what stays in the tree keeps its place in the order of the document.
bool isEldest(xmlNodePtr element)
{
    const xmlNode* elder = element->prev;
    if (elder && elder->type == XML_TEXT_NODE &&
        (!elder->content || isWhiteSpaceOnly(QByteArray(reinterpret_cast<const char*>(elder->content)))))
        elder = elder->prev;
    return !elder || isTaken(elder);
}

// The nodes of an element's content and attributes as the parser's limits count them (its own
// namespace declarations stay with it when its content is taken; its children's go with them).
qint64 countBelow(const xmlNode* element)
{
    qint64 count = 0;
    for (const xmlAttr* attribute = element->properties; attribute; attribute = attribute->next)
        count += XmlLimits::NodesPerAttribute;
    for (const xmlNode* child = element->children; child; child = child->next) {
        ++count;
        if (child->type != XML_ELEMENT_NODE)
            continue;
        count += countBelow(child);
        for (const xmlNs* declaration = child->nsDef; declaration; declaration = declaration->next)
            ++count;
    }
    return count;
}

// Takes the element's content out of the tree when the receiver wants it; the nodes freed.
qint64 takeContent(xmlNodePtr element, const std::function<bool(xmlNodePtr)>& wanted)
{
    if (!isEldest(element) || !wanted(element))
        return 0;
    const qint64 freed = countBelow(element);
    // An empty shell stays, so that the white space around it still reads as the formatting
    // between elements.
    xmlFreeNodeList(element->children);
    element->children = element->last = nullptr;
    xmlFreePropList(element->properties);
    element->properties = nullptr;
    element->_private = &TakenMark;
    return freed;
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
    if (isText())
        return QString::fromUtf8(textRun(FNode));
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
        if ((child->type == XML_ELEMENT_NODE && !isTaken(child)) ||
            (beginsTextRun(child) && !(formatted && isWhiteSpaceOnly(textRun(child)))))
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
    return isText() ? XmlEscapeText(text()).toUtf8() : QByteArray();
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

XmlDocument XmlDocument::parse(const QByteArray& bytes, const std::function<bool()>& stopRequested,
                               const XmlHandOff& handOff, XmlTreeSize size)
{
    return parseBytes(bytes, false, stopRequested, handOff, size);
}

XmlDocument XmlDocument::parseText(const QString& text)
{
    return parseBytes(text.toUtf8(), true, {});
}

XmlDocument XmlDocument::parseUtf8Text(const QByteArray& utf8)
{
    // A byte-order mark is no character of the text, as a decoder would have dropped it.
    if (utf8.startsWith("\xEF\xBB\xBF"))
        return parseBytes(utf8.sliced(3), true, {});
    return parseBytes(utf8, true, {});
}

XmlDocument XmlDocument::parseBytes(const QByteArray& bytes, bool forceUtf8,
                                    const std::function<bool()>& stopRequested, const XmlHandOff& handOff,
                                    XmlTreeSize size)
{
    xmlInitParser();
    if (bytes.size() > INT_MAX)
        throw EXMLException(QStringLiteral("Документ XML слишком велик."));
    // The attributes are counted in the text, before the parser meets them, since it spends time
    // growing with their square on one element before anything sees them.
    const QString tagExcess = XmlStartTagExcess(bytes);
    if (!tagExcess.isEmpty())
        throw EXMLException(QStringLiteral("Документ XML не принят: ") + tagExcess);

    std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> context(
        xmlCreatePushParserCtxt(nullptr, nullptr, nullptr, 0, nullptr), xmlFreeParserCtxt);
    if (!context)
        throw EXMLException(QStringLiteral("Не удалось создать разборщик XML."));
    // No network, no DTD loading, no entity substitution (the defaults stay off), and no message
    // printed by the parser itself: its last error becomes the exception's text.
    int options = XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    if (forceUtf8) {
        options |= XML_PARSE_IGNORE_ENC;
        xmlSwitchEncoding(context.get(), XML_CHAR_ENCODING_UTF8);
    }
    xmlCtxtUseOptions(context.get(), options);
    context->sax->internalSubset = refuseDocumentTypeDeclaration;
    XmlParserLimits::Options limits;
    limits.maxNodes = XmlLimits::maxNodes(bytes.size());
    limits.maxHeldNodes = size == XmlTreeSize::whole ? 0 : XmlLimits::maxHeldNodes(bytes.size());
    if (handOff)
        limits.ended = [&handOff, parser = context.get()](xmlNodePtr element) {
            return takeContent(element, [&](xmlNodePtr ended) {
                // A handle that owns nothing: the tree is the parser's until the reading ends.
                return handOff(
                    XmlNode(std::shared_ptr<xmlDoc>(std::shared_ptr<xmlDoc>(), parser->myDoc), ended));
            });
        };
    const XmlParserLimits counter(context.get(), std::move(limits));

    const bool stopped = !XmlParseInPieces(context.get(), bytes, stopRequested);
    auto doc = ownDocument(context->myDoc);
    context->myDoc = nullptr;

    if (stopped)
        throw EXMLException(QStringLiteral("Чтение документа XML прервано."));
    if (counter.error())
        std::rethrow_exception(counter.error());
    if (!counter.excess().isEmpty())
        throw EXMLException(QStringLiteral("Документ XML не принят: ") + counter.excess());
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
