// The provider's own rules, over a table of control texts. The window-driven cases are in
// tests/app/TestWindowValues.cpp.
#include "values/ValueProvider.h"

#include "support/PrintQt.h"
#include "support/Raised.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

namespace {

using enum TValuesType;

class FakeControls final : public IControlReader {
  public:
    std::map<QString, QString> texts; // unset: empty
    std::map<QString, int> indexes;   // unset: no selection

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
    IdentifierSource identifiers;
    TValuesState state = [this] {
        TValuesState initial;
        initial.Identifiers = &identifiers;
        return initial;
    }();

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

TEST_F(ValueProvider, EachKeyResolvesOnlyUnderTheOperationsOfItsGroup)
{
    // Key, then the operations (by position in TValuesType) under which it has a source.
    const std::pair<const char*, const char*> keys[] = {
        {"MessageDate", "012345"},   {"SenderIdentifier", "01"},
        {"RecipientCode", "012345"}, {"payment-organization-guid", "2345"},
        {"EntityID", "0"},           {"PackageID", "0"},
        {"ExportRequestKind", "1"},  {"PagingPageNumber", "1"},
        {"IndividualSurname", "5"},  {"SupplierID", "2"},
        {"OrderID", "23"},           {"TransportGUID", "23"},
        {"CancellationDate", "3"},   {"Comment", "23"},
        {"MessageGUID", "4"},        {"SupplierBillID", "01"},
        {"PaymentDocumentID", "25"}, {"Amount", "02"},
    };
    for (const auto& [key, types] : keys)
        for (int type = 0; type < 6; ++type) {
            const bool resolves = QByteArray(types).contains(char('0' + type));
            try {
                Value(QLatin1String(key), TValuesType(type));
                EXPECT_TRUE(resolves) << key << " resolved under " << type;
            } catch (const EUnknownValue&) {
                EXPECT_FALSE(resolves) << key << " has no source under " << type;
            }
        }
    // The routing of the two state systems.
    EXPECT_EQ(Value("RecipientCode", vtGISGMPCharges), "RKZN35001");
    EXPECT_EQ(Value("RecipientCode", vtGISGKXGetState), "MNSV10000");
    EXPECT_EQ(Value("ExchangeType", vtGISGMPPayment), "6");
    EXPECT_EQ(Value("ExchangeType", vtGISGKXCharges), "2");
    // One key, different fields per tab.
    controls.texts["edChangeStatusReason2"] = "reason";
    controls.texts["mmComment"] = "comment";
    EXPECT_EQ(Value("Comment", vtGISGKXCancel), "reason");
    EXPECT_EQ(Value("Comment", vtGISGKXPayment), "comment");
}

// Every row that a search or order type restricts, with the type positions under which it has a
// value; rows of "all" are checked to stay filled under every type.
TEST_F(ValueProvider, SearchAndOrderTypesFilterEveryRestrictedRow)
{
    struct Row {
        const char* key;
        const char* control;
        const char* types;
    };
    const struct {
        TValuesType type;
        const char* selector;
        int count;
        std::vector<Row> rows;
    } tabs[] = {
        {vtGISGMPCharges,
         "cbChargeSearchType",
         3,
         {{"SupplierBillID", "edSupplierBillID", "01"}, {"PayerIdentifier", "edPayerIdentifiers", "02"}}},
        {vtGISGKXCharges,
         "cbChargeSearchType2",
         5,
         {{"PaymentDocumentID", "edPaymentDocumentID", "01"},
          {"Year", "cbYear", "0234"},
          {"UnifiedAccountNumber", "edUnifiedAccountNumber", "02"},
          {"FIASHouseGuid", "edFIASHouseGuid", "03"},
          {"PaymentDocumentNumber", "edPaymentDocumentNumber", "03"},
          {"AccountNumber", "edAccountNumber", "03"},
          {"ServiceID", "edServiceID", "04"},
          {"IndividualSurname", "edIndividualSurname", "01234"},
          {"IndividualFirstName", "edIndividualFirstName", "01234"},
          {"IndividualPatronymic", "edIndividualPatronymic", "01234"},
          {"LegalINN", "edLegalINN", "01234"},
          {"LegalKPP", "edLegalKPP", "01234"}}},
        {vtGISGKXPayment,
         "cbOrderType",
         7,
         {{"PaymentDocumentID", "cbPaymentDocumentID", "01"},
          {"PaymentDocumentNumber", "edPaymentDocumentNumber2", "03"},
          {"Year", "cbYear2", "02456"},
          {"UnifiedAccountNumber", "edUnifiedAccountNumber2", "02"},
          {"FIASHouseGuid", "edFIASHouseGuid2", "06"},
          {"HouseApartment", "edHouseApartment", "06"},
          {"HousePlacement", "edHousePlacement", "06"},
          {"ConsumerSurname", "edConsumerSurname", "06"},
          {"ConsumerFirstName", "edConsumerFirstName", "06"},
          {"ConsumerPatronymic", "edConsumerPatronymic", "06"},
          {"ConsumerINN", "edConsumerINN", "06"},
          {"ServiceID", "edServiceID2", "05"},
          {"AccountNumber", "edAccountNumber2", "04"},
          {"SupplierName", "edSupplierName", "0123456"},
          {"PaymentRecipient", "mmPaymentRecipient", "0123456"},
          {"PaymentPurpose", "mmPaymentPurpose", "0123456"}}},
    };
    for (const auto& tab : tabs) {
        for (const Row& row : tab.rows)
            controls.texts[row.control] = "2017";
        // No selection reads as the empty first item: no restriction.
        for (int selected = -1; selected < tab.count; ++selected) {
            controls.indexes[tab.selector] = selected;
            const char position = char('0' + std::max(selected, 0));
            for (const Row& row : tab.rows)
                EXPECT_EQ(Value(QLatin1String(row.key), tab.type),
                          QByteArray(row.types).contains(position) ? "2017" : "")
                    << row.key << " at " << selected;
        }
    }
    // The month is the item position of its list under the same filter.
    controls.indexes["cbMonth"] = 12;
    controls.indexes["cbChargeSearchType2"] = 1;
    EXPECT_EQ(Value("Month", vtGISGKXCharges), "");
    controls.indexes["cbChargeSearchType2"] = 3;
    EXPECT_EQ(Value("Month", vtGISGKXCharges), "12");
    controls.indexes["cbMonth2"] = 1;
    controls.indexes["cbOrderType"] = 6;
    EXPECT_EQ(Value("Month", vtGISGKXPayment), "1");
    controls.indexes["cbOrderType"] = 3;
    EXPECT_EQ(Value("Month", vtGISGKXPayment), "");
}

TEST_F(ValueProvider, PagingAndChargeKindOfTheChargesRequest)
{
    EXPECT_EQ(Value("PagingPageLength", vtGISGMPCharges), "");
    EXPECT_EQ(Value("PagingPageNumber", vtGISGMPCharges), "");
    state.PagingPageLength = 100;
    state.PagingPageNumber = 2147483647;
    EXPECT_EQ(Value("PagingPageLength", vtGISGMPCharges), "100");
    EXPECT_EQ(Value("PagingPageNumber", vtGISGMPCharges), "2147483647");
    EXPECT_EQ(Value("ExportRequestKind", vtGISGMPCharges), "CHARGE");
    controls.indexes["cbChargeKind"] = 2;
    EXPECT_EQ(Value("ExportRequestKind", vtGISGMPCharges), "CHARGESTATUS");
    for (const char* key : {"TimeslotStartDate", "TimeslotEndDate", "PayeeID", "TaxpayerINN", "TaxpayerKPP",
                            "KBKClassifier", "OKTMOClassifier", "ExcludeUIN"})
        EXPECT_EQ(Value(QLatin1String(key), vtGISGMPCharges), "") << key;
}

} // namespace
