#pragma once

#include "foundation/CryptHelper.h"
#include "foundation/XmlHelper.h"
#include "smev/SoapConstants.h"
#include "smev/SoapValues.h"

#include <QAnyStringView>
#include <QString>

#include <initializer_list>

// Writes one element of a message template. The text it produces is already in exclusive
// canonical form as long as the caller lists namespace declarations and attributes in canonical
// order and hands in attribute values that are already in canonical attribute form: no white
// space, no empty-element tag, one space before each attribute, values in double quotes.
class XmlTag final {
  public:
    explicit XmlTag(QAnyStringView name) : FName(name.toString()), FStart(QLatin1Char('<') + FName) {}
    XmlTag(QAnyStringView prefix, QAnyStringView localName)
        : XmlTag(QString(prefix.toString() + QLatin1Char(':') + localName.toString()))
    {
    }

    // A namespace declaration or attribute, written in the order of the calls.
    XmlTag& attr(QAnyStringView name, QAnyStringView value)
    {
        FStart +=
            QLatin1Char(' ') + name.toString() + QLatin1String("=\"") + value.toString() + QLatin1Char('"');
        return *this;
    }
    XmlTag& xmlns(QAnyStringView prefix, QAnyStringView uri)
    {
        return attr(QString(QLatin1String("xmlns:") + prefix.toString()), uri);
    }

    QString start() const { return FStart + QLatin1Char('>'); }
    QString end() const { return QLatin1String("</") + FName + QLatin1Char('>'); }

    // Written even when the content is empty: start tag directly followed by end tag.
    QString always(const QString& content) const { return start() + content + end(); }
    // Left out entirely when the content is empty.
    QString ifNonEmpty(const QString& content) const { return WrapTag(start(), content, end(), false); }

  private:
    QString FName;
    QString FStart;
};

// The digest and signature methods that name the container's algorithms.
inline QLatin1StringView DigestMethodUri(GostAlgorithm algorithm)
{
    return ByAlgorithm(algorithm, GOST3411_DIGEST_URI, GOST2012_256_DIGEST_URI, GOST2012_512_DIGEST_URI);
}

inline QLatin1StringView SignatureMethodUri(GostAlgorithm algorithm)
{
    return ByAlgorithm(algorithm, GOST3410_SIGNATURE_URI, GOST2012_256_SIGNATURE_URI,
                       GOST2012_512_SIGNATURE_URI);
}

// The content of a ds:SignedInfo over one reference: exclusive canonicalisation, the GOST signature
// and digest methods of the algorithm, and the reference's transforms in the order given. Whoever
// writes the ds:SignedInfo element around it decides where the ds prefix is declared.
inline QString SignedInfoContent(const QString& referenceUri,
                                 std::initializer_list<QLatin1StringView> transforms,
                                 const QString& digestValue, GostAlgorithm algorithm)
{
    QString transformElements;
    for (QLatin1StringView algorithm : transforms)
        transformElements += XmlTag(u"ds:Transform").attr(u"Algorithm", algorithm).always({});
    QString reference = XmlTag(u"ds:Transforms").always(transformElements);
    reference += XmlTag(u"ds:DigestMethod").attr(u"Algorithm", DigestMethodUri(algorithm)).always({});
    reference += XmlTag(u"ds:DigestValue").always(digestValue);

    QString content = XmlTag(u"ds:CanonicalizationMethod").attr(u"Algorithm", EXC_C14N_URI).always({});
    content += XmlTag(u"ds:SignatureMethod").attr(u"Algorithm", SignatureMethodUri(algorithm)).always({});
    content += XmlTag(u"ds:Reference").attr(u"URI", referenceUri).always(reference);
    return content;
}

// Reads values by key for a builder: `value("Amount")`.
class ValueReader final {
  public:
    explicit ValueReader(ISOAPValues& values) : FValues(values) {}
    QString operator()(QAnyStringView key) const { return FValues.GetFieldValue(key.toString()); }

  private:
    ISOAPValues& FValues;
};
