// The window as the builders see it: the operator fills the fields, the operation kind is picked,
// and values are asked for by name.
#include "TestWindow.h"
#include "app/WindowControls.h"

#include "values/ValueProvider.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>

namespace {

using enum TValuesType;
const TValuesType AllTypes[] = {vtGISGMPPayment, vtGISGMPCharges,  vtGISGKXPayment,
                                vtGISGKXCancel,  vtGISGKXGetState, vtGISGKXCharges};

class WindowValues : public ::testing::Test {
  protected:
    // The session's clock: the system's while empty.
    std::function<QDateTime()> clock;
    TestWindow window{TestWindowSetup().session([this](SessionOptions& options) {
        options.clock = [this] { return clock ? clock() : QDateTime::currentDateTime(); };
    })};

    // Sets the text of an edit, a memo or an editable list.
    void Type(const char* name, const QString& text)
    {
        QWidget* field = window.control<QWidget>(name);
        if (auto* memo = qobject_cast<QPlainTextEdit*>(field))
            memo->setPlainText(text);
        else if (auto* combo = qobject_cast<QComboBox*>(field))
            combo->setEditText(text);
        else
            qobject_cast<QLineEdit*>(field)->setText(text);
    }
    void Pick(const char* name, int index) { window.control<QComboBox>(name)->setCurrentIndex(index); }
    void Pick(const char* name, const QString& item)
    {
        const int index = window.control<QComboBox>(name)->findText(item);
        ASSERT_GE(index, 0) << item.toStdString();
        Pick(name, index);
    }
    QString Value(const QString& name, TValuesType type)
    {
        // The values as an operation of the window reads them.
        const WindowControls controls(*window.get());
        SilentOperationSink reports;
        OperationRunner runner(window.session().inputs(ClientSettings()), controls, reports);
        runner.setValuesType(type);
        return runner.GetFieldValue(name);
    }
};

TEST_F(WindowValues, EveryKeyOfEveryOperationReadsControlsTheWindowHas)
{
    for (TValuesType type : AllTypes) {
        QStringList folded;
        for (const QString& key : ValueKeys(type)) {
            folded << key.toLower();
            try {
                Value(key, type);
            } catch (const std::exception& e) {
                ADD_FAILURE() << key.toStdString() << ": " << e.what();
            }
        }
        // A second source of one key would never be reached.
        EXPECT_EQ(folded.removeDuplicates(), 0) << int(type);
    }
}

TEST_F(WindowValues, NamesInAnyCaseAndNamesWithoutSource)
{
    Type("edSMEVCode", "ABCD01");
    EXPECT_EQ(Value("sendercode", vtGISGKXPayment), "ABCD01");
    EXPECT_EQ(Value("SENDERCODE", vtGISGMPPayment), "ABCD01");
    try {
        Value("PackageID", vtGISGMPCharges);
        ADD_FAILURE() << "PackageID has no source for charges";
    } catch (const EUnknownValue& e) {
        EXPECT_EQ(e.message(), "Не определено значение для <PackageID>");
    }
    Type("edSMEVCode", "?");
    EXPECT_THROW(Value("SenderCode", vtGISGMPPayment), EUnknownValue);
}

TEST_F(WindowValues, AmountsMonthsCodesAndBanksFromTheFields)
{
    for (const auto& [typed, kopecks] : {std::pair{"1234.5", "123450"}, {"0", "000"}, {"", ""}}) {
        Type("edAmount", typed);
        Type("edAmount2", typed);
        EXPECT_EQ(Value("Amount", vtGISGMPPayment), kopecks) << typed;
        EXPECT_EQ(Value("Amount", vtGISGKXPayment), kopecks) << typed;
    }
    Type("edAmount", "12,50");
    EXPECT_EQ(Value("Amount", vtGISGMPPayment), "1250");
    Type("edAmount", "-5");
    EXPECT_THROW(Value("Amount", vtGISGMPPayment), EConvertError);

    // The window opens on payment by document identifier, which carries no month; by account it does.
    Pick("cbOrderType", 2);
    for (const auto& [month, number] : {std::pair{"Январь", "1"}, {"Декабрь", "12"}, {"", ""}}) {
        Pick("cbMonth2", month);
        EXPECT_EQ(Value("Month", vtGISGKXPayment), number) << month;
    }
    Pick("cbMonth2", -1);
    EXPECT_EQ(Value("Month", vtGISGKXPayment), "");

    Pick("cbChangeStatus", "(3) аннулирование");
    Pick("cbPaytCondition", "(2) требуется получение акцепта плательщика");
    EXPECT_EQ(Value("ChangeStatus", vtGISGMPPayment), "3");
    EXPECT_EQ(Value("PaytCondition", vtGISGMPPayment), "2");
    Pick("cbPaytCondition", "");
    EXPECT_EQ(Value("PaytCondition", vtGISGMPPayment), "");

    Type("edPayeeBankBIK", "044525225");
    EXPECT_EQ(Value("PayeeBankBIK", vtGISGMPPayment) + "|" + Value("PayeeBankSWIFT", vtGISGMPPayment),
              "044525225|");
    Type("edPayeeBankBIK", "SABRRUMM");
    EXPECT_EQ(Value("PayeeBankBIK", vtGISGMPPayment) + "|" + Value("PayeeBankSWIFT", vtGISGMPPayment),
              "|SABRRUMM");
}

TEST_F(WindowValues, TheSearchAndOrderTypesOnScreenFilterTheValues)
{
    // Per tab: "key:field:types under which it has a value"; every field holds the same number.
    const std::tuple<TValuesType, const char*, QString> tabs[] = {
        {vtGISGMPCharges, "cbChargeSearchType",
         "SupplierBillID:edSupplierBillID:01 "
         "PayerIdentifier:edPayerIdentifiers:02"},
        {vtGISGKXCharges, "cbChargeSearchType2",
         "PaymentDocumentID:edPaymentDocumentID:01 UnifiedAccountNumber:edUnifiedAccountNumber:02 "
         "FIASHouseGuid:edFIASHouseGuid:03 AccountNumber:edAccountNumber:03 ServiceID:edServiceID:04 "
         "Year::0234 Month::0234 LegalKPP:edLegalKPP:01234"},
        {vtGISGKXPayment, "cbOrderType",
         "PaymentDocumentID:cbPaymentDocumentID:01 PaymentDocumentNumber:edPaymentDocumentNumber2:03 "
         "UnifiedAccountNumber:edUnifiedAccountNumber2:02 AccountNumber:edAccountNumber2:04 "
         "ServiceID:edServiceID2:05 ConsumerINN:edConsumerINN:06 Year::02456 Month::02456 "
         "OrderNum:edOrderNum:0123456"},
    };
    Pick("cbYear", "2020");
    Pick("cbYear2", "2020");
    Pick("cbMonth", 12);
    Pick("cbMonth2", 12);
    for (const auto& [type, selector, rows] : tabs) {
        for (const QString& row : rows.split(u' '))
            if (const QString field = row.section(u':', 1, 1); !field.isEmpty())
                Type(field.toLatin1().constData(), row.startsWith("Month") ? "12" : "2020");
        for (int k = 0; k < window.control<QComboBox>(selector)->count(); ++k) {
            Pick(selector, k);
            for (const QString& row : rows.split(u' ')) {
                const QString key = row.section(u':', 0, 0);
                const QString value = key == "Month" ? "12" : "2020";
                EXPECT_EQ(Value(key, type), row.section(u':', 2).contains(QString::number(k)) ? value : "")
                    << row.toStdString() << " at " << k;
            }
        }
    }
}

TEST_F(WindowValues, IdentifiersMemosGuidsAndTheClock)
{
    Type("edPaymentBankBIK", "44525225");
    Type("edSubSystem", "1");
    Type("edPaymentDate", "01.02.2016 10:00:00");
    Type("edPaymentDayNumber", "7");
    EXPECT_EQ(Value("PaymentSystemIdentifier", vtGISGMPPayment), "1"
                                                                 "044525225"
                                                                 "000001"
                                                                 "01022016"
                                                                 "00000007");
    Type("edSubSystem2", "12");
    Type("edOrderDate", "05.03.2016");
    Type("edOrderNum", "7");
    EXPECT_EQ(Value("OrderID", vtGISGKXCancel), "120000000000"
                                                "05032016"
                                                "000000000007");

    // Each line of a memo ends in CR LF, and the CR travels as a character reference.
    Type("mmNarrative", "Оплата\nпо счёту <5> & пени");
    EXPECT_EQ(Value("Narrative", vtGISGMPPayment), "Оплата&#xD;\nпо счёту &lt;5&gt; &amp; пени");

    const QRegularExpression guid("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$");
    const QString entity = Value("EntityID", vtGISGMPPayment);
    EXPECT_TRUE(entity.startsWith("A_") && guid.match(entity.mid(2)).hasMatch()) << entity.toStdString();
    EXPECT_NE(Value("EntityID", vtGISGMPPayment), entity);
    for (TValuesType type : {vtGISGKXPayment, vtGISGKXCancel}) {
        const QString transport = Value("TransportGUID", type);
        EXPECT_TRUE(guid.match(transport).hasMatch()) << transport.toStdString();
        EXPECT_NE(Value("TransportGUID", type), transport);
    }

    clock = [] { return QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59)); };
    const QString cancellation = Value("CancellationDate", vtGISGKXCancel);
    EXPECT_EQ(cancellation, "2024-12-31");
}

} // namespace
