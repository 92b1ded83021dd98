#pragma once

#include <QDateTime>
#include <QString>

// Number and date-time texts as the operator types them and as the messages carry them. The decimal
// separator and the date separator are always "."; none of this follows the process's regional
// settings, whatever the C library or Qt have been told.

// Reads a number text: optional blanks, an optional sign, digits with an optional "." fraction, an
// optional exponent ("e" or "E", optional sign, digits), optional blanks. Raises EConvertError
// "'<text>' is not a valid floating point value" for anything else, including a value too large
// for a double.
double TextToFloat(const QString& text);
bool TryTextToFloat(const QString& text, double& value);

// A number in general format: up to 15 significant digits, "." as decimal separator, trailing zeros
// dropped; exponent form ("1.5E-6", "1E15") only below 0.00001 or from 10^15 upwards.
QString FloatToText(double value);

// Rounds a number text to `places` decimals, half away from zero, on the decimal digits themselves
// (no binary floating point on the way, so money stays exact), and writes it with exactly `places`
// decimals after a "." and at least one integer digit: ("1234.565", 2) gives "1234.57", ("-0.001", 2)
// gives "0.00", ("2.5", 0) gives "3". With `powerOfTen` the number is first multiplied by that power
// of ten, just as exactly: ("123450", 2, -2) gives "1234.50" (kopecks as roubles). Raises EConvertError
// like TextToFloat.
QString FormatDecimalText(const QString& numberText, int places, int powerOfTen = 0);

// An amount as the operator types it, in roubles, as the kopecks the messages carry: "12.5" and
// "12,5" (the decimal comma a Russian keyboard types) give "1250", "0" gives "000", the empty text
// gives the empty text. Refused with EConvertError naming `field` and the text, before anything is
// signed: what is not a number, a negative amount, a fraction of a kopeck, and more kopecks than the
// schemas' unsignedLong holds, since each would otherwise go out as another amount than was meant.
QString AmountKopecksText(const QString& text, const QString& field);

// A date as day, month and four-digit year without separators ("05032016").
QString FormatDdMmYyyy(const QDate& date);

// Reads a date-time text: day, month and year separated by "." (one or two digits for day and
// month; four digits for the year, or two meaning 20yy), optionally followed by blanks and a time
// h:m, h:m:s or h:m:s.f (one or two digits each, f one to three digits of a fraction of a second);
// blanks around the whole text are ignored. Raises EConvertError "'<text>' is not a valid date and
// time" for anything else, an impossible date or time included.
//
// The result is the wall-clock time as written. It is marked as Qt::UTC only so that no
// daylight-saving rule can move it; read it with date() and time(), never convert it.
QDateTime TextToDateTime(const QString& text);
bool TryTextToDateTime(const QString& text, QDateTime& value);

// Reads an XML Schema date-time ("2016-02-01T10:00:00", optionally with a fraction of a second) or
// date ("2016-02-01"), each optionally followed by a zone, "Z" or "+hh:mm" / "-hh:mm"; "24:00:00" is
// midnight at the end of the day. A fraction beyond milliseconds is cut off. With a zone the result
// carries that offset (Qt::OffsetFromUTC) and may be converted; without one it is the wall-clock
// time as written, marked Qt::UTC as above, and `hasZone` (when given) is false. Raises EConvertError
// "'<text>' is not a valid date and time" for anything else.
QDateTime XmlTextToDateTime(const QString& text, bool* hasZone = nullptr);

// The date-time that a day count stands for: whole days since 30.12.1899, the fraction being the
// time of day (the way stored date-times have always been counted). Carries Qt::UTC as above.
// Raises EConvertError for a count outside the years 1 to 9999.
QDateTime DateTimeFromDayCount(double days);
