#include "foundation/XmlHelper.h"

#include "support/PrintQt.h"
#include "support/Raised.h"
#include "support/TimeZoneScope.h"

#include <gtest/gtest.h>

namespace {

XmlNode rootOf(const char* xml)
{
    return XmlDocument::parse(QByteArray(xml)).documentElement();
}

} // namespace

TEST(XmlHelper, WrapTags)
{
    const QString open = QStringLiteral("<rev:Code>"), close = QStringLiteral("</rev:Code>");
    EXPECT_EQ(WrapTag(open, QStringLiteral("A&amp;B"), close, false),
              QStringLiteral("<rev:Code>A&amp;B</rev:Code>"));
    EXPECT_EQ(WrapTag(open, QString(), close, false), QString());
    EXPECT_EQ(WrapTag(open, QString(), close, true), QStringLiteral("<rev:Code></rev:Code>"));
    EXPECT_EQ(WrapTagList(open, QStringLiteral("A;B"), close, false),
              QStringLiteral("<rev:Code>A</rev:Code><rev:Code>B</rev:Code>"));
    EXPECT_EQ(WrapTagList(open, QString(), close, false), QString());
    EXPECT_EQ(WrapTagList(open, QString(), close, true), QStringLiteral("<rev:Code></rev:Code>"));
    EXPECT_EQ(WrapTagList(open, QStringLiteral("A;;B"), close, false),
              QStringLiteral("<rev:Code>A</rev:Code><rev:Code>B</rev:Code>"));
}

TEST(XmlHelper, WrapTagListSplitsTheTypedTextNotItsEntities)
{
    const QString open = QStringLiteral("<c>"), close = QStringLiteral("</c>");
    // Splitting the escaped text gives what splitting the typed text and escaping each part gives.
    const QString typed = QStringLiteral("A&B;<x>;C\rD;;&;E&amp;F");
    QString expected;
    for (const QString& part : typed.split(u';'))
        expected += WrapTag(open, XmlEscapeText(part), close, false);
    EXPECT_EQ(WrapTagList(open, XmlEscapeText(typed), close, false), expected);
    EXPECT_EQ(expected.toStdString(),
              "<c>A&amp;B</c><c>&lt;x&gt;</c><c>C&#xD;D</c><c>&amp;</c><c>E&amp;amp</c><c>F</c>");
    // A ";" right after an entity still separates.
    EXPECT_EQ(WrapTagList(open, QStringLiteral("&lt;;&gt;"), close, false),
              QStringLiteral("<c>&lt;</c><c>&gt;</c>"));
    EXPECT_EQ(WrapTagList(open, QStringLiteral(";"), close, false), QString());
    EXPECT_EQ(WrapTagList(open, QStringLiteral(";"), close, true), QStringLiteral("<c></c><c></c>"));
}

TEST(XmlHelper, AttributeValuesTakeTheCanonicalAttributeForm)
{
    const QString typed = QStringLiteral("a&b<c>d\"e'f\tg\nh\ri Ж");
    const QString canonical = QStringLiteral("a&amp;b&lt;c>d&quot;e'f&#x9;g&#xA;h&#xD;i Ж");
    EXPECT_EQ(XmlAttributeText(typed), canonical);
    // From element text to attribute text gives the same as from the typed text.
    EXPECT_EQ(XmlTextToAttributeText(XmlEscapeText(typed)), canonical);
    EXPECT_EQ(XmlAttributeText(QStringLiteral("&amp;")), QStringLiteral("&amp;amp;"));
    EXPECT_EQ(XmlTextToAttributeText(QStringLiteral("1")), QStringLiteral("1"));
}

TEST(XmlHelper, EscapingIsTheCanonicalTextForm)
{
    EXPECT_EQ(XmlEscapeText(QStringLiteral("a&b<c>d\re\nf\"g'h\ti&amp;")),
              QStringLiteral("a&amp;b&lt;c&gt;d&#xD;e\nf\"g'h\ti&amp;amp;"));
    EXPECT_EQ(XmlValueText(QStringLiteral("ООО \"Рога & Копыта\"")),
              QStringLiteral("ООО \"Рога &amp; Копыта\""));
    EXPECT_EQ(XmlValueText(FieldValue()), QString());
    EXPECT_EQ(XmlValueText(2.5), QStringLiteral("2.5"));
    EXPECT_EQ(XmlValueText(QDateTime(QDate(2016, 5, 1), QTime(10, 30))),
              QStringLiteral("2016-05-01T10:30:00.000Z"));
}

