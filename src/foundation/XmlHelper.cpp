#include "foundation/XmlHelper.h"

#include "foundation/TextHelper.h"

#include "foundation/Convert.h"

#include <algorithm>

namespace {

// Element names are compared the way the replying servers' names are matched: ASCII letters
// without regard to case, everything else exactly.
bool isExcluded(const QString& localName, const QStringList& excluded)
{
    for (const QString& name : excluded)
        if (SameAsciiText(localName, name))
            return true;
    return false;
}

// A character and the reference that stands for it in the written XML.
struct TCharacterReference {
    char16_t Character;
    QLatin1StringView Reference;
};

// What canonical element text escapes, and so every reference XmlEscapeText can write.
constexpr TCharacterReference kTextReferences[] = {
    {u'&', QLatin1StringView("&amp;")},
    {u'<', QLatin1StringView("&lt;")},
    {u'>', QLatin1StringView("&gt;")},
    {u'\r', QLatin1StringView("&#xD;")},
};

// What a canonical attribute value escapes beyond the element text's "&", "<" and carriage return.
constexpr TCharacterReference kAttributeOnlyReferences[] = {
    {u'"', QLatin1StringView("&quot;")},
    {u'\t', QLatin1StringView("&#x9;")},
    {u'\n', QLatin1StringView("&#xA;")},
};

constexpr TCharacterReference kAttributeReferences[] = {
    {u'&', QLatin1StringView("&amp;")},  {u'<', QLatin1StringView("&lt;")},
    {u'"', QLatin1StringView("&quot;")}, {u'\t', QLatin1StringView("&#x9;")},
    {u'\n', QLatin1StringView("&#xA;")}, {u'\r', QLatin1StringView("&#xD;")},
};

template <std::size_t N> QString ReplaceCharacters(QStringView text, const TCharacterReference (&table)[N])
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        const auto found =
            std::find_if(std::begin(table), std::end(table),
                         [c](const TCharacterReference& r) { return r.Character == c.unicode(); });
        if (found == std::end(table))
            result += c;
        else
            result += found->Reference;
    }
    return result;
}

// A date-time reaching a number rendering is a caller's mistake; say so rather than write nothing.
[[noreturn]] void raiseNotANumber(const FieldValue& value)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(value.toText()));
}

void flatten(const XmlNode& node, const QString& prefix, QStringList& lines, const QStringList& excluded)
{
    for (const XmlAttribute& attr : node.attributes())
        lines.append(prefix + attr.localName + u'=' + attr.value);
    for (const XmlNode& child : node.children()) {
        if (child.isText()) {
            lines.append(prefix.chopped(prefix.isEmpty() ? 0 : 1) + u'=' + child.text());
        } else if (!isExcluded(child.localName(), excluded)) {
            flatten(child, prefix + child.localName() + u'\\', lines, excluded);
        }
    }
}

} // namespace

QString WrapTag(const QString& startTag, const QString& value, const QString& endTag, bool force)
{
    if (value.isEmpty() && !force)
        return QString();
    return startTag + value + endTag;
}

QString WrapTagList(const QString& startTag, const QString& value, const QString& endTag, bool force)
{
    if (value.isEmpty())
        return WrapTag(startTag, value, endTag, force);
    // The value is escaped already: a ";" that ends one of the references XmlEscapeText writes
    // belongs to the character it stands for, so splitting here is splitting the typed text.
    QString result;
    qsizetype partStart = 0;
    qsizetype i = 0;
    while (i < value.size()) {
        if (value[i] == u'&') {
            const auto reference = std::find_if(
                std::begin(kTextReferences), std::end(kTextReferences), [&](const TCharacterReference& r) {
                    return QStringView(value).sliced(i).startsWith(r.Reference);
                });
            if (reference != std::end(kTextReferences)) {
                i += reference->Reference.size();
                continue;
            }
        } else if (value[i] == u';') {
            result += WrapTag(startTag, value.mid(partStart, i - partStart), endTag, force);
            partStart = i + 1;
        }
        ++i;
    }
    return result + WrapTag(startTag, value.mid(partStart), endTag, force);
}

QString XmlEscapeText(const QString& text)
{
    return ReplaceCharacters(text, kTextReferences);
}

QString XmlAttributeText(const QString& text)
{
    return ReplaceCharacters(text, kAttributeReferences);
}

QString XmlTextToAttributeText(const QString& escapedText)
{
    // "&amp;", "&lt;" and "&#xD;" are already the attribute forms; only ">" and the characters
    // that element text leaves alone differ.
    return ReplaceCharacters(QString(escapedText).replace(QStringLiteral("&gt;"), QStringLiteral(">")),
                             kAttributeOnlyReferences);
}

QString XmlValueText(const FieldValue& value)
{
    if (value.isEmpty())
        return QString();
    if (value.isDateTime())
        return XmlDateTimeText(value.dateTime());
    return XmlEscapeText(value.toText());
}

