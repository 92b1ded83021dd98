#include "values/ResultDisplay.h"

#include "foundation/Exceptions.h"

#include "support/PrintQt.h"
#include "support/TimeZoneScope.h"

#include <gtest/gtest.h>

namespace {

QStringList Labelled(TRecordTable table, QStringList lines)
{
    LabelRecordLines(table, lines);
    return lines;
}

QStringList Lines(std::initializer_list<const char*> texts)
{
    QStringList lines;
    for (const char* text : texts)
        lines << QString::fromUtf8(text);
    return lines;
}

} // namespace

TEST(ResultDisplay, ChargeLinesGetLabelsAndReadableValues)
{
    EXPECT_EQ(
        Labelled(TRecordTable::rtCharges,
                 Lines({"supplierBillID=18810123456789012345", "TotalAmount=123450", "AmountToPay=0",
                        "BillFor=Штраф = 500 руб.", "SupplierOrgInfo\\Account\\Bank\\BIK=044525000",
                        "QuittanceWithPaymentStatus=1", "QuittanceWithPaymentStatus=7", "IsRevoked=true",
                        "IsRevoked=FALSE", "IsRevoked=1", "Payer\\payerIdentifier=1010000000003745000643",
                        "totalamount=5", "TotalAmount=", "no separator here", "=orphan value"})),
        Lines({"УИН=18810123456789012345", "Сумма=1234.50", "Остаток=0.00",
               // only the first "=" separates the name; the rest belongs to the value
               "Назначение=Штраф = 500 руб.", "БИК=044525000", "Статус квитирования=1 (сквитировано)",
               "Статус квитирования=7", "Аннулировано=Да", "Аннулировано=Нет", "Аннулировано=1",
               "Payer\\payerIdentifier=1010000000003745000643", "Сумма=0.05", "Сумма=", "no separator here",
               "=orphan value"}));

    // Charge paths are exact: the same name deeper in the record is something else, and only ASCII
    // letters are compared without case (a Kelvin sign is no "K").
    const QStringList unmatched =
        Lines({"Payer\\TotalAmount=100", "SupplierOrgInfo\\Name\\x=1", "\u212ABK=1"});
    EXPECT_EQ(Labelled(TRecordTable::rtCharges, unmatched), unmatched);
}

TEST(ResultDisplay, ChargeDatesAreShownInUtcAndRevocationInLocalTime)
{
    const TimeZoneScope yekaterinburg("<+05>-5");
    EXPECT_EQ(
        Labelled(TRecordTable::rtCharges,
                 Lines({"billDate=2016-02-01T10:30:05.250+03:00", "billDate=2016-02-01T02:00:00+03:00",
                        "ValidUntil=2016-03-01T00:00:00Z", "ValidUntil=2016-03-01",
                        "billDate=", "IsRevoked\\date=2016-02-01T10:00:00Z",
                        "IsRevoked\\date=2016-02-01T19:00:00Z", "IsRevoked\\date=2016-02-01T10:00:00"})),
        Lines({"Дата начисления=01.02.2016 7:30:05", "Дата начисления=31.01.2016 23:00:00",
               // exactly midnight: the time is left out
               "Актуальность начисления=01.03.2016", "Актуальность начисления=01.03.2016",
               "Дата начисления=", "Дата аннулирования=01.02.2016 15:00:00", "Дата аннулирования=02.02.2016",
               // without a zone the time is taken as it stands
               "Дата аннулирования=01.02.2016 10:00:00"}));
}

TEST(ResultDisplay, PaymentDocumentLinesMatchExactOrBySuffix)
{
    EXPECT_EQ(
        Labelled(TRecordTable::rtPaymentDocuments,
                 Lines({"PaymentDocumentNumber=77", "ConsumerInformation\\address\\city=Вологда",
                        "Charge\\ExecutorInformation\\INN=3525000000",
                        "a\\b\\ExecutorInformation\\PaymentInformation\\BankBIK=041909644",
                        "ExecutorInformation\\INN=3525000001", "Charge\\PaymentDocumentDetails\\Debt=100",
                        "PaymentDocumentDetails\\Debt=123456", "PaymentDocumentDetails\\Reminder=123456",
                        "X\\ErrorMessage\\ErrorCode=INT002000", "Year=2017", "Month=2", "Charge\\Year=2017",
                        "TotalAmount=100", "PaymentDocumentDetails\\debt="})),
        Lines({"Номер платежного документа=77", "Город=Вологда", "ИНН исполнителя=3525000000",
               "БИК банка получателя=041909644", "ИНН исполнителя=3525000001",
               "Charge\\PaymentDocumentDetails\\Debt=100", "Задолженность=1234.56", "Остаток к оплате=123456",
               "ОШИБКА: Код=INT002000", "Год=2017", "Месяц=2", "Charge\\Year=2017",
               // a charge path means nothing in a payment document
               "TotalAmount=100", "Задолженность="}));

    // ...and a payment document path means nothing in a charge.
    EXPECT_EQ(Labelled(TRecordTable::rtCharges, Lines({"PaymentDocumentNumber=77", "Year=2017"})),
              Lines({"PaymentDocumentNumber=77", "Year=2017"}));
}

TEST(ResultDisplay, NothingIsLabelledWithoutATable)
{
    const QStringList lines = Lines({"TotalAmount=123450", "IsRevoked=true"});
    EXPECT_EQ(Labelled(TRecordTable::rtNone, lines), lines);
}

TEST(ResultDisplay, ValuesThatDoNotReadRaiseTheConversionError)
{
    // The caller's list is rewritten up to the faulty line; the window shows none of it.
    QStringList lines = Lines({"KBK=18811630020016000140", "TotalAmount=12,50", "AmountToPay=1"});
    try {
        LabelRecordLines(TRecordTable::rtCharges, lines);
        FAIL() << "no conversion error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("'12,50' is not a valid floating point value"));
    }
    EXPECT_EQ(lines, Lines({"КБК=18811630020016000140", "TotalAmount=12,50", "AmountToPay=1"}));

    EXPECT_THROW(Labelled(TRecordTable::rtCharges, Lines({"billDate=01.02.2016"})), EConvertError);
    EXPECT_THROW(Labelled(TRecordTable::rtPaymentDocuments, Lines({"PaymentDocumentDetails\\Debt=x"})),
                 EConvertError);
}

TEST(ResultDisplay, RecordBlocksCarryANumberedHeadingAndAnEmptyLine)
{
    EXPECT_EQ(RecordBlockText(1, Lines({"Сумма=1.00", "КБК=1"})),
              QStringLiteral("Начисление #1\nСумма=1.00\nКБК=1\n"));
    EXPECT_EQ(RecordBlockText(12, {}), QStringLiteral("Начисление #12\n"));
}
