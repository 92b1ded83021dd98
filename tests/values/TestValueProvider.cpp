#include "values/ValueProvider.h"

#include "support/PrintQt.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

namespace {

// Controls as a table: unset texts are empty, unset lists have nothing selected.
class FakeControls final : public IControlReader {
  public:
    std::map<QString, QString> texts;
    std::map<QString, int> indexes;

    QString ControlText(const QString& name) const override
    {
        const auto it = texts.find(name);
        return it == texts.end() ? QString() : it->second;
    }
    int ControlIndex(const QString& name) const override
    {
        const auto it = indexes.find(name);
        return it == indexes.end() ? -1 : it->second;
    }
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
    // The message of the exception E raised for `name`, or a note that none was raised.
    template <class E> QString Failure(const QString& name, TValuesType type)
    {
        try {
            Value(name, type);
        } catch (const E& e) {
            return e.message();
        }
        return QStringLiteral("<no exception>");
    }
};

using enum TValuesType;
const TValuesType AllTypes[] = {vtGISGMPPayment, vtGISGMPCharges,  vtGISGKXPayment,
                                vtGISGKXCancel,  vtGISGKXGetState, vtGISGKXCharges};

TEST_F(ValueProvider, KeysMatchAsciiCaseInsensitivelyAndUnknownKeysNameThemselves)
{
    controls.texts["edSMEVCode"] = "SMEV01";
    for (const char* spelling : {"SenderCode", "sendercode", "SENDERCODE", "sEnDeRcOdE"})
        EXPECT_EQ(Value(spelling, vtGISGKXCharges), "SMEV01") << spelling;

    // The name as the caller spelled it, between literal angle brackets.
    EXPECT_EQ(Failure<EUnknownValue>("packageId", vtGISGMPCharges), "Не определено значение для <packageId>");
    EXPECT_EQ(Failure<EUnknownValue>("NoSuchKey", vtGISGMPPayment), "Не определено значение для <NoSuchKey>");
    EXPECT_EQ(Failure<EUnknownValue>("", vtGISGMPPayment), "Не определено значение для <>");
    // Only ASCII letters fold: the Kelvin sign is not a "K".
    EXPECT_EQ(Failure<EUnknownValue>(QStringLiteral("\u212ABK"), vtGISGMPPayment),
              QStringLiteral("Не определено значение для <\u212ABK>"));
    EXPECT_EQ(Value("kbk", vtGISGMPPayment), "");

    // A control holding only "?" is no value at all, whatever the rendering.
    controls.texts["edSMEVCode"] = "?";
    controls.texts["edPayerName"] = "?";
    EXPECT_EQ(Failure<EUnknownValue>("SenderCode", vtGISGMPPayment),
              "Не определено значение для <SenderCode>");
    EXPECT_EQ(Failure<EUnknownValue>("PayerName", vtGISGMPPayment), "Не определено значение для <PayerName>");
    controls.texts["edPayerName"] = "??";
    EXPECT_EQ(Value("PayerName", vtGISGMPPayment), "??");
}

TEST_F(ValueProvider, EachKeyResolvesOnlyUnderItsOperations)
{
    // Where each key has a source; every other operation must refuse it.
    const std::map<QString, std::set<TValuesType>> owners = {
        {"MessageStatus", {std::begin(AllTypes), std::end(AllTypes)}},
        {"SenderIdentifier", {vtGISGMPPayment, vtGISGMPCharges}},
        {"payment-organization-guid", {vtGISGKXPayment, vtGISGKXCancel, vtGISGKXGetState, vtGISGKXCharges}},
        {"PackageID", {vtGISGMPPayment}},
        {"PaymentSystemIdentifier", {vtGISGMPPayment}},
        {"ExportRequestKind", {vtGISGMPCharges}},
        {"SupplierBillID", {vtGISGMPPayment, vtGISGMPCharges}},
        {"PaymentDocumentID", {vtGISGKXPayment, vtGISGKXCharges}},
        {"OrderID", {vtGISGKXPayment, vtGISGKXCancel}},
        {"Comment", {vtGISGKXPayment, vtGISGKXCancel}},
        {"TransportGUID", {vtGISGKXPayment, vtGISGKXCancel}},
        {"CancellationDate", {vtGISGKXCancel}},
        {"MessageGUID", {vtGISGKXGetState}},
        {"LegalINN", {vtGISGKXCharges}},
    };
    for (const auto& [name, types] : owners)
        for (TValuesType type : AllTypes) {
            SCOPED_TRACE(name.toStdString() + " under " + std::to_string(int(type)));
            if (types.contains(type))
                EXPECT_NO_THROW(Value(name, type));
            else
                EXPECT_THROW(Value(name, type), EUnknownValue);
        }

    // The routing differs by target system.
    EXPECT_EQ(Value("RecipientCode", vtGISGMPCharges), "RKZN35001");
    EXPECT_EQ(Value("ExchangeType", vtGISGMPPayment), "6");
    EXPECT_EQ(Value("RecipientCode", vtGISGKXGetState), "MNSV10000");
    EXPECT_EQ(Value("ExchangeType", vtGISGKXCancel), "2");
}

TEST_F(ValueProvider, AmountsAreWholeKopecksAndBadNumbersNameTheirText)
{
    for (const auto& [typed, expected] :
         std::map<QString, QString>{{"1234.5", "123450"}, {"0", "000"}, {"", ""}, {"10", "1000"}}) {
        controls.texts["edAmount"] = typed;
        controls.texts["edAmount2"] = typed;
        controls.texts["edPartialSumResidualPayt"] = typed;
        EXPECT_EQ(Value("Amount", vtGISGMPPayment), expected) << typed.toStdString();
        EXPECT_EQ(Value("PartialSumResidualPayt", vtGISGMPPayment), expected);
        EXPECT_EQ(Value("Amount", vtGISGKXPayment), expected);
    }
    controls.texts["edAmount"] = "12,50";
    EXPECT_TRUE(Failure<EConvertError>("Amount", vtGISGMPPayment).contains("12,50"));
    controls.texts["edAcptTerm"] = "5 дней";
    EXPECT_TRUE(Failure<EConvertError>("AcptTerm", vtGISGMPPayment).contains("5 дней"));
    controls.texts["edAcptTerm"] = "0";
    EXPECT_EQ(Value("AcptTerm", vtGISGMPPayment), "0");
}

TEST_F(ValueProvider, DatesComeFromTheOperationClockAndFromTypedTexts)
{
    state.ExecuteDateTime = QDateTime(QDate(2016, 2, 1), QTime(10, 0, 5, 42));
    state.Today = QDate(2016, 2, 1);
    EXPECT_EQ(Value("MessageDate", vtGISGKXCharges), "2016-02-01T10:00:05.042Z");
    EXPECT_EQ(Value("RequestMessageDate", vtGISGMPCharges), "2016-02-01T10:00:05.042Z");
    EXPECT_EQ(Value("CancellationDate", vtGISGKXCancel), "2016-02-01");
    state.ExecuteDateTime = QDateTime();
    EXPECT_EQ(Value("MessageDate", vtGISGMPPayment), "");

    controls.texts["edPaymentDate"] = "01.05.2016 10:30:00";
    controls.texts["edReceiptDate"] = "02.05.2016";
    controls.texts["edOrderDate"] = "05.03.2016";
    EXPECT_EQ(Value("PaymentDate", vtGISGMPPayment), "2016-05-01T10:30:00.000Z");
    EXPECT_EQ(Value("ReceiptDate", vtGISGMPPayment), "2016-05-02");
    EXPECT_EQ(Value("MaturityDate", vtGISGMPPayment), "");
    EXPECT_EQ(Value("OrderDate", vtGISGKXPayment), "2016-03-05");

    controls.texts["edAccDocDate"] = "31.02.2016";
    EXPECT_TRUE(Failure<EConvertError>("AccDocDate", vtGISGMPPayment).contains("31.02.2016"));
    controls.texts["edOrderDate"] = "вчера";
    EXPECT_TRUE(Failure<EConvertError>("OrderID", vtGISGKXCancel).contains("вчера"));
}

TEST_F(ValueProvider, MonthIsTheItemPositionAndNoSelectionIsEmpty)
{
    controls.indexes["cbChargeSearchType2"] = 2;
    controls.indexes["cbOrderType"] = 2;
    for (const auto& [index, expected] : std::map<int, QString>{{-1, ""}, {0, ""}, {1, "1"}, {12, "12"}}) {
        controls.indexes["cbMonth"] = index;
        controls.indexes["cbMonth2"] = index;
        EXPECT_EQ(Value("Month", vtGISGKXCharges), expected) << index;
        EXPECT_EQ(Value("month", vtGISGKXPayment), expected) << index;
    }
    controls.texts["cbYear"] = "2017";
    EXPECT_EQ(Value("Year", vtGISGKXCharges), "2017");
    EXPECT_EQ(Value("Year", vtGISGKXPayment), "");
}

// Each search or order value with the types under which it applies; under the others it is empty.
struct Filtered {
    const char* key;
    const char* control;
    std::set<int> kinds;
};

TEST_F(ValueProvider, SearchAndOrderTypesFilterTheirValues)
{
    const std::vector<Filtered> charges = {{"SupplierBillID", "edSupplierBillID", {0, 1}},
                                           {"PayerIdentifier", "edPayerIdentifiers", {0, 2}}};
    const std::vector<Filtered> details = {{"PaymentDocumentID", "edPaymentDocumentID", {0, 1}},
                                           {"Year", "cbYear", {0, 2, 3, 4}},
                                           {"UnifiedAccountNumber", "edUnifiedAccountNumber", {0, 2}},
                                           {"FIASHouseGuid", "edFIASHouseGuid", {0, 3}},
                                           {"PaymentDocumentNumber", "edPaymentDocumentNumber", {0, 3}},
                                           {"AccountNumber", "edAccountNumber", {0, 3}},
                                           {"ServiceID", "edServiceID", {0, 4}},
                                           {"LegalKPP", "edLegalKPP", {0, 1, 2, 3, 4}}};
    const std::vector<Filtered> orders = {{"PaymentDocumentID", "cbPaymentDocumentID", {0, 1}},
                                          {"PaymentDocumentNumber", "edPaymentDocumentNumber2", {0, 3}},
                                          {"Year", "cbYear2", {0, 2, 4, 5, 6}},
                                          {"UnifiedAccountNumber", "edUnifiedAccountNumber2", {0, 2}},
                                          {"FIASHouseGuid", "edFIASHouseGuid2", {0, 6}},
                                          {"ConsumerINN", "edConsumerINN", {0, 6}},
                                          {"ServiceID", "edServiceID2", {0, 5}},
                                          {"AccountNumber", "edAccountNumber2", {0, 4}},
                                          {"OrderNum", "edOrderNum", {0, 1, 2, 3, 4, 5, 6}}};
    const struct {
        TValuesType type;
        const char* selector;
        int kinds;
        const std::vector<Filtered>& rows;
    } tabs[] = {{vtGISGMPCharges, "cbChargeSearchType", 3, charges},
                {vtGISGKXCharges, "cbChargeSearchType2", 5, details},
                {vtGISGKXPayment, "cbOrderType", 7, orders}};

    for (const auto& tab : tabs)
        for (const Filtered& row : tab.rows)
            controls.texts[row.control] = "2020"; // a year, a number and a text alike
    for (const auto& tab : tabs)
        for (int kind = -1; kind < tab.kinds; ++kind) {
            controls.indexes[tab.selector] = kind; // no selection counts as the empty type
            for (const Filtered& row : tab.rows) {
                const bool applies = row.kinds.contains(std::max(kind, 0));
                EXPECT_EQ(Value(row.key, tab.type), applies ? "2020" : "")
                    << row.key << " under " << tab.selector << " = " << kind;
            }
        }
}

TEST_F(ValueProvider, CodesAndBankIdentifiersAreTakenApart)
{
    controls.texts["edPayeeBankBIK"] = "044525225";
    EXPECT_EQ(Value("PayeeBankBIK", vtGISGMPPayment), "044525225");
    EXPECT_EQ(Value("PayeeBankSWIFT", vtGISGMPPayment), "");
    controls.texts["edPayeeBankBIK"] = "SABRRUMM";
    EXPECT_EQ(Value("PayeeBankBIK", vtGISGMPPayment), "");
    EXPECT_EQ(Value("PayeeBankSWIFT", vtGISGMPPayment), "SABRRUMM");

    controls.texts["cbChangeStatus"] = "(3) аннулирование";
    controls.texts["cbPaytCondition"] = "(2) требуется получение акцепта плательщика";
    EXPECT_EQ(Value("ChangeStatus", vtGISGMPPayment), "3");
    EXPECT_EQ(Value("PaytCondition", vtGISGMPPayment), "2");
    controls.texts["cbChangeStatus"] = "новое";
    controls.texts["cbPaytCondition"] = "";
    EXPECT_EQ(Value("ChangeStatus", vtGISGMPPayment), "");
    EXPECT_EQ(Value("PaytCondition", vtGISGMPPayment), "");

    controls.indexes["cbChargeKind"] = 2;
    EXPECT_EQ(Value("ExportRequestKind", vtGISGMPCharges), "CHARGESTATUS");
    controls.indexes["cbChargeKind"] = -1;
    EXPECT_EQ(Value("ExportRequestKind", vtGISGMPCharges), "CHARGE");
    state.PagingPageLength = 0;
    state.PagingPageNumber = 3;
    EXPECT_EQ(Value("PagingPageLength", vtGISGMPCharges), "");
    EXPECT_EQ(Value("PagingPageNumber", vtGISGMPCharges), "3");
}

TEST_F(ValueProvider, IdentifiersAreComposedFromTheTabFields)
{
    controls.texts["edPaymentBankBIK"] = "44525225";
    controls.texts["edSubSystem"] = "1";
    controls.texts["edPaymentDate"] = "01.02.2016 09:15:00";
    controls.texts["edPaymentDayNumber"] = "7";
    EXPECT_EQ(Value("PaymentSystemIdentifier", vtGISGMPPayment), "1"
                                                                 "044525225"
                                                                 "000001"
                                                                 "01022016"
                                                                 "00000007");

    controls.texts["edSubSystem2"] = "12";
    controls.texts["edOrderDate"] = "05.03.2016";
    controls.texts["edOrderNum"] = "7";
    EXPECT_EQ(Value("OrderID", vtGISGKXPayment), "120000000000"
                                                 "05032016"
                                                 "000000000007");
    EXPECT_EQ(Value("OrderID", vtGISGKXCancel), Value("OrderID", vtGISGKXPayment));

    const QRegularExpression guid("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
    const QString entity = Value("EntityID", vtGISGMPPayment);
    ASSERT_TRUE(entity.startsWith("A_"));
    EXPECT_TRUE(guid.match(entity.mid(2)).hasMatch()) << entity.toStdString();
    EXPECT_NE(Value("EntityID", vtGISGMPPayment), entity);
    for (TValuesType type : {vtGISGKXPayment, vtGISGKXCancel}) {
        const QString transport = Value("TransportGUID", type);
        EXPECT_TRUE(guid.match(transport).hasMatch()) << transport.toStdString();
        EXPECT_NE(Value("TransportGUID", type), transport);
    }
}

TEST_F(ValueProvider, TypedTextsAreEscapedExceptTheAttributeValue)
{
    const QString typed = "A&B <C>\r\nD";
    const QString escaped = "A&amp;B &lt;C&gt;&#xD;\nD";
    for (const char* control : {"edSMEVCode", "edName", "edGISGMPCode", "edPackage", "edPackage2",
                                "edPayerName", "edSubSystem", "edSubSystem2", "edOrderNum"})
        controls.texts[control] = typed;
    EXPECT_EQ(Value("SenderCode", vtGISGMPPayment), escaped);
    EXPECT_EQ(Value("SenderName", vtGISGKXCancel), escaped);
    EXPECT_EQ(Value("PackageID", vtGISGMPPayment), escaped);
    EXPECT_EQ(Value("MessageGUID", vtGISGKXGetState), escaped);
    EXPECT_EQ(Value("PayerName", vtGISGMPPayment), escaped);
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
