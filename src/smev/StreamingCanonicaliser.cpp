#include "smev/StreamingCanonicaliser.h"

#include <libxml/uri.h>

#include <algorithm>

namespace {

std::string_view View(const xmlChar* text)
{
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

} // namespace

void StreamingCanonicaliser::start(const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri,
                                   int namespaceCount, const xmlChar** namespaces, int attributeCount,
                                   const xmlChar** attributes)
{
    for (int i = 0; i < namespaceCount; ++i)
        checkAbsolute(namespaces[2 * i + 1]);
    out_ += '<';
    writeName(prefix, localName);
    marks_.push_back(pushed_.size());

    // The namespaces this element makes visible use of, one per prefix, in the order they are
    // written: its own and its prefixed attributes'. The xml prefix is never declared.
    std::vector<std::pair<std::string_view, std::string_view>> used;
    used.reserve(size_t(attributeCount) + 1);
    if (View(prefix) != "xml")
        used.emplace_back(View(prefix), View(uri));
    for (int i = 0; i < attributeCount; ++i)
        if (attributes[5 * i + 1] && View(attributes[5 * i + 1]) != "xml")
            used.emplace_back(View(attributes[5 * i + 1]), View(attributes[5 * i + 2]));
    const auto byPrefix = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::sort(used.begin(), used.end(), byPrefix);
    used.erase(std::unique(used.begin(), used.end(),
                           [](const auto& a, const auto& b) { return a.first == b.first; }),
               used.end());
    for (const auto& [usedPrefix, usedUri] : used) {
        std::vector<std::string>& uris = rendered_[std::string(usedPrefix)];
        // An empty default namespace needs no declaration until a non-empty one was rendered.
        if (uris.empty() ? usedPrefix.empty() && usedUri.empty() : uris.back() == usedUri)
            continue;
        uris.emplace_back(usedUri);
        pushed_.emplace_back(usedPrefix);
        out_ += usedPrefix.empty() ? " xmlns=" : " xmlns:";
        if (!usedPrefix.empty()) {
            out_ += usedPrefix;
            out_ += '=';
        }
        writeQuoted(uris.back());
    }

    std::vector<int> order(static_cast<size_t>(attributeCount));
    for (int i = 0; i < attributeCount; ++i)
        order[size_t(i)] = i;
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const int byUri = View(attributes[5 * a + 2]).compare(View(attributes[5 * b + 2]));
        return byUri != 0 ? byUri < 0 : View(attributes[5 * a]) < View(attributes[5 * b]);
    });
    for (const int i : order) {
        out_ += ' ';
        writeName(attributes[5 * i + 1], attributes[5 * i]);
        out_ += "=\"";
        const auto* value = reinterpret_cast<const char*>(attributes[5 * i + 3]);
        writeEscaped(
            std::string_view(value, size_t(reinterpret_cast<const char*>(attributes[5 * i + 4]) - value)),
            true);
        out_ += '"';
    }
    out_ += '>';
}

void StreamingCanonicaliser::end(const xmlChar* localName, const xmlChar* prefix)
{
    out_ += "</";
    writeName(prefix, localName);
    out_ += '>';
    for (size_t i = marks_.back(); i < pushed_.size(); ++i)
        rendered_[pushed_[i]].pop_back();
    pushed_.resize(marks_.back());
    marks_.pop_back();
}

void StreamingCanonicaliser::text(const xmlChar* text, int length)
{
    writeEscaped(std::string_view(reinterpret_cast<const char*>(text), size_t(length)), false);
}

void StreamingCanonicaliser::instruction(const xmlChar* target, const xmlChar* data)
{
    out_ += "<?";
    out_ += View(target);
    if (!View(data).empty()) {
        out_ += ' ';
        for (const char c : View(data))
            c == '\r' ? void(out_ += "&#xD;") : void(out_ += c);
    }
    out_ += "?>";
}

void StreamingCanonicaliser::writeName(const xmlChar* prefix, const xmlChar* localName)
{
    if (prefix) {
        out_ += View(prefix);
        out_ += ':';
    }
    out_ += View(localName);
}

// Text, or an attribute's value, with the characters the canonical form escapes in each replaced.
void StreamingCanonicaliser::writeEscaped(std::string_view text, bool attribute)
{
    size_t from = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char* reference = nullptr;
        switch (text[i]) {
        case '&':
            reference = "&amp;";
            break;
        case '<':
            reference = "&lt;";
            break;
        case '\r':
            reference = "&#xD;";
            break;
        case '>':
            reference = attribute ? nullptr : "&gt;";
            break;
        case '"':
            reference = attribute ? "&quot;" : nullptr;
            break;
        case '\t':
            reference = attribute ? "&#x9;" : nullptr;
            break;
        case '\n':
            reference = attribute ? "&#xA;" : nullptr;
            break;
        default:
            break;
        }
        if (reference) {
            out_.append(text, from, i - from);
            out_ += reference;
            from = i + 1;
        }
    }
    out_.append(text, from);
}

// A namespace URI as libxml2 writes it from a tree it read without replacing entities: an
// ampersand (which only a reference can have put there) as "&#38;", the rest as it is, in
// double quotes, in single ones when it holds a double quote and no single one, and with its
// double quotes as references when it holds both.
void StreamingCanonicaliser::writeQuoted(const std::string& uri)
{
    const bool doubleQuote = uri.find('"') != std::string::npos;
    const bool single = doubleQuote && uri.find('\'') == std::string::npos;
    out_ += single ? '\'' : '"';
    for (const char c : uri) {
        if (c == '&')
            out_ += "&#38;";
        else if (c == '"' && !single)
            out_ += "&quot;";
        else
            out_ += c;
    }
    out_ += single ? '\'' : '"';
}

// The canonical form is not defined for relative namespace URIs, and libxml2 refuses them.
void StreamingCanonicaliser::checkAbsolute(const xmlChar* uri)
{
    if (!uri || !*uri || !failure_.isEmpty())
        return;
    xmlURIPtr parsed = xmlParseURI(reinterpret_cast<const char*>(uri));
    if (!parsed || !parsed->scheme || !*parsed->scheme)
        failure_ = QStringLiteral("namespace %1 is not an absolute URI")
                       .arg(QString::fromUtf8(reinterpret_cast<const char*>(uri)));
    xmlFreeURI(parsed);
}