TEST(XmlHelper, Amounts)
{
    EXPECT_EQ(XmlAmountText(QStringLiteral("1234.565")), QStringLiteral("123457"));
    EXPECT_EQ(XmlAmountText(QStringLiteral("99999999999999.99")), QStringLiteral("9999999999999999"));
    EXPECT_EQ(XmlAmountText(QStringLiteral("1234.5")), QStringLiteral("123450"));
    EXPECT_EQ(XmlAmountText(QStringLiteral("-12.5")), QStringLiteral("-1250"));
    EXPECT_EQ(XmlAmountText(QStringLiteral("0")), QStringLiteral("000"));
    EXPECT_EQ(XmlAmountText(QStringLiteral("0.05")), QStringLiteral("005"));
    EXPECT_EQ(XmlAmountText(QStringLiteral("10")), QStringLiteral("1000"));
    EXPECT_EQ(XmlAmountText(QString()), QString());
    EXPECT_EQ(XmlAmountText(FieldValue()), QString());
    EXPECT_EQ(XmlAmountText(12.5), QStringLiteral("1250"));
    EXPECT_EQ(XmlAmountText(0.285), QStringLiteral("029"));
    EXPECT_EQ(XmlAmountText(0), QStringLiteral("000"));
    EXPECT_EQ(Raised<EConvertError>([] { XmlAmountText(QStringLiteral("12 руб.")); }),
              QStringLiteral("'12 руб.' is not a valid floating point value"));
    EXPECT_THROW(XmlAmountText(QStringLiteral(" ")), EConvertError);
    EXPECT_THROW(XmlAmountText(QDateTime(QDate(2016, 5, 1), QTime(10, 30))), EConvertError);
}

TEST(XmlHelper, WholeNumbers)
{
    EXPECT_EQ(XmlIntegerText(0), QString());
    EXPECT_EQ(XmlIntegerText(QStringLiteral("0")), QStringLiteral("0"));
    EXPECT_EQ(XmlIntegerText(12), QStringLiteral("12"));
    EXPECT_EQ(XmlIntegerText(QStringLiteral(" 2016 ")), QStringLiteral("2016"));
    EXPECT_EQ(XmlIntegerText(QStringLiteral("2.5")), QStringLiteral("3"));
    EXPECT_EQ(XmlIntegerText(QStringLiteral("-2.5")), QStringLiteral("-3"));
    EXPECT_EQ(XmlIntegerText(QStringLiteral("12345678901234567890")), QStringLiteral("12345678901234567890"));
    EXPECT_EQ(XmlIntegerText(QString()), QString());
    EXPECT_THROW(XmlIntegerText(QStringLiteral("десять")), EConvertError);
}

