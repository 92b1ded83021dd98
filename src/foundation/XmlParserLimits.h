#pragma once

// The limits of XmlLimits at libxml2's own level, for every reader that drives the parser: the
// document tree of XmlDocument, and the signature check that canonicalises a reply's Body as it is
// read instead of building its tree.

#include "foundation/XmlDocument.h"

#include <libxml/parser.h>

#include <QByteArray>
#include <QString>

#include <exception>
#include <functional>

// Why a start tag of the text holds more attributes or namespace declarations than XmlLimits
// allows; empty when none does. A look at the markup only, made before the parser meets the tag:
// the parser spends time growing with the square of the attributes of one element.
QString XmlStartTagExcess(const QByteArray& text);

// Feeds the text to the push parser in pieces and ends the document, asking `stopRequested` (when
// given) before each piece, so that a stop is heard while a long reply is read. False when stopped.
bool XmlParseInPieces(xmlParserCtxtPtr context, const QByteArray& text,
                      const std::function<bool()>& stopRequested);

// Wraps the element, text, comment and instruction handlers the parser context has when it is
// made (those of the tree builder, or a reader's own), counts what passes through them and stops
// the parser at the first limit passed. The wrapped handlers are called with the parser context,
// as libxml2's own tree builder needs; a reader's own state travels as `user`.
class XmlParserLimits final {
  public:
    struct Options {
        // Nodes (elements, texts, comments, processing instructions) the whole document may have.
        qint64 maxNodes = 0;
        // Nodes the tree may hold at once: fewer than the document has when its records are taken
        // out as they end. Zero: as many as the document may have.
        qint64 maxHeldNodes = 0;
        // Told of every element as it ends, after the wrapped handler: how many nodes it freed
        // (the element's own content, taken out of the tree), or 0. What it raises stops the parser.
        std::function<qint64(xmlNodePtr)> ended;
        void* user = nullptr;
    };

    XmlParserLimits(xmlParserCtxtPtr context, Options options);
    XmlParserLimits(const XmlParserLimits&) = delete;
    XmlParserLimits& operator=(const XmlParserLimits&) = delete;

    // The first limit passed, in the operator's words ("в нем больше … узлов."); empty when none.
    const QString& excess() const { return excess_; }
    // What `ended` raised; the parser stopped there.
    const std::exception_ptr& error() const { return error_; }
    // The reader's own state, in a handler the limits wrap.
    static void* user(void* ctx);

  private:
    static XmlParserLimits& of(void* ctx);
    bool count(bool text);
    bool countDeclared(int namespaces, int attributes);
    bool check();
    bool enter();
    void handOn(xmlNodePtr element);
    bool refuse(const QString& why);

    xmlParserCtxtPtr context_;
    Options options_;
    qint64 nodes_ = 0;
    qint64 held_ = 0;
    int depth_ = 0;
    bool inText_ = false;
    QString excess_;
    std::exception_ptr error_;
    startElementNsSAX2Func startElement_;
    endElementNsSAX2Func endElement_;
    charactersSAXFunc characters_;
    commentSAXFunc comment_;
    processingInstructionSAXFunc instruction_;
};
