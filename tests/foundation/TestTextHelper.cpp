#include "foundation/Exceptions.h"
#include "foundation/TextHelper.h"

#include "support/PrintQt.h"
#include "support/Raised.h"
#include <QRegularExpression>

#include <gtest/gtest.h>

TEST(TextHelper, ItemCodes)
{
    EXPECT_EQ(ItemCode(QStringLiteral("(1) новое")), QStringLiteral("1"));
    EXPECT_EQ(ItemCode(QStringLiteral("(12) x")), QStringLiteral("12"));
    EXPECT_EQ(ItemCode(QStringLiteral("(A) (B)")), QStringLiteral("A"));
    EXPECT_EQ(ItemCode(QStringLiteral("() x")), QString());
    EXPECT_EQ(ItemCode(QStringLiteral("новое")), QString());
    EXPECT_EQ(ItemCode(QStringLiteral(" (1) новое")), QString());
    EXPECT_EQ(ItemCode(QStringLiteral("(1 без скобки")), QString());
}

TEST(TextHelper, IndexOfCodeAndText)
{
    const QStringList status{QStringLiteral("(1) новое"), QStringLiteral("(2) уточнение"),
                             QStringLiteral("(3) аннулирование")};
    EXPECT_EQ(IndexOfCode(status, QStringLiteral("3"), 7), 2);
    EXPECT_EQ(IndexOfCode(status, QStringLiteral("0"), 7), 0);
    EXPECT_EQ(IndexOfCode(status, QStringLiteral("-1"), 7), -1);
    EXPECT_EQ(IndexOfCode(status, QStringLiteral("9"), 7), 7);
    EXPECT_EQ(IndexOfCode(status, QStringLiteral("abc"), 7), 7);
    EXPECT_EQ(IndexOfCode(status, QString(), 7), 7);
    EXPECT_EQ(IndexOfCode(status, QStringLiteral("99999999999999999999"), 7), 7);
    // A position below "no selection" is no selection, not a position.
    EXPECT_EQ(IndexOfCode(status, QStringLiteral("-5"), 7), -1);
    // A code match wins over reading the value as a position.
    const QStringList codes{QStringLiteral("(2) a"), QStringLiteral("(0) b")};
    EXPECT_EQ(IndexOfCode(codes, QStringLiteral("0"), 7), 1);

    EXPECT_EQ(IndexOfText(status, QStringLiteral("(2) УТОЧНЕНИЕ"), 5), 1);
    EXPECT_EQ(IndexOfText(status, QStringLiteral("(2)"), 5), 5);
}

TEST(TextHelper, SmallTextHelpers)
{
    const QString a = QStringLiteral("a"), b = QStringLiteral("b"), sep = QStringLiteral(", ");
    EXPECT_EQ(JoinNonEmpty(sep, a, b), QStringLiteral("a, b"));
    EXPECT_EQ(JoinNonEmpty(sep, a, QString()), a);
    EXPECT_EQ(JoinNonEmpty(sep, QString(), b), b);

    // Names of the state systems match in any ASCII case, but look-alike letters do not pass.
    EXPECT_TRUE(SameAsciiText(u"ResULT", QLatin1StringView("RESULT")));
    EXPECT_TRUE(SameAsciiText(u"smev-100", u"SMEV-100"));
    EXPECT_FALSE(SameAsciiText(u"RE\u017FULT", QLatin1StringView("RESULT"))); // long s
    EXPECT_FALSE(SameAsciiText(u"\u212Aey", u"key"));                         // Kelvin sign
    EXPECT_FALSE(SameAsciiText(u"Result", u"Results"));
    EXPECT_FALSE(SameAsciiText(u"ДА", u"да")); // only ASCII letters fold

    EXPECT_TRUE(EndsWithText(QStringLiteral("Pay.TXT"), QStringLiteral(".txt")));
    EXPECT_TRUE(EndsWithText(QStringLiteral("ОТЧЁТ"), QStringLiteral("чёт")));
    EXPECT_FALSE(EndsWithText(QStringLiteral("t"), QStringLiteral(".txt")));
    EXPECT_FALSE(EndsWithText(QStringLiteral("Pay.txt.bak"), QStringLiteral(".txt")));
    EXPECT_TRUE(EndsWithText(QString(), QString()));
    // An empty ending matches any text, an unset one included (a control never filled in).
    EXPECT_TRUE(EndsWithText(QString(), QStringLiteral("")));
    EXPECT_TRUE(EndsWithText(QStringLiteral("x"), QString()));

    EXPECT_TRUE(IsDigits(QString()));
    EXPECT_FALSE(IsDigits(QStringLiteral("SABRRUMM")));
    EXPECT_FALSE(IsDigits(QStringLiteral("12 3")));
    EXPECT_FALSE(IsDigits(QStringLiteral("١٢٣"))); // digits of another script are not "0" to "9"
}

TEST(TextHelper, LineBreaks)
{
    EXPECT_EQ(EncodeLineBreaks(QStringLiteral("a\r\nb\nc")), QStringLiteral("a#13#10b#10c"));
    EXPECT_EQ(DecodeLineBreaks(QStringLiteral("a#13#10b#10c")), QStringLiteral("a\r\nb\nc"));
    // What the operator typed as "#13" becomes a line break on the way back: the format cannot tell.
    EXPECT_EQ(DecodeLineBreaks(QStringLiteral("№#13")), QStringLiteral("№\r"));
    const QString memo = QStringLiteral("Оплата\r\nпо счёту\n№ 5");
    EXPECT_EQ(DecodeLineBreaks(EncodeLineBreaks(memo)), memo);
}

TEST(TextHelper, IdentifierSources)
{
    IdentifierSource ids;
    EXPECT_EQ(ids.NextIdSuffix(), QStringLiteral("00001"));
    EXPECT_EQ(ids.NextIdSuffix(), QStringLiteral("00002"));
    IdentifierSource fromA(0xA);
    EXPECT_EQ(fromA.NextIdSuffix(), QStringLiteral("0000B"));
    IdentifierSource wide(0xFFFFE);
    EXPECT_EQ(wide.NextIdSuffix(), QStringLiteral("FFFFF"));
    EXPECT_EQ(wide.NextIdSuffix(), QStringLiteral("100000"));

    const QRegularExpression guidForm(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    const QString first = ids.NewGuidText();
    const QString second = ids.NewGuidText();
    EXPECT_TRUE(guidForm.match(first).hasMatch()) << first.toStdString();
    EXPECT_TRUE(guidForm.match(second).hasMatch()) << second.toStdString();
    EXPECT_NE(first, second);

    const IdentifierSource fixed(
        0, [] { return QUuid(QStringLiteral("{6ba7b810-9dad-11d1-80b4-00c04fd430c8}")); });
    EXPECT_EQ(fixed.NewGuidText(), QStringLiteral("6BA7B810-9DAD-11D1-80B4-00C04FD430C8"));
}
