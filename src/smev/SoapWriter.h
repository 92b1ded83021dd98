#pragma once

#include "foundation/XmlHelper.h"
#include "smev/SoapValues.h"

#include <QAnyStringView>
#include <QString>

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

// Reads values by key for a builder: `value("Amount")`.
class ValueReader final {
  public:
    explicit ValueReader(ISOAPValues& values) : FValues(values) {}
    QString operator()(QAnyStringView key) const { return FValues.GetFieldValue(key.toString()); }

  private:
    ISOAPValues& FValues;
};
