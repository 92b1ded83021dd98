#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <variant>

// A value on its way into a message: nothing, a number, a date-time or a text. Control texts arrive
// as texts; numbers (item indexes, paging counters) and date-times (the operation time) arrive typed.
// An empty text and the empty value render alike.
class FieldValue final {
  public:
    enum class Kind { Empty, Number, DateTime, Text };

    FieldValue() = default;
    FieldValue(double number) : FValue(number) {}
    FieldValue(int number) : FValue(double(number)) {}
    FieldValue(qint64 number) : FValue(double(number)) {}
    // A null date-time is the zero date: no date at all. Its wall-clock date() and time() are the value.
    FieldValue(const QDateTime& dateTime) : FValue(dateTime) {}
    FieldValue(const QDate& date)
        : FValue(date.isValid() ? QDateTime(date, QTime(0, 0), Qt::UTC) : QDateTime())
    {
    }
    FieldValue(const QString& text) : FValue(text) {}
    FieldValue(const char* utf8) : FValue(QString::fromUtf8(utf8)) {}

    Kind kind() const { return Kind(FValue.index()); }
    bool isNumber() const { return kind() == Kind::Number; }
    bool isDateTime() const { return kind() == Kind::DateTime; }
    bool isText() const { return kind() == Kind::Text; }
    // Nothing to write: the empty value or an empty text.
    bool isEmpty() const;

    // The held value; each is only meaningful for its own kind (0, null, empty otherwise).
    double number() const;
    QDateTime dateTime() const;
    QString text() const;

    // The plain text form: numbers in general format (FloatToText), date-times as
    // dd.mm.yyyy hh:nn:ss (empty for the zero date), texts unchanged, nothing as the empty text.
    QString toText() const;

  private:
    std::variant<std::monostate, double, QDateTime, QString> FValue;
};
