#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// Returned charges and payment documents as the operator reads them: lines whose path is known get
// a Russian label and a readable value, every record gets a numbered heading. The window decides
// which table applies and which memo receives the text; this unit only turns lines into text.

// Which label table a record is shown with.
enum class TRecordTable {
    rtNone,             // the record is kept but not shown
    rtCharges,          // GIS GMP charges, memo mmCharges
    rtPaymentDocuments, // GIS ZhKH payment documents, memo mmDocumentDetails
};

// Rewrites every "path=value" line whose path matches a row of `table` into the row's label and the
// converted value; other lines stay as they are. Raises EConvertError for an amount or a date-time
// that does not read; the lines before it are rewritten already.
void LabelRecordLines(TRecordTable table, QStringList& lines);

// The text appended to the memo for the record numbered `number`: the heading, the lines, an empty
// line. Lines are separated by "\n" and the text ends with one, which leaves the empty line.
QString RecordBlockText(qsizetype number, const QStringList& lines);
// The same text appended to `text`, for a caller that gathers many records in one string.
void AppendRecordBlockText(QString& text, qsizetype number, const QStringList& lines);

// The value conversions of the label tables. An empty value stays empty under each of them.

// A number of kopecks as roubles with two decimals ("123450" gives "1234.50"), exactly.
QString KopecksText(const QString& value);

// An XML date-time as UTC (or as local time) in the form "dd.MM.yyyy H:mm:ss", the time left out when
// it is exactly midnight. A value without a zone is shown as it stands.
QString XmlDateTimeUtcText(const QString& value);
QString XmlDateTimeLocalText(const QString& value);

// "true" and "false" in any letter case as "Да" and "Нет"; anything else unchanged.
QString YesNoText(const QString& value);

// A date-time in the form above, as its wall-clock value.
QString ShortDateTimeText(const QDateTime& dateTime);
