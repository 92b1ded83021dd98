#include "foundation/Convert.h"

#include "foundation/Exceptions.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

// A number as its decimal digits: value = digits * 10^exponent, digits without leading zeros
// (empty for zero).
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

constexpr int kMaxDecimalExponent = 308; // the largest power of ten a double still holds

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isBlank(QChar c)
{
    return c == u' ';
}

bool parseDecimal(const QString& text, Decimal& result)
{
    qsizetype pos = 0;
    const qsizetype end = text.size();
    while (pos < end && isBlank(text[pos]))
        ++pos;
    Decimal d;
    if (pos < end && (text[pos] == u'+' || text[pos] == u'-')) {
        d.negative = text[pos] == u'-';
        ++pos;
    }
    std::string digits;
    int fractionDigits = 0;
    bool anyDigit = false;
    while (pos < end && isDigit(text[pos])) {
        digits.push_back(char(text[pos].unicode()));
        anyDigit = true;
        ++pos;
    }
    if (pos < end && text[pos] == u'.') {
        ++pos;
        while (pos < end && isDigit(text[pos])) {
            digits.push_back(char(text[pos].unicode()));
            ++fractionDigits;
            anyDigit = true;
            ++pos;
        }
    }
    if (!anyDigit)
        return false;
    long long exponent = 0;
    if (pos < end && (text[pos] == u'e' || text[pos] == u'E')) {
        ++pos;
        bool negativeExponent = false;
        if (pos < end && (text[pos] == u'+' || text[pos] == u'-')) {
            negativeExponent = text[pos] == u'-';
            ++pos;
        }
        if (pos >= end || !isDigit(text[pos]))
            return false;
        while (pos < end && isDigit(text[pos])) {
            // Beyond a million the value is out of range or zero anyway; stop the count growing.
            if (exponent < 1000000)
                exponent = exponent * 10 + (text[pos].unicode() - u'0');
            ++pos;
        }
        if (negativeExponent)
            exponent = -exponent;
    }
    while (pos < end && isBlank(text[pos]))
        ++pos;
    if (pos != end)
        return false;

    const auto firstSignificant = digits.find_first_not_of('0');
    if (firstSignificant == std::string::npos) {
        d.digits.clear();
        d.exponent = 0;
    } else {
        d.digits = digits.substr(firstSignificant);
        const long long scaled = exponent - fractionDigits;
        const long long magnitude = scaled + (long long)d.digits.size() - 1;
        if (magnitude > kMaxDecimalExponent)
            return false;
        if (magnitude < -1000000) {
            // Far below anything that can be written with a few decimals: it is a zero.
            d.digits.clear();
            d.exponent = 0;
        } else {
            d.exponent = int(scaled);
        }
    }
    result = std::move(d);
    return true;
}

bool decimalToDouble(const Decimal& d, double& value)
{
    if (d.digits.empty()) {
        value = 0.0;
        return true;
    }
    const std::string text = d.digits + "e" + std::to_string(d.exponent);
    double parsed = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (ec == std::errc::result_out_of_range) {
        const long long magnitude = (long long)d.exponent + (long long)d.digits.size() - 1;
        if (magnitude > 0)
            return false;
        parsed = 0.0; // underflow
    } else if (ec != std::errc() || ptr != text.data() + text.size()) {
        return false;
    }
    value = d.negative ? -parsed : parsed;
    return true;
}

[[noreturn]] void raiseNotAFloat(const QString& text)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
}

[[noreturn]] void raiseNotADateTime(const QString& text)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid date and time").arg(text));
}

// Reads between minCount and maxCount digits at pos; -1 when fewer are there.
int readNumber(const QString& text, qsizetype& pos, int minCount, int maxCount, int& count)
{
    int value = 0;
    count = 0;
    while (pos < text.size() && count < maxCount && isDigit(text[pos])) {
        value = value * 10 + (text[pos].unicode() - u'0');
        ++count;
        ++pos;
    }
    return count >= minCount ? value : -1;
}

bool expect(const QString& text, qsizetype& pos, QChar c)
{
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

} // namespace

bool TryTextToFloat(const QString& text, double& value)
{
    Decimal d;
    return parseDecimal(text, d) && decimalToDouble(d, value);
}

double TextToFloat(const QString& text)
{
    double value = 0.0;
    if (!TryTextToFloat(text, value))
        raiseNotAFloat(text);
    return value;
}

