#include "foundation/Convert.h"
#include "foundation/Exceptions.h"
#include "foundation/XmlHelper.h"

#include "support/PrintQt.h"
#include "support/Raised.h"
#include <QLocale>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <utility>

TEST(Convert, NumberTextsFollowTheGrammarOnly)
{
    EXPECT_EQ(TextToFloat(QStringLiteral("  12.5  ")), 12.5);
    EXPECT_EQ(TextToFloat(QStringLiteral("-3")), -3.0);
    EXPECT_EQ(TextToFloat(QStringLiteral("+.5")), 0.5);
    EXPECT_EQ(TextToFloat(QStringLiteral("5.")), 5.0);
    EXPECT_EQ(TextToFloat(QStringLiteral("1.5E-2")), 0.015);
    EXPECT_EQ(TextToFloat(QStringLiteral("2e3")), 2000.0);
    EXPECT_EQ(TextToFloat(QStringLiteral("1e-400")), 0.0);

    for (const char* bad : {"", " ", ".", "12,50", "1 000", "--1", "e5", "1e", "1e+", "0x10", "12.5.1", "INF",
                            "NAN", "1e400", "١٢", "12\t"}) {
        const QString text = QString::fromUtf8(bad);
        double value = 0;
        EXPECT_FALSE(TryTextToFloat(text, value)) << bad;
        EXPECT_EQ(Raised<EConvertError>([&] { TextToFloat(text); }),
                  QStringLiteral("'%1' is not a valid floating point value").arg(text));
    }
}

TEST(Convert, RussianRegionalSettingDoesNotChangeNumberTexts)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "ru_RU.UTF-8"), nullptr)
        << "the ru_RU.UTF-8 locale is made by scripts/setup";
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    // The setting really is in force: the C library now writes a decimal comma.
    EXPECT_STREQ(std::localeconv()->decimal_point, ",");

    EXPECT_EQ(TextToFloat(QStringLiteral("12.50")), 12.5);
    EXPECT_EQ(FloatToText(12.5), QStringLiteral("12.5"));
    EXPECT_EQ(XmlAmountText(QStringLiteral("12.50")), QStringLiteral("1250"));
    EXPECT_EQ(XmlAmountText(12.5), QStringLiteral("1250"));
    EXPECT_EQ(XmlValueText(0.25), QStringLiteral("0.25"));
    EXPECT_THROW(TextToFloat(QStringLiteral("12,50")), EConvertError);
    EXPECT_THROW(XmlAmountText(QStringLiteral("12,50")), EConvertError);

    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(Convert, DecimalRoundingIsExactAndHalfAwayFromZero)
{
    EXPECT_EQ(FormatDecimalText(QStringLiteral("1234.565"), 2), QStringLiteral("1234.57"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("99999999999999.99"), 2), QStringLiteral("99999999999999.99"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("123456789012345678901.235"), 2),
              QStringLiteral("123456789012345678901.24"));
    // 0.285 and 1.005 sit just below the half in binary; the decimal text is what counts.
    EXPECT_EQ(FormatDecimalText(QStringLiteral("0.285"), 2), QStringLiteral("0.29"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("1.005"), 2), QStringLiteral("1.01"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("9.995"), 2), QStringLiteral("10.00"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("-0.005"), 2), QStringLiteral("-0.01"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("-0.004"), 2), QStringLiteral("0.00"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("0.0049999"), 2), QStringLiteral("0.00"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("000.5"), 0), QStringLiteral("1"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("-2.5"), 0), QStringLiteral("-3"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("1.5e3"), 2), QStringLiteral("1500.00"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("12345e-4"), 2), QStringLiteral("1.23"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("7"), 2), QStringLiteral("7.00"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("1e-999999999"), 2), QStringLiteral("0.00"));
    EXPECT_THROW(FormatDecimalText(QStringLiteral("1e999999999"), 2), EConvertError);
    // Rounding accepts exactly what reading accepts, up to the largest double.
    EXPECT_EQ(FormatDecimalText(QStringLiteral("1.7e308"), 0), QStringLiteral("17") + QString(307, u'0'));
    EXPECT_THROW(FormatDecimalText(QStringLiteral("5.6e308"), 2), EConvertError);
    EXPECT_THROW(TextToFloat(QStringLiteral("5.6e308")), EConvertError);

    // Scaled by a power of ten on the digits: kopecks become roubles without passing through binary.
    EXPECT_EQ(FormatDecimalText(QStringLiteral("123450"), 2, -2), QStringLiteral("1234.50"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("0"), 2, -2), QStringLiteral("0.00"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("5"), 2, -2), QStringLiteral("0.05"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("-7"), 2, -2), QStringLiteral("-0.07"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("12345678901234567"), 2, -2),
              QStringLiteral("123456789012345.67"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("100.5"), 2, -2), QStringLiteral("1.01"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("1.5e3"), 2, -2), QStringLiteral("15.00"));
    EXPECT_EQ(FormatDecimalText(QStringLiteral("12.5"), 0, 2), QStringLiteral("1250"));
    EXPECT_THROW(FormatDecimalText(QStringLiteral("12 345"), 2, -2), EConvertError);
}

