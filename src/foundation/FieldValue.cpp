#include "foundation/FieldValue.h"

#include "foundation/Convert.h"

bool FieldValue::isEmpty() const
{
    return kind() == Kind::Empty || (kind() == Kind::Text && std::get<QString>(FValue).isEmpty());
}

double FieldValue::number() const
{
    return isNumber() ? std::get<double>(FValue) : 0.0;
}

QDateTime FieldValue::dateTime() const
{
    return isDateTime() ? std::get<QDateTime>(FValue) : QDateTime();
}

QString FieldValue::text() const
{
    return isText() ? std::get<QString>(FValue) : QString();
}

QString FieldValue::toText() const
{
    switch (kind()) {
    case Kind::Empty:
        return QString();
    case Kind::Number:
        return FloatToText(number());
    case Kind::DateTime: {
        const QDateTime value = dateTime();
        if (!value.isValid())
            return QString();
        const QDate d = value.date();
        const QTime t = value.time();
        return QStringLiteral("%1.%2.%3 %4:%5:%6")
            .arg(d.day(), 2, 10, QLatin1Char('0'))
            .arg(d.month(), 2, 10, QLatin1Char('0'))
            .arg(d.year(), 4, 10, QLatin1Char('0'))
            .arg(t.hour(), 2, 10, QLatin1Char('0'))
            .arg(t.minute(), 2, 10, QLatin1Char('0'))
            .arg(t.second(), 2, 10, QLatin1Char('0'));
    }
    case Kind::Text:
        return text();
    }
    return QString();
}
