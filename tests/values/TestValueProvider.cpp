// The provider's own rules, over a table of control texts. The window-driven cases are in
// tests/app/TestWindowValues.cpp.
#include "values/ValueProvider.h"

#include "support/PrintQt.h"
#include "support/Raised.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using enum TValuesType;

class FakeControls final : public IControlReader {
  public:
    std::map<QString, QString> texts; // unset: empty

    QString ControlText(const QString& name) const override
    {
        const auto it = texts.find(name);
        return it == texts.end() ? QString() : it->second;
    }
    int ControlIndex(const QString&) const override { return -1; }
};

class ValueProvider : public ::testing::Test {
  protected:
    FakeControls controls;
    TValuesState state;

    QString Value(const QString& name, TValuesType type)
    {
        state.ValuesType = type;
        return GetFieldValue(name, controls, state);
    }
    template <class E> QString Failure(const QString& name, TValuesType type)
    {
        return Raised<E>([&] { Value(name, type); });
    }
};

TEST_F(ValueProvider, OnlyAsciiLettersFoldAndUnknownKeysNameThemselves)
{
    EXPECT_EQ(Value("kbk", vtGISGMPPayment), "");
    // The Kelvin sign folds to "k" in Unicode, but no key was spelled with it.
    EXPECT_EQ(Failure<EUnknownValue>(QStringLiteral("\u212ABK"), vtGISGMPPayment),
              QStringLiteral("Не определено значение для <\u212ABK>"));
    EXPECT_EQ(Failure<EUnknownValue>("senderIdentifier", vtGISGKXPayment),
              "Не определено значение для <senderIdentifier>");
    controls.texts["edPayerName"] = "?";
    EXPECT_EQ(Failure<EUnknownValue>("PayerName", vtGISGMPPayment), "Не определено значение для <PayerName>");
}

TEST_F(ValueProvider, DatesComeFromTheOperationAndABadOrderDateNamesItself)
{
    state.ExecuteDateTime = QDateTime(QDate(2016, 2, 1), QTime(10, 0, 5, 42));
    EXPECT_EQ(Value("MessageDate", vtGISGKXCharges), "2016-02-01T10:00:05.042Z");
    state.ExecuteDateTime = QDateTime();
    EXPECT_EQ(Value("MessageDate", vtGISGMPPayment), "");

    controls.texts["edOrderDate"] = "вчера";
    EXPECT_TRUE(Failure<EConvertError>("OrderID", vtGISGKXCancel).contains("вчера"));
}

TEST_F(ValueProvider, TypedTextsAreEscapedExceptTheAttributeValue)
{
    const QString typed = "A&B <C>\r\nD";
    const QString escaped = "A&amp;B &lt;C&gt;&#xD;\nD";
    for (const char* control : {"edSMEVCode", "edName", "edGISGMPCode", "edPackage", "edPackage2",
                                "edSubSystem", "edSubSystem2", "edOrderNum"})
        controls.texts[control] = typed;
    EXPECT_EQ(Value("SenderCode", vtGISGMPPayment), escaped);
    EXPECT_EQ(Value("SenderName", vtGISGKXCancel), escaped);
    EXPECT_EQ(Value("PackageID", vtGISGMPPayment), escaped);
    EXPECT_EQ(Value("MessageGUID", vtGISGKXGetState), escaped);
    EXPECT_EQ(Value("SenderIdentifier", vtGISGMPCharges), typed);
    // Padded by the characters typed, escaped afterwards.
    EXPECT_EQ(Value("PaymentSystemIdentifier", vtGISGMPPayment), "1000000000" + escaped + "0000000000000000");
    EXPECT_EQ(Value("OrderID", vtGISGKXPayment), escaped + "00" + "00000000" + "00" + escaped);
}

TEST_F(ValueProvider, CharactersXmlCannotCarryAreRefused)
{
    for (const QString& bad :
         {QStringLiteral("a\u000Bb"), QStringLiteral("\u0001"), QStringLiteral("x\uFFFE"),
          QStringLiteral("\uFFFF"), QString(QChar(0xD800)) + "x", QString(QChar(0xDC00)),
          "x" + QString(QChar(0xD83D))}) {
        controls.texts["edPayerName"] = bad;
        controls.texts["edGISGMPCode"] = bad;
        EXPECT_EQ(Failure<EInvalidValue>("PayerName", vtGISGMPPayment),
                  "Недопустимый символ в значении <PayerName>");
        EXPECT_EQ(Failure<EInvalidValue>("senderidentifier", vtGISGMPCharges),
                  "Недопустимый символ в значении <senderidentifier>");
    }
    controls.texts["edPayerName"] = QStringLiteral("\t\u00E9\U0001F600\uFFFD");
    EXPECT_EQ(Value("PayerName", vtGISGMPPayment), controls.texts["edPayerName"]);
}

} // namespace