TEST(XmlHelper, DatesAndTimesAreWrittenAsTheWallClockShows)
{
    EXPECT_EQ(XmlDateTimeText(QStringLiteral("01.05.2016 10:30:00")),
              QStringLiteral("2016-05-01T10:30:00.000Z"));
    EXPECT_EQ(XmlDateTimeText(QStringLiteral("01.05.2016 10:30")),
              QStringLiteral("2016-05-01T10:30:00.000Z"));
    EXPECT_EQ(XmlDateTimeText(QStringLiteral("1.2.2016")), QStringLiteral("2016-02-01T00:00:00.000Z"));
    EXPECT_EQ(XmlDateTimeText(QDateTime()), QString());
    EXPECT_EQ(XmlDateTimeText(FieldValue(QDateTime())), QString());
    EXPECT_EQ(XmlDateTimeText(QString()), QString());
    EXPECT_EQ(XmlDateText(QStringLiteral("05.03.2016 23:59:59")), QStringLiteral("2016-03-05"));
    EXPECT_EQ(XmlDateText(QDate(2016, 3, 5)), QStringLiteral("2016-03-05"));
    EXPECT_EQ(XmlDateText(QString()), QString());
    EXPECT_EQ(Raised<EConvertError>([] { XmlDateText(QStringLiteral("31.02.2016")); }),
              QStringLiteral("'31.02.2016' is not a valid date and time"));

    for (const char* zone : {"Europe/Berlin", "America/New_York", "Asia/Vladivostok"}) {
        const TimeZoneScope tz(zone);
        EXPECT_EQ(XmlDateTimeText(QStringLiteral("01.05.2016 10:30:00")),
                  QStringLiteral("2016-05-01T10:30:00.000Z"))
            << zone;
        // The operation time, a local date-time, is not shifted either.
        EXPECT_EQ(XmlDateTimeText(QDateTime(QDate(2016, 5, 1), QTime(10, 30, 5, 7), Qt::LocalTime)),
                  QStringLiteral("2016-05-01T10:30:05.007Z"))
            << zone;
    }
    // A time that the local clock skips at the spring change is still written as typed.
    const TimeZoneScope berlin("Europe/Berlin");
    EXPECT_EQ(XmlDateTimeText(QStringLiteral("27.03.2016 02:30")),
              QStringLiteral("2016-03-27T02:30:00.000Z"));
}

TEST(XmlHelper, PaymentSystemIdentifiers)
{
    const QString bik = QStringLiteral("44525225"); // eight digits: one "0" goes in front
    const QString expected = QStringLiteral("1") + QStringLiteral("044525225") + QStringLiteral("000001") +
                             QStringLiteral("01022016") + QStringLiteral("00000007");
    EXPECT_EQ(MakePaymentSystemIdentifier(bik, QStringLiteral("1"), QStringLiteral("01.02.2016 10:00:00"),
                                          QStringLiteral("7")),
              expected);
    EXPECT_EQ(expected.size(), 32);
    EXPECT_EQ(MakePaymentSystemIdentifier(bik, 1, QDate(2016, 2, 1), 7), expected);
    EXPECT_EQ(MakePaymentSystemIdentifier(bik, 1, 42401.5, 7), expected);
    EXPECT_EQ(MakePaymentSystemIdentifier(bik, QStringLiteral("1"), QString(), QStringLiteral("7")),
              QStringLiteral("1044525225000001") + QString(8, u'0') + QStringLiteral("00000007"));
    EXPECT_EQ(MakePaymentSystemIdentifier(QStringLiteral("0445252251"), QStringLiteral("1234567"), QString(),
                                          QStringLiteral("123456789")),
              QStringLiteral("1") + QStringLiteral("0445252251") + QStringLiteral("1234567") +
                  QString(8, u'0') + QStringLiteral("123456789"));
    EXPECT_EQ(MakePaymentSystemIdentifier(QStringLiteral("<&>"), QString(), QString(), QString()),
              QStringLiteral("1000000&lt;&amp;&gt;") + QString(22, u'0'));
    EXPECT_THROW(MakePaymentSystemIdentifier(bik, 1, QStringLiteral("2016-02-01"), 7), EConvertError);
}