QString FloatToText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0.0)
        return QStringLiteral("0");

    // 15 significant digits as d.dddddddddddddde±x; to_chars never looks at any locale.
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    const std::string text(buffer, result.ptr);
    const bool negative = text[0] == '-';
    const auto ePos = text.find('e');
    std::string digits;
    for (std::size_t i = negative ? 1 : 0; i < ePos; ++i)
        if (text[i] != '.')
            digits.push_back(text[i]);
    int exponent = 0;
    const char* exponentText = text.data() + ePos + 1;
    if (*exponentText == '+')
        ++exponentText;
    std::from_chars(exponentText, text.data() + text.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out = negative ? "-" : "";
    if (exponent < -5 || exponent >= 15) {
        out += digits[0];
        if (digits.size() > 1)
            out += "." + digits.substr(1);
        out += "E" + std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0." + std::string(std::size_t(-exponent - 1), '0') + digits;
    } else {
        const std::size_t integerDigits = std::size_t(exponent) + 1;
        if (digits.size() <= integerDigits) {
            out += digits + std::string(integerDigits - digits.size(), '0');
        } else {
            out += digits.substr(0, integerDigits) + "." + digits.substr(integerDigits);
        }
    }
    return QString::fromLatin1(out.data(), qsizetype(out.size()));
}

QString FormatDecimalText(const QString& numberText, int places, int powerOfTen)
{
    // What cannot be read as a number is no amount either, however exactly its digits could be kept.
    Decimal d;
    double inRange = 0.0;
    if (!parseDecimal(numberText, d) || !decimalToDouble(d, inRange))
        raiseNotAFloat(numberText);

    // The value scaled by 10^places, as a whole number of digits.
    std::string units;
    if (!d.digits.empty()) {
        const long long shift = (long long)d.exponent + powerOfTen + places;
        if (shift >= 0) {
            units = d.digits + std::string(std::size_t(shift), '0');
        } else {
            const auto dropped = std::size_t(-shift);
            if (dropped <= d.digits.size()) {
                units = d.digits.substr(0, d.digits.size() - dropped);
                const bool roundUp = d.digits[d.digits.size() - dropped] >= '5';
                if (roundUp) {
                    int i = int(units.size()) - 1;
                    while (i >= 0 && units[std::size_t(i)] == '9')
                        units[std::size_t(i--)] = '0';
                    if (i >= 0)
                        ++units[std::size_t(i)];
                    else
                        units.insert(units.begin(), '1');
                }
            }
        }
    }
    const auto significant = units.find_first_not_of('0');
    const bool zero = significant == std::string::npos;
    units = zero ? std::string() : units.substr(significant);
    if (units.size() < std::size_t(places) + 1)
        units.insert(0, std::size_t(places) + 1 - units.size(), '0');
    if (places > 0)
        units.insert(units.size() - std::size_t(places), 1, '.');
    if (d.negative && !zero)
        units.insert(units.begin(), '-');
    return QString::fromLatin1(units.data(), qsizetype(units.size()));
}

QString AmountKopecksText(const QString& text, const QString& field)
{
    if (text.isEmpty())
        return QString();
    const auto refuse = [&](const char* reason) {
        throw EConvertError(QStringLiteral("Сумма в поле %1 не принята: \"%2\" %3. Укажите сумму в рублях, "
                                           "не меньше нуля, с копейками не более чем в двух знаках после "
                                           "запятой.")
                                .arg(field, text, QString::fromUtf8(reason)));
    };
    QString number = text;
    if (number.count(u',') == 1 && !number.contains(u'.'))
        number.replace(u',', u'.');
    Decimal d;
    double inRange = 0.0;
    if (!parseDecimal(number, d) || !decimalToDouble(d, inRange))
        refuse("— не число");
    if (d.negative && !d.digits.empty())
        refuse("— отрицательная сумма");
    const auto lastSignificant = d.digits.find_last_not_of('0');
    const std::size_t trailingZeros =
        lastSignificant == std::string::npos ? 0 : d.digits.size() - 1 - lastSignificant;
    if (!d.digits.empty() && (long long)d.exponent + (long long)trailingZeros + 2 < 0)
        refuse("— доли копейки");
    // The largest xs:unsignedLong, compared as digits: a double would round it.
    static const QString largest = QStringLiteral("18446744073709551615");
    const QString kopecks = FormatDecimalText(number, 0, 2);
    if (kopecks.size() > largest.size() || (kopecks.size() == largest.size() && kopecks > largest))
        refuse("— больше, чем вмещает поле суммы сообщения");
    return FormatDecimalText(number, 2).remove(u'.');
}