// The window and the command line both read amounts through this rule.
TEST(Convert, AmountsTheOperatorTypes)
{
    const std::pair<const char*, const char*> accepted[] = {
        {"12.5", "1250"}, {"12,5", "1250"},  {"1234.56", "123456"},
        {"0", "000"},     {"", ""},          {"10", "1000"},
        {"0.05", "005"},  {" 7 ", "700"},    {"1.500", "150"},
        {"-0", "000"},    {"2e3", "200000"}, {"184467440737095516.15", "18446744073709551615"},
    };
    for (const auto& [typed, kopecks] : accepted)
        EXPECT_EQ(AmountKopecksText(QString::fromUtf8(typed), QStringLiteral("Amount")),
                  QString::fromUtf8(kopecks))
            << typed;

    // Each of these would go out as another amount than the one typed.
    const std::pair<const char*, const char*> refused[] = {
        {"-5", "отрицательная"},
        {"0.001", "доли копейки"},
        {"1.005", "доли копейки"},
        {"184467440737095516.16", "больше"},
        {"12345678901234567890", "больше"},
        {"1,000.50", "не число"},
        {"12 руб.", "не число"},
        {" ", "не число"},
    };
    for (const auto& [typed, reason] : refused) {
        const QString message = Raised<EConvertError>(
            [&] { AmountKopecksText(QString::fromUtf8(typed), QStringLiteral("PartialSumResidualPayt")); });
        EXPECT_TRUE(
            message.startsWith(QStringLiteral("Сумма в поле PartialSumResidualPayt не принята: \"%1\"")
                                   .arg(QString::fromUtf8(typed))))
            << message.toStdString();
        EXPECT_TRUE(message.contains(QString::fromUtf8(reason))) << message.toStdString();
    }
}

TEST(Convert, NumbersInGeneralFormat)
{
    EXPECT_EQ(FloatToText(0.1 + 0.2), QStringLiteral("0.3"));
    EXPECT_EQ(FloatToText(100), QStringLiteral("100"));
    EXPECT_EQ(FloatToText(-2.5), QStringLiteral("-2.5"));
    EXPECT_EQ(FloatToText(-0.0), QStringLiteral("0"));
    EXPECT_EQ(FloatToText(123456789012345.0), QStringLiteral("123456789012345"));
    EXPECT_EQ(FloatToText(1e15), QStringLiteral("1E15"));
    EXPECT_EQ(FloatToText(0.00001), QStringLiteral("0.00001"));
    EXPECT_EQ(FloatToText(0.0000015), QStringLiteral("1.5E-6"));
    EXPECT_EQ(FloatToText(2.0 / 3.0), QStringLiteral("0.666666666666667"));
}

