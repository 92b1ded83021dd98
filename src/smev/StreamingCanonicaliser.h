#pragma once

// The exclusive canonical form, without comments and with no inclusive prefixes, of one element's
// subtree, made from the parser's events as they come: a long Body is hashed without its tree ever
// being built. It writes what libxml2's canonicaliser writes for the same subtree where it stands
// in its document, down to its quirks (namespace URIs quoted as they are, relative ones refused),
// since the signers canonicalise with it. Fed with libxml2's SAX2 arguments, entities replaced.

#include <libxml/xmlstring.h>

#include <QString>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class StreamingCanonicaliser final {
  public:
    // Everything written so far that was not taken yet.
    std::string& output() { return out_; }
    // Why the subtree has no canonical form; empty while it has one.
    const QString& failure() const { return failure_; }

    void start(const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri, int namespaceCount,
               const xmlChar** namespaces, int attributeCount, const xmlChar** attributes);
    void end(const xmlChar* localName, const xmlChar* prefix);
    void text(const xmlChar* text, int length);
    void instruction(const xmlChar* target, const xmlChar* data);

  private:
    void writeName(const xmlChar* prefix, const xmlChar* localName);
    void writeEscaped(std::string_view text, bool attribute);
    void writeQuoted(const std::string& uri);
    void checkAbsolute(const xmlChar* uri);

    std::string out_;
    // The URIs each prefix was declared with by the open elements, innermost last: a lookup costs
    // the same however many declarations the open elements made.
    std::unordered_map<std::string, std::vector<std::string>> rendered_;
    // The prefixes the open elements declared, in order, and where each element's begin.
    std::vector<std::string> pushed_;
    std::vector<size_t> marks_;
    QString failure_;
};
