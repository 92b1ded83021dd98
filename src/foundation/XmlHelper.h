#pragma once

#include "foundation/Exceptions.h"
#include "foundation/FieldValue.h"
#include "foundation/XmlDocument.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// XML text of outgoing messages and lookups in replies. Outgoing messages are concatenated from
// literal tags and values rendered here; the renderings escape, so the assembled text is already in
// canonical form when it is hashed.

// Failures of reading a reply (and of parsing one, see XmlDocument).
ZELVAN_DECLARE_EXCEPTION(EXMLException, Exception);

// startTag + value + endTag when the value is not empty or `force` is set, else the empty text. The
// tags are written in full ("<rev:Code>", "</rev:Code>"); the value is expected escaped already.
QString WrapTag(const QString& startTag, const QString& value, const QString& endTag, bool force);

// One element per ";"-separated part of the value, in order; an empty value is WrapTag of itself.
// The value is escaped text, so the ";" that ends an entity reference does not separate.
QString WrapTagList(const QString& startTag, const QString& value, const QString& endTag, bool force);

// The text-node form of canonical XML: "&", "<", ">" and the carriage return escaped, nothing else.
QString XmlEscapeText(const QString& text);

// The canonical form of an attribute value: "&", "<", the double quotation mark, tab, line feed and
// carriage return escaped, ">" left as it is. For a text taken as typed.
QString XmlAttributeText(const QString& text);
// The same for a text already escaped as element text (XmlEscapeText).
QString XmlTextToAttributeText(const QString& escapedText);

// Any value as escaped element text: empty for nothing, date-times through XmlDateTimeText,
// numbers in general format.
QString XmlValueText(const FieldValue& value);

// yyyy-mm-ddThh:nn:ss.zzzZ of the local wall-clock time, written as it is: no shift to UTC, the
// "Z" notwithstanding. Empty for the zero (null) date-time.
QString XmlDateTimeText(const QDateTime& dateTime);
// A non-empty text is read as a date-time first (EConvertError when it is none); any other value
// goes through XmlValueText.
QString XmlDateTimeText(const FieldValue& value);

// The date part (yyyy-mm-dd) of XmlDateTimeText.
QString XmlDateText(const FieldValue& value);

// A whole number: a number value other than 0 as XmlValueText, a number text rounded half away
// from zero to a whole number (so the text "0" gives "0"); empty for the number 0 and for nothing.
// EConvertError for a text that is no number, and for a date-time.
QString XmlIntegerText(const FieldValue& value);

// An amount in roubles as whole kopecks: rounded half away from zero to two decimals on its decimal
// digits, then written without the "." ("12.5" gives "1250", "0" gives "000"); empty for nothing.
// EConvertError for a text that is no number, and for a date-time.
QString XmlAmountText(const FieldValue& value);

// "1" + BIK padded with "0" in front to 9 + subsystem to 6 + payment date as ddmmyyyy to 8 + payment
// day number to 8; a longer part is kept whole. The date may be a date-time, a day count or a
// date-time text (EConvertError when it is none); an empty one gives eight zeros. Escaped like
// every other rendering.
QString MakePaymentSystemIdentifier(const QString& bik, const FieldValue& subsystem,
                                    const FieldValue& paymentDate, const FieldValue& dayNumber);

// The bytes of Base64 element text as XML signature and schema allow it to be written: broken into
// lines and indented at will. Nothing when anything else stands outside the alphabet.
std::optional<QByteArray> DecodeXmlBase64(const QString& text);

// Walks `path` (element local names separated by "\" or "/", compared ignoring ASCII letter case
// and prefixes) from `start`, taking the first matching child at each step; an empty name ends the
// walk. Returns the node reached or the absent node; with `mustExist` an absent result raises
// EXMLException "Узел <name> не найден." naming the step that failed (the whole path when `start`
// itself is absent).
XmlNode FindNodeByPath(const XmlNode& start, const QString& path, bool mustExist);

// Appends "path=value" lines for the subtree of `node`: its attributes (namespace declarations are
// none), then its children in order, text as (parent path)=text, elements recursively with their
// local name and "\" added to the path. Elements whose local name is one of the ";"-separated
// `excludedNames` (ignoring letter case) are skipped at any depth.
void FlattenNode(const XmlNode& node, QStringList& lines, const QString& excludedNames);