TEST(XmlHelper, PathLookupIgnoresPrefixesAndLetterCase)
{
    const XmlNode envelope = rootOf("<soap:Envelope xmlns:soap='urn:soap'><soap:Header/>"
                                    "<SOAP:BODY xmlns:SOAP='urn:soap'><ns2:fault xmlns:ns2='urn:x'>"
                                    "<faultcode>first</faultcode><faultcode>second</faultcode></ns2:fault>"
                                    "</SOAP:BODY></soap:Envelope>");
    const XmlNode fault = FindNodeByPath(envelope, QStringLiteral("Body\\Fault"), true);
    ASSERT_FALSE(fault.isNull());
    EXPECT_EQ(fault.name(), QStringLiteral("ns2:fault"));
    EXPECT_EQ(FindNodeByPath(envelope, QStringLiteral("body/FAULT\\FaultCode"), true).text(),
              QStringLiteral("first"));
    EXPECT_EQ(FindNodeByPath(envelope, QStringLiteral("Body\\"), true).localName(), QStringLiteral("BODY"));
    EXPECT_EQ(FindNodeByPath(envelope, QString(), true), envelope);
    EXPECT_TRUE(FindNodeByPath(envelope, QStringLiteral("Body\\Detail\\x"), false).isNull());
    EXPECT_TRUE(FindNodeByPath(XmlNode(), QStringLiteral("Body"), false).isNull());

    EXPECT_EQ(
        Raised<EXMLException>([&] { FindNodeByPath(envelope, QStringLiteral("Body\\Detail\\x"), true); }),
        QStringLiteral("Узел Detail не найден."));
    EXPECT_EQ(Raised<EXMLException>([&] { FindNodeByPath(XmlNode(), QStringLiteral("Body\\Fault"), true); }),
              QStringLiteral("Узел Body\\Fault не найден."));
    // Text is not an element, whatever its node is called inside the parser.
    const XmlNode leaf = FindNodeByPath(envelope, QStringLiteral("Body\\Fault\\faultcode"), true);
    EXPECT_TRUE(FindNodeByPath(leaf, QStringLiteral("text"), false).isNull());
}

TEST(XmlHelper, FlattenedLines)
{
    QStringList lines{QStringLiteral("kept")};
    FlattenNode(rootOf("<a x='1'><b>t</b><c><d>u</d></c></a>"), lines, QString());
    EXPECT_EQ(lines, QStringList({QStringLiteral("kept"), QStringLiteral("x=1"), QStringLiteral("b=t"),
                                  QStringLiteral("c\\d=u")}));

    lines.clear();
    FlattenNode(rootOf("<only>текст &amp; знак</only>"), lines, QString());
    EXPECT_EQ(lines, QStringList{QStringLiteral("=текст & знак")});

    // Namespace declarations are no lines; prefixed names give their local names; excluded
    // names are skipped at any depth whatever their case and prefix; a comment or processing
    // instruction inside a value does not split it.
    const char* compact = "<ch:Charge xmlns:ch='urn:c' xmlns:ds='urn:ds' ch:id='7' supplierBillID='188'>"
                          "<ch:Payee><ch:Name>ООО &lt;Ромашка&gt;</ch:Name><ds:Signature><ds:V>s</ds:V>"
                          "</ds:Signature></ch:Payee><ch:Empty/><ch:Blank> </ch:Blank>"
                          "<ch:Note><![CDATA[a<b]]></ch:Note></ch:Charge>";
    const char* pretty =
        "<ch:Charge xmlns:ch='urn:c' xmlns:ds='urn:ds' ch:id='7' supplierBillID='188'>\n"
        "  <ch:Payee>\n    <ch:Name>ООО &lt;Ром<!-- split? -->ашка<?pi?>&gt;</ch:Name>\n    <ds:Signature>\n"
        "      <ds:V>s</ds:V>\n    </ds:Signature>\n  </ch:Payee>\n  <!-- note -->\n"
        "  <ch:Empty/>\n  <ch:Blank> </ch:Blank>\n"
        "  <ch:Note><![CDATA[a<b]]></ch:Note>\n</ch:Charge>\n";
    const QStringList expected{QStringLiteral("id=7"), QStringLiteral("supplierBillID=188"),
                               QStringLiteral("Payee\\Name=ООО <Ромашка>"), QStringLiteral("Blank= "),
                               QStringLiteral("Note=a<b")};
    QStringList fromCompact;
    FlattenNode(rootOf(compact), fromCompact, QStringLiteral("SIGNATURE;"));
    EXPECT_EQ(fromCompact, expected);
    QStringList fromPretty;
    FlattenNode(rootOf(pretty), fromPretty, QStringLiteral("signature"));
    EXPECT_EQ(fromPretty, expected);

    QStringList withSignature;
    FlattenNode(rootOf(compact), withSignature, QString());
    EXPECT_TRUE(withSignature.contains(QStringLiteral("Payee\\Signature\\V=s")));
}