TEST(Convert, DateTimeTexts)
{
    const auto wallClock = [](const QString& text) {
        const QDateTime value = TextToDateTime(text);
        return value.date().toString(Qt::ISODate) + u' ' +
               value.time().toString(QStringLiteral("HH:mm:ss.zzz"));
    };
    EXPECT_EQ(wallClock(QStringLiteral("01.05.2016 10:30:00")), QStringLiteral("2016-05-01 10:30:00.000"));
    EXPECT_EQ(wallClock(QStringLiteral("01.05.2016 10:30")), QStringLiteral("2016-05-01 10:30:00.000"));
    EXPECT_EQ(wallClock(QStringLiteral("1.5.16")), QStringLiteral("2016-05-01 00:00:00.000"));
    EXPECT_EQ(wallClock(QStringLiteral("  05.03.2016   7:05:09.25  ")),
              QStringLiteral("2016-03-05 07:05:09.250"));
    EXPECT_EQ(wallClock(QStringLiteral("29.02.2016 23:59:59.999")),
              QStringLiteral("2016-02-29 23:59:59.999"));

    for (const char* bad : {"",
                            "  ",
                            "31.02.2016",
                            "29.02.2015",
                            "01.13.2016",
                            "00.01.2016",
                            "01.05.2016 25:00",
                            "01.05.2016 24:00",
                            "01.05.2016 10:60",
                            "01.05.2016 10:30:61",
                            "01.05.216",
                            "01.05.20160",
                            "01/05/2016",
                            "2016-05-01",
                            "01.05.2016T10:30",
                            "01.05.2016 10",
                            "01.05.2016 10:30:00.1234",
                            "10:30",
                            "01.05.2016 10:30 x",
                            "01.01.0000"}) {
        const QString text = QString::fromUtf8(bad);
        EXPECT_EQ(Raised<EConvertError>([&] { TextToDateTime(text); }),
                  QStringLiteral("'%1' is not a valid date and time").arg(text))
            << bad;
    }
}

TEST(Convert, XmlDateTimeTexts)
{
    bool zoned = true;
    EXPECT_EQ(XmlTextToDateTime(QStringLiteral("2016-02-01T10:00:00"), &zoned),
              QDateTime(QDate(2016, 2, 1), QTime(10, 0), Qt::UTC));
    EXPECT_FALSE(zoned);
    EXPECT_EQ(XmlTextToDateTime(QStringLiteral(" 2016-02-01 "), &zoned),
              QDateTime(QDate(2016, 2, 1), QTime(0, 0), Qt::UTC));
    EXPECT_FALSE(zoned);

    // A zone makes the moment absolute: the same instant whatever offset it is written with.
    const QDateTime moscow = XmlTextToDateTime(QStringLiteral("2016-02-01T02:30:00.5+03:00"), &zoned);
    EXPECT_TRUE(zoned);
    EXPECT_EQ(moscow.toUTC(), QDateTime(QDate(2016, 1, 31), QTime(23, 30, 0, 500), Qt::UTC));
    EXPECT_EQ(XmlTextToDateTime(QStringLiteral("2016-01-31T23:30:00.500Z")).toUTC(), moscow.toUTC());
    EXPECT_EQ(XmlTextToDateTime(QStringLiteral("2016-01-31T20:00:00.5-03:30")).toUTC(),
              QDateTime(QDate(2016, 1, 31), QTime(23, 30, 0, 500), Qt::UTC));
    EXPECT_EQ(XmlTextToDateTime(QStringLiteral("2016-02-01+05:00")).toUTC(),
              QDateTime(QDate(2016, 1, 31), QTime(19, 0), Qt::UTC));
    // Fractions beyond milliseconds are cut, never rounded into the next second.
    EXPECT_EQ(XmlTextToDateTime(QStringLiteral("2016-02-01T10:00:59.9999")).time(), QTime(10, 0, 59, 999));
    EXPECT_EQ(XmlTextToDateTime(QStringLiteral("2016-12-31T24:00:00")),
              QDateTime(QDate(2017, 1, 1), QTime(0, 0), Qt::UTC));

    for (const char* bad : {"", "2016-02-30T10:00:00", "2016-2-01T10:00:00", "16-02-01", "2016-02-01T10:00",
                            "2016-02-01T25:00:00", "2016-02-01T24:00:01", "2016-02-01T10:00:00.",
                            "2016-02-01T10:00:00+3:00", "2016-02-01T10:00:00+15:00", "2016-02-01T10:00:00 Z",
                            "01.02.2016", "2016-02-01T10:00:00Zx", "0000-01-01"}) {
        const QString text = QString::fromUtf8(bad);
        EXPECT_EQ(Raised<EConvertError>([&] { XmlTextToDateTime(text); }),
                  QStringLiteral("'%1' is not a valid date and time").arg(text))
            << bad;
    }
}

TEST(Convert, DayCounts)
{
    EXPECT_EQ(DateTimeFromDayCount(42491.4375), QDateTime(QDate(2016, 5, 1), QTime(10, 30), Qt::UTC));
    EXPECT_EQ(DateTimeFromDayCount(0), QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(DateTimeFromDayCount(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0), Qt::UTC));
    EXPECT_THROW(DateTimeFromDayCount(1e10), EConvertError);
    EXPECT_THROW(DateTimeFromDayCount(std::nan("")), EConvertError);
}
