#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

struct _xmlDoc;
struct _xmlNode;

// A read-only view of a parsed reply. Documents and node handles share the parsed tree, so a node
// stays usable for as long as any handle to it is kept, even after its document is dropped.
//
// What the readers see is the document as a DOM without white-space preservation would show it:
// text nodes holding only white space between elements are not children, nor are comments and
// processing instructions; CDATA sections read as text, and text that comments or processing
// instructions interrupt reads as one text node, as the canonical form a signature covers has it. The tree
// itself is kept as received, so the serialised and canonical forms are those of the input.

struct XmlAttribute {
    QString localName;
    QString prefix;
    QString namespaceUri;
    QString value;

    // The name as written: prefix:localName, or localName without a prefix.
    QString name() const { return prefix.isEmpty() ? localName : prefix + u':' + localName; }
};

class XmlNode final {
  public:
    // The absent node.
    XmlNode() = default;

    bool isNull() const { return FNode == nullptr; }
    explicit operator bool() const { return FNode != nullptr; }
    bool operator==(const XmlNode& other) const { return FNode == other.FNode; }

    bool isElement() const;
    bool isText() const;

    // Element names; empty for a text node.
    QString localName() const;
    QString prefix() const;
    QString name() const;
    QString namespaceUri() const;

    // The text content: a text node's text (the whole run, see above), or all text inside an
    // element, in order.
    QString text() const;

    XmlNode parent() const;
    // Element and text children in document order (see above for what is left out).
    QList<XmlNode> children() const;

    QList<XmlAttribute> attributes() const;
    // The value of the attribute whose written name (with prefix, if any) is `name`.
    bool hasAttribute(const QString& name) const;
    QString attribute(const QString& name) const;

    // The node's own XML text, UTF-8, with every namespace declaration it needs from its ancestors,
    // so that it parses on its own.
    QByteArray xml() const;

    // Exclusive XML canonicalisation 1.0 (without comments) of this element's subtree, as a
    // signature verifier computes it; the subtree of `excluded`, if given, is left out (an
    // enveloped signature).
    QByteArray exclusiveCanonicalXml() const;
    QByteArray exclusiveCanonicalXml(const XmlNode& excluded) const;

  private:
    friend class XmlDocument;
    XmlNode(std::shared_ptr<_xmlDoc> doc, _xmlNode* node) : FDoc(std::move(doc)), FNode(node) {}

    std::shared_ptr<_xmlDoc> FDoc;
    _xmlNode* FNode = nullptr;
};

// What one document may hold before it is refused unread: a reply costs the reader bounded time and
// memory before any check of it has run. Each limit stands far above the largest real replies (a
// charges page, a page of payment documents) and far below what makes the parser slow or big: the
// parser checks every attribute of an element against all the others, and every node costs it
// more than a hundred octets whatever its size in the text.
struct XmlLimits {
    static constexpr int MaxAttributesPerElement = 256;
    static constexpr int MaxNamespaceDeclarationsPerElement = 64;
    static constexpr int MaxDepth = 128;
    // Nodes (elements, texts, comments, processing instructions, namespace declarations, and each
    // attribute as two: itself and its value) of the whole document: a base that any real reply
    // stays within, and more for a longer text, as real text runs long.
    static constexpr int NodesPerAttribute = 2;
    static constexpr qint64 BaseNodes = 100'000;
    static constexpr qint64 OctetsPerFurtherNode = 16;
    static qint64 maxNodes(qint64 octets) { return BaseNodes + octets / OctetsPerFurtherNode; }
    // Nodes the tree may hold at once. A reader that takes a long reply's records out as they end
    // holds few (a record, the envelope); a short reply is read whole. So a reply read as a tree
    // costs at most about twice its size, not the seven times a tree of the densest text costs.
    static constexpr qint64 OctetsPerFurtherHeldNode = 64;
    static qint64 maxHeldNodes(qint64 octets) { return BaseNodes + octets / OctetsPerFurtherHeldNode; }
};

// Whether a document's tree may hold every node the document may have: only for a copy of a whole
// long document (a debug file, the journal's view of a reply), which then costs what it costs.
enum class XmlTreeSize { bounded, whole };

// Told of an element of a document as it ends while the document is read, the element's subtree
// complete, when all its elder siblings were taken; the handle is good only during the call. True
// takes the element: its content is freed, so that a long reply is not held whole, and it is no
// child of anything any more (what is serialised of the document keeps an empty shell in its
// place). What the receiver raises ends the reading and is raised again.
using XmlHandOff = std::function<bool(const XmlNode& element)>;

class XmlDocument final {
  public:
    // A document without content.
    XmlDocument() = default;

    // Parses XML bytes. No network access, no external DTD or entity is ever read, no entity is
    // substituted; a document that declares a DTD is refused. Raises EXMLException (XmlHelper.h)
    // with the parser's message and position on malformed input, and on a document beyond
    // XmlLimits. `stopRequested`, when given, is asked between pieces of the text; when it says
    // yes, reading ends with EXMLException. `handOff`, when given, takes elements out as they end.
    static XmlDocument parse(const QByteArray& bytes, const std::function<bool()>& stopRequested = {},
                             const XmlHandOff& handOff = {}, XmlTreeSize size = XmlTreeSize::bounded);

    // Parses XML that is already text: an encoding named in its declaration is ignored, since the
    // characters are decoded already. Otherwise as parse().
    static XmlDocument parseText(const QString& text);
    // The same for text that is already UTF-8 and known to be valid, without decoding it first.
    static XmlDocument parseUtf8Text(const QByteArray& utf8);

    // A new document whose root is a copy of the element `node`, with the namespace declarations it
    // needs. Raises EXMLException for a text or absent node.
    static XmlDocument fromNode(const XmlNode& node);

    bool isEmpty() const { return !FDoc; }
    XmlNode documentElement() const;

    // The whole document as UTF-8 XML text with its declaration; empty for an empty document.
    QByteArray toXml() const;
    // The same with every element on a line of its own, indented by its depth, for reading.
    QByteArray toIndentedXml() const;

  private:
    explicit XmlDocument(std::shared_ptr<_xmlDoc> doc) : FDoc(std::move(doc)) {}
    static XmlDocument parseBytes(const QByteArray& bytes, bool forceUtf8,
                                  const std::function<bool()>& stopRequested, const XmlHandOff& handOff = {},
                                  XmlTreeSize size = XmlTreeSize::bounded);

    std::shared_ptr<_xmlDoc> FDoc;
};