QString XmlDateTimeText(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return QString();
    const QDate d = dateTime.date();
    const QTime t = dateTime.time();
    return QStringLiteral("%1-%2-%3T%4:%5:%6.%7Z")
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(d.month(), 2, 10, QLatin1Char('0'))
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(t.hour(), 2, 10, QLatin1Char('0'))
        .arg(t.minute(), 2, 10, QLatin1Char('0'))
        .arg(t.second(), 2, 10, QLatin1Char('0'))
        .arg(t.msec(), 3, 10, QLatin1Char('0'));
}

QString XmlDateTimeText(const FieldValue& value)
{
    if (value.isText() && !value.isEmpty())
        return XmlDateTimeText(TextToDateTime(value.text()));
    return XmlValueText(value);
}

QString XmlDateText(const FieldValue& value)
{
    const QString dateTime = XmlDateTimeText(value);
    const qsizetype t = dateTime.lastIndexOf(u'T');
    return t < 0 ? dateTime : dateTime.left(t);
}

QString XmlIntegerText(const FieldValue& value)
{
    switch (value.kind()) {
    case FieldValue::Kind::Number:
        return value.number() == 0.0 ? QString() : XmlValueText(value);
    case FieldValue::Kind::Text:
        return value.isEmpty() ? QString() : XmlEscapeText(FormatDecimalText(value.text(), 0));
    case FieldValue::Kind::DateTime:
        raiseNotANumber(value);
    case FieldValue::Kind::Empty:
        break;
    }
    return QString();
}

QString XmlAmountText(const FieldValue& value)
{
    QString amount;
    switch (value.kind()) {
    case FieldValue::Kind::Number:
        // The number's own decimal text, so that 0.285 is rounded as 0.285 and not as the binary
        // fraction just below it.
        amount = FormatDecimalText(FloatToText(value.number()), 2);
        break;
    case FieldValue::Kind::Text:
        if (value.isEmpty())
            return QString();
        amount = FormatDecimalText(value.text(), 2);
        break;
    case FieldValue::Kind::DateTime:
        raiseNotANumber(value);
    case FieldValue::Kind::Empty:
        return QString();
    }
    return XmlEscapeText(amount).remove(u'.');
}

QString MakePaymentSystemIdentifier(const QString& bik, const FieldValue& subsystem,
                                    const FieldValue& paymentDate, const FieldValue& dayNumber)
{
    QString date;
    switch (paymentDate.kind()) {
    case FieldValue::Kind::Number:
        date = FormatDdMmYyyy(DateTimeFromDayCount(paymentDate.number()).date());
        break;
    case FieldValue::Kind::DateTime:
        if (paymentDate.dateTime().isValid())
            date = FormatDdMmYyyy(paymentDate.dateTime().date());
        break;
    case FieldValue::Kind::Text:
        if (!paymentDate.isEmpty())
            date = FormatDdMmYyyy(TextToDateTime(paymentDate.text()).date());
        break;
    case FieldValue::Kind::Empty:
        break;
    }
    // Digits in every sane case; escaped all the same, since whatever the operator typed goes
    // straight into the message.
    return XmlEscapeText(u'1' + bik.rightJustified(9, u'0') + subsystem.toText().rightJustified(6, u'0') +
                         date.rightJustified(8, u'0') + dayNumber.toText().rightJustified(8, u'0'));
}

std::optional<QByteArray> DecodeXmlBase64(const QString& text)
{
    QByteArray base64 = text.toLatin1();
    base64.removeIf([](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
    auto decoded = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return std::move(decoded.decoded);
}

XmlNode FindNodeByPath(const XmlNode& start, const QString& path, bool mustExist)
{
    XmlNode current = start;
    QString remaining = path;
    QString reported = path;
    while (!current.isNull()) {
        qsizetype separator = -1;
        for (qsizetype i = 0; i < remaining.size(); ++i) {
            if (remaining[i] == u'\\' || remaining[i] == u'/') {
                separator = i;
                break;
            }
        }
        const QString name = separator < 0 ? remaining : remaining.left(separator);
        remaining = separator < 0 ? QString() : remaining.mid(separator + 1);
        if (name.isEmpty())
            break;
        reported = name;
        XmlNode found;
        for (const XmlNode& child : current.children()) {
            if (child.isElement() && SameAsciiText(child.localName(), name)) {
                found = child;
                break;
            }
        }
        current = found;
    }
    if (current.isNull() && mustExist)
        throw EXMLException(QStringLiteral("Узел ") + reported + QStringLiteral(" не найден."));
    return current;
}

void FlattenNode(const XmlNode& node, QStringList& lines, const QString& excludedNames)
{
    if (node.isNull())
        return;
    QStringList excluded = excludedNames.split(u';', Qt::SkipEmptyParts);
    flatten(node, QString(), lines, excluded);
}