QString FormatDdMmYyyy(const QDate& date)
{
    return QStringLiteral("%1%2%3")
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

bool TryTextToDateTime(const QString& text, QDateTime& value)
{
    qsizetype pos = 0;
    qsizetype end = text.size();
    while (pos < end && isBlank(text[pos]))
        ++pos;
    while (end > pos && isBlank(text[end - 1]))
        --end;
    const QString core = text.mid(pos, end - pos);
    pos = 0;

    int count = 0;
    const int day = readNumber(core, pos, 1, 2, count);
    if (day < 0 || !expect(core, pos, u'.'))
        return false;
    const int month = readNumber(core, pos, 1, 2, count);
    if (month < 0 || !expect(core, pos, u'.'))
        return false;
    int year = readNumber(core, pos, 2, 4, count);
    if (year < 0 || count == 3)
        return false;
    if (count == 2)
        year += 2000;
    const QDate date(year, month, day);
    if (!date.isValid())
        return false;

    QTime time(0, 0);
    if (pos < core.size()) {
        if (!isBlank(core[pos]))
            return false;
        while (pos < core.size() && isBlank(core[pos]))
            ++pos;
        const int hour = readNumber(core, pos, 1, 2, count);
        if (hour < 0 || !expect(core, pos, u':'))
            return false;
        const int minute = readNumber(core, pos, 1, 2, count);
        if (minute < 0)
            return false;
        int second = 0;
        int millisecond = 0;
        if (expect(core, pos, u':')) {
            second = readNumber(core, pos, 1, 2, count);
            if (second < 0)
                return false;
            if (expect(core, pos, u'.')) {
                millisecond = readNumber(core, pos, 1, 3, count);
                if (millisecond < 0)
                    return false;
                for (int i = count; i < 3; ++i)
                    millisecond *= 10;
            }
        }
        if (pos != core.size() || !QTime::isValid(hour, minute, second, millisecond))
            return false;
        time = QTime(hour, minute, second, millisecond);
    }
    value = QDateTime(date, time, Qt::UTC);
    return true;
}

QDateTime TextToDateTime(const QString& text)
{
    QDateTime value;
    if (!TryTextToDateTime(text, value))
        raiseNotADateTime(text);
    return value;
}

QDateTime XmlTextToDateTime(const QString& text, bool* hasZone)
{
    // XML allows white space around a value; inside it nothing is optional beyond what is read here.
    const QString core = text.trimmed();
    qsizetype pos = 0;
    int count = 0;
    const int year = readNumber(core, pos, 4, 9, count);
    if (year < 0 || !expect(core, pos, u'-'))
        raiseNotADateTime(text);
    const int month = readNumber(core, pos, 2, 2, count);
    if (month < 0 || !expect(core, pos, u'-'))
        raiseNotADateTime(text);
    const int day = readNumber(core, pos, 2, 2, count);
    QDate date(year, month, day);
    if (day < 0 || !date.isValid())
        raiseNotADateTime(text);

    QTime time(0, 0);
    if (expect(core, pos, u'T')) {
        const int hour = readNumber(core, pos, 2, 2, count);
        if (hour < 0 || !expect(core, pos, u':'))
            raiseNotADateTime(text);
        const int minute = readNumber(core, pos, 2, 2, count);
        if (minute < 0 || !expect(core, pos, u':'))
            raiseNotADateTime(text);
        const int second = readNumber(core, pos, 2, 2, count);
        if (second < 0)
            raiseNotADateTime(text);
        int millisecond = 0;
        if (expect(core, pos, u'.')) {
            const qsizetype fractionStart = pos;
            while (pos < core.size() && isDigit(core[pos]))
                ++pos;
            if (pos == fractionStart)
                raiseNotADateTime(text);
            for (qsizetype i = fractionStart; i < fractionStart + 3; ++i)
                millisecond = millisecond * 10 + (i < pos ? core[i].unicode() - u'0' : 0);
        }
        if (hour == 24 && minute == 0 && second == 0 && millisecond == 0) {
            date = date.addDays(1);
        } else if (!QTime::isValid(hour, minute, second, millisecond)) {
            raiseNotADateTime(text);
        } else {
            time = QTime(hour, minute, second, millisecond);
        }
    }

    bool zoned = false;
    int offsetSeconds = 0;
    if (expect(core, pos, u'Z')) {
        zoned = true;
    } else if (pos < core.size() && (core[pos] == u'+' || core[pos] == u'-')) {
        const bool negative = core[pos] == u'-';
        ++pos;
        const int hours = readNumber(core, pos, 2, 2, count);
        if (hours < 0 || !expect(core, pos, u':'))
            raiseNotADateTime(text);
        const int minutes = readNumber(core, pos, 2, 2, count);
        if (minutes < 0 || minutes > 59 || hours * 60 + minutes > 14 * 60)
            raiseNotADateTime(text);
        zoned = true;
        offsetSeconds = (hours * 3600 + minutes * 60) * (negative ? -1 : 1);
    }
    if (pos != core.size())
        raiseNotADateTime(text);
    if (hasZone)
        *hasZone = zoned;
    return zoned ? QDateTime(date, time, Qt::OffsetFromUTC, offsetSeconds) : QDateTime(date, time, Qt::UTC);
}

QDateTime DateTimeFromDayCount(double days)
{
    // 01.01.0001 to 31.12.9999, the range day counts have ever covered.
    if (!(days >= -693593.0 && days < 2958466.0))
        raiseNotADateTime(FloatToText(days));
    const double whole = std::trunc(days);
    const double fraction = std::fabs(days - whole);
    qint64 ms = std::llround(fraction * 86400000.0);
    if (ms >= 86400000)
        ms = 86399999;
    const QDate date = QDate(1899, 12, 30).addDays(qint64(whole));
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(ms)), Qt::UTC);
}
