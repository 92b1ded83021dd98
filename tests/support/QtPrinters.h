#pragma once

// Lets GoogleTest show Qt texts and octets readably in failure messages.

#include <QByteArray>
#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << "hex " << bytes.toHex(' ').toStdString();
}
