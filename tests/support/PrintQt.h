#pragma once

// Lets GoogleTest show Qt texts readably in failure messages; byte arrays that are not text (DER,
// hashes, signatures) are shown in hexadecimal.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    const bool text = std::all_of(bytes.begin(), bytes.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 || c == '\n' || c == '\r' || c == '\t';
    });
    if (text && QString::fromUtf8(bytes).toUtf8() == bytes)
        *out << '"' << bytes.toStdString() << '"';
    else
        *out << "hex " << bytes.toHex(' ').toStdString();
}

inline void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '{';
    for (qsizetype i = 0; i < list.size(); ++i)
        *out << (i ? ", " : "") << '"' << list[i].toStdString() << '"';
    *out << '}';
}
