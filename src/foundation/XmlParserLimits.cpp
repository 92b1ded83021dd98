#include "foundation/XmlParserLimits.h"

#include <QByteArrayView>

#include <algorithm>

XmlParserLimits::XmlParserLimits(xmlParserCtxtPtr context, Options options)
    : context_(context), options_(std::move(options))
{
    xmlSAXHandler* sax = context->sax;
    startElement_ = sax->startElementNs;
    endElement_ = sax->endElementNs;
    characters_ = sax->characters;
    comment_ = sax->comment;
    instruction_ = sax->processingInstruction;
    context->_private = this;
    sax->startElementNs = [](void* ctx, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri,
                             int namespaces, const xmlChar** declarations, int attributes, int defaulted,
                             const xmlChar** values) {
        XmlParserLimits& self = of(ctx);
        if (self.count(false) && self.countDeclared(namespaces, attributes) && self.enter() &&
            self.startElement_)
            self.startElement_(ctx, localName, prefix, uri, namespaces, declarations, attributes, defaulted,
                               values);
    };
    sax->endElementNs = [](void* ctx, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri) {
        XmlParserLimits& self = of(ctx);
        --self.depth_;
        self.inText_ = false;
        const xmlNodePtr element = static_cast<xmlParserCtxtPtr>(ctx)->node;
        if (self.endElement_)
            self.endElement_(ctx, localName, prefix, uri);
        if (self.options_.ended && element && !self.error_)
            self.handOn(element);
    };
    // The parser hands one text over in several calls; it is one node.
    sax->characters = [](void* ctx, const xmlChar* text, int length) {
        XmlParserLimits& self = of(ctx);
        if (self.count(true) && self.characters_)
            self.characters_(ctx, text, length);
    };
    sax->ignorableWhitespace = sax->characters;
    // CDATA sections read as text (XML_PARSE_NOCDATA): they come through the characters.
    sax->cdataBlock = nullptr;
    sax->comment = [](void* ctx, const xmlChar* text) {
        XmlParserLimits& self = of(ctx);
        if (self.count(false) && self.comment_)
            self.comment_(ctx, text);
    };
    sax->processingInstruction = [](void* ctx, const xmlChar* target, const xmlChar* data) {
        XmlParserLimits& self = of(ctx);
        if (self.count(false) && self.instruction_)
            self.instruction_(ctx, target, data);
    };
}

void* XmlParserLimits::user(void* ctx)
{
    return of(ctx).options_.user;
}

XmlParserLimits& XmlParserLimits::of(void* ctx)
{
    return *static_cast<XmlParserLimits*>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
}

bool XmlParserLimits::count(bool text)
{
    if (!(text && inText_)) {
        ++nodes_;
        ++held_;
    }
    inText_ = text;
    return check();
}

// An element's namespace declarations and attributes cost the parser and its tree as much as
// its content does.
bool XmlParserLimits::countDeclared(int namespaces, int attributes)
{
    const qint64 nodes = namespaces + qint64(attributes) * XmlLimits::NodesPerAttribute;
    nodes_ += nodes;
    held_ += nodes;
    return check();
}

bool XmlParserLimits::check()
{
    if (nodes_ > options_.maxNodes)
        return refuse(QStringLiteral("в нем больше %1 узлов.").arg(options_.maxNodes));
    if (options_.maxHeldNodes > 0 && held_ > options_.maxHeldNodes)
        return refuse(
            QStringLiteral("в нем больше %1 узлов, не разобранных на записи.").arg(options_.maxHeldNodes));
    return true;
}

bool XmlParserLimits::enter()
{
    if (++depth_ <= XmlLimits::MaxDepth)
        return true;
    return refuse(QStringLiteral("вложенность элементов больше %1.").arg(XmlLimits::MaxDepth));
}

// No exception may cross the parser's C frames: it is kept and raised once the parser is out.
void XmlParserLimits::handOn(xmlNodePtr element)
{
    try {
        held_ -= options_.ended(element);
    } catch (...) {
        error_ = std::current_exception();
        xmlStopParser(context_);
    }
}

bool XmlParserLimits::refuse(const QString& why)
{
    if (excess_.isEmpty())
        excess_ = why;
    xmlStopParser(context_);
    return false;
}

bool XmlParseInPieces(xmlParserCtxtPtr context, const QByteArray& text,
                      const std::function<bool()>& stopRequested)
{
    constexpr qsizetype piece = 1 << 18;
    for (qsizetype offset = 0;; offset += piece) {
        if (stopRequested && stopRequested())
            return false;
        const qsizetype length = std::min(piece, text.size() - offset);
        const bool last = offset + length >= text.size();
        if (xmlParseChunk(context, text.constData() + offset, int(length), last ? 1 : 0) != XML_ERR_OK ||
            last || context->disableSAX)
            return true;
    }
}

namespace {

// Skips from `from` past the first `end`; the text's end when there is none.
qsizetype skipPast(const QByteArray& text, qsizetype from, const char* end)
{
    const qsizetype at = text.indexOf(end, from);
    return at < 0 ? text.size() : at + qsizetype(qstrlen(end));
}

} // namespace

// Quotes, comments, CDATA sections and processing instructions are stepped over, and everything
// else is left to the parser.
QString XmlStartTagExcess(const QByteArray& text)
{
    const qsizetype size = text.size();
    qsizetype i = 0;
    while ((i = text.indexOf('<', i)) >= 0) {
        const QByteArrayView rest = QByteArrayView(text).sliced(i);
        if (rest.startsWith("<!--")) {
            i = skipPast(text, i + 4, "-->");
            continue;
        }
        if (rest.startsWith("<![CDATA[")) {
            i = skipPast(text, i + 9, "]]>");
            continue;
        }
        if (i + 1 < size && (text[i + 1] == '?' || text[i + 1] == '!' || text[i + 1] == '/')) {
            i = skipPast(text, i + 1, text[i + 1] == '?' ? "?>" : ">");
            continue;
        }
        int attributes = 0;
        int declarations = 0;
        bool nameStarts = false;
        for (++i; i < size && text[i] != '>'; ++i) {
            const char c = text[i];
            if (c == '"' || c == '\'') {
                const qsizetype close = text.indexOf(c, i + 1);
                i = close < 0 ? size : close;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                nameStarts = true;
            } else if (nameStarts) {
                nameStarts = false;
                const QByteArrayView name = QByteArrayView(text).sliced(i);
                if (name.startsWith("xmlns") && name.size() > 5 &&
                    (name[5] == ':' || name[5] == '=' || name[5] == ' '))
                    ++declarations;
                else if (c != '=' && c != '/')
                    ++attributes;
            }
        }
        if (attributes > XmlLimits::MaxAttributesPerElement)
            return QStringLiteral("у элемента больше %1 атрибутов.").arg(XmlLimits::MaxAttributesPerElement);
        if (declarations > XmlLimits::MaxNamespaceDeclarationsPerElement)
            return QStringLiteral("у элемента больше %1 объявлений пространств имен.")
                .arg(XmlLimits::MaxNamespaceDeclarationsPerElement);
    }
    return {};
}
