#include "foundation/TextHelper.h"

#include "foundation/Convert.h"

#include <array>
#include <climits>

namespace {

bool readDecimalInteger(const QString& text, int& value)
{
    qsizetype pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == u'-' || text[pos] == u'+')) {
        negative = text[pos] == u'-';
        ++pos;
    }
    if (pos == text.size())
        return false;
    qint64 result = 0;
    for (; pos < text.size(); ++pos) {
        const QChar c = text[pos];
        if (c < u'0' || c > u'9')
            return false;
        result = result * 10 + (c.unicode() - u'0');
        if (result > qint64(INT_MAX) + 1)
            return false;
    }
    result = negative ? -result : result;
    if (result > INT_MAX)
        return false;
    value = int(result);
    return true;
}

char16_t AsciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + (u'a' - u'A')) : c;
}

template <class Text> bool SameAsciiTextOf(QStringView a, const Text& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i].unicode()) != AsciiLower(QChar(b[i]).unicode()))
            return false;
    return true;
}

} // namespace

QString ItemCode(const QString& item)
{
    if (!item.startsWith(u'('))
        return QString();
    const qsizetype close = item.indexOf(u')');
    return close >= 2 ? item.mid(1, close - 1) : QString();
}

int IndexOfCode(const QStringList& items, const QString& value, int defaultIndex)
{
    if (value.isEmpty())
        return defaultIndex;
    for (qsizetype i = 0; i < items.size(); ++i)
        if (ItemCode(items[i]) == value)
            return int(i);
    int number = 0;
    if (!readDecimalInteger(value, number) || number > items.size() - 1)
        return defaultIndex;
    return number < -1 ? -1 : number;
}

int IndexOfText(const QStringList& items, const QString& text, int defaultIndex)
{
    for (qsizetype i = 0; i < items.size(); ++i)
        if (items[i].compare(text, Qt::CaseInsensitive) == 0)
            return int(i);
    return defaultIndex;
}

int SelectedIndex(int currentIndex, int defaultIndex)
{
    return currentIndex < 0 ? defaultIndex : currentIndex;
}

QString JoinNonEmpty(const QString& separator, const QString& first, const QString& second)
{
    if (!first.isEmpty() && !second.isEmpty())
        return first + separator + second;
    return first + second;
}

QString ChooseText(bool flag, const QString& first, const QString& second)
{
    return flag ? first : second;
}

bool SameAsciiText(QStringView a, QStringView b)
{
    return SameAsciiTextOf(a, b);
}

bool SameAsciiText(QStringView a, QLatin1StringView b)
{
    return SameAsciiTextOf(a, b);
}

bool EndsWithText(const QString& text, const QString& ending)
{
    // Qt's endsWith tells an unset text from an empty one: an unset text would not end with "".
    if (ending.isEmpty())
        return true;
    return text.endsWith(ending, Qt::CaseInsensitive);
}

bool IsDigits(const QString& text)
{
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

QString EncodeLineBreaks(const QString& text)
{
    QString result = text;
    result.replace(u'\r', QStringLiteral("#13"));
    result.replace(u'\n', QStringLiteral("#10"));
    return result;
}

QString DecodeLineBreaks(const QString& text)
{
    QString result = text;
    result.replace(QStringLiteral("#13"), QStringLiteral("\r"));
    result.replace(QStringLiteral("#10"), QStringLiteral("\n"));
    return result;
}

IdentifierSource::IdentifierSource(quint32 lastSuffix, std::function<QUuid()> guids)
    : counter_(lastSuffix), guids_(std::move(guids))
{
}

QString IdentifierSource::NextIdSuffix()
{
    const quint32 value = ++counter_;
    return QString::number(value, 16).toUpper().rightJustified(5, u'0');
}

QString IdentifierSource::NewGuidText() const
{
    const QUuid guid = guids_ ? guids_() : QUuid::createUuid();
    return guid.toString(QUuid::WithoutBraces).toUpper();
}
