#include "support/SampleForms.h"

#include <memory>

namespace {

void AddHeader(FakeSoapValues& form)
{
    form.set("SenderCode", "BANK01001")
        .set("SenderName", "АО \"Тестовый банк\"")
        .set("OriginatorCode", "")
        .set("OriginatorName", "")
        .set("TypeCode", "GFNC")
        .set("MessageStatus", "REQUEST");
}

} // namespace

FakeSoapValues GisGmpHeaderForm()
{
    FakeSoapValues form;
    AddHeader(form);
    form.set("RecipientCode", "RKZN35001")
        .set("RecipientName", "Казначейство России")
        .set("ServiceName", "GISGMP")
        .set("ExchangeType", "6")
        .set("MessageDate", "2016-02-01T10:00:00.000Z")
        .set("RequestMessageDate", "2016-02-01T10:00:00.000Z")
        .set("SenderIdentifier", "1a2b3c");
    return form;
}

FakeSoapValues GisGmpPaymentForm()
{
    FakeSoapValues form = GisGmpHeaderForm();
    form.set("EntityID", "A_5A8D3B2E-1111-4C3D-9E8F-0123456789AB")
        .set("SupplierBillID", "18810177140814735891")
        .set("Narrative", "Оплата штрафа по постановлению № 18810177140814735891")
        .set("Amount", "150000")
        .set("PaymentDate", "2016-02-01T10:00:00.000Z")
        .set("ReceiptDate", "2016-02-01")
        .set("BudgetStatus", "01")
        .set("BudgetPurpose", "0")
        .set("BudgetTaxPeriod", "0")
        .set("BudgetTaxDocNumber", "0")
        .set("BudgetTaxDocDate", "0")
        .set("BudgetPaymentType", "")
        .set("PaymentBankName", "ПАО Тестбанк")
        .set("PaymentBankBIK", "044525225")
        .set("PaymentBankCorrAccount", "30101810400000000225")
        .set("PaymentSystemIdentifier", "10445252250000010102201600000007")
        .set("AccDocNo", "123")
        .set("AccDocDate", "2016-02-01")
        .set("PayerIdentifier", "1010000000000123456789643")
        .set("PayerName", "Иванов Иван Иванович")
        .set("PayeeName", "УФК по г. Москве (ГУ МВД России по г. Москве)")
        .set("PayeeINN", "7707089101")
        .set("PayeeKPP", "770731005")
        .set("PayeeBankAcc", "40101810800000010041")
        .set("PayeeBankName", "Отделение 1 Москва")
        .set("PayeeBankBIK", "044583001")
        .set("PayeeBankSWIFT", "")
        .set("PayeeBankCorrAccount", "")
        .set("ChangeStatus", "1")
        .set("ChangeStatusReason", "")
        .set("KBK", "18811630020016000140")
        .set("TransKind", "01")
        .set("TransContent", "")
        .set("PaytCondition", "")
        .set("AcptTerm", "")
        .set("MaturityDate", "")
        .set("DocDispatchDate", "")
        .set("PartialPaytNo", "")
        .set("PartialTransKind", "")
        .set("PartialSumResidualPayt", "")
        .set("PartialAccDocNo", "")
        .set("PartialAccDocDate", "")
        .set("Priority", "5")
        .set("OKTMO", "45383000")
        .set("PackageID", "A1B2C3D4-0000-1111-2222-333344445555");
    return form;
}

FakeSoapValues GisGmpChargesForm()
{
    FakeSoapValues form = GisGmpHeaderForm();
    form.set("ExportRequestKind", "CHARGE")
        .set("SupplierBillID", "18810177140814735891")
        .set("PayerIdentifier", "1010000000000123456789643;27708010001770801001")
        .set("TimeslotStartDate", "")
        .set("TimeslotEndDate", "")
        .set("PayeeID", "")
        .set("TaxpayerINN", "")
        .set("TaxpayerKPP", "")
        .set("KBKClassifier", "")
        .set("OKTMOClassifier", "")
        .set("ExcludeUIN", "")
        .set("PagingPageLength", "")
        .set("PagingPageNumber", "");
    return form;
}

FakeSoapValues GisGkxHeaderForm()
{
    FakeSoapValues form;
    AddHeader(form);
    form.set("RecipientCode", "MNSV10000")
        .set("RecipientName", "Государственная информационная система жилищно-коммунального хозяйства")
        .set("ServiceName", "GISGKX")
        .set("ExchangeType", "2")
        .set("MessageDate", "2016-03-05T12:30:00.000Z")
        .set("RequestMessageDate", "2016-03-05T12:30:00.000Z")
        .set("payment-organization-guid", "7d3a9c1e-5f2b-4e8a-b6c4-1a2b3c4d5e6f");
    return form;
}

FakeSoapValues GisGkxDetailsForm()
{
    FakeSoapValues form = GisGkxHeaderForm();
    form.set("PaymentDocumentID", "")
        .set("Year", "2016")
        .set("Month", "3")
        .set("UnifiedAccountNumber", "00АА000001")
        .set("FIASHouseGuid", "")
        .set("PaymentDocumentNumber", "")
        .set("AccountNumber", "")
        .set("ServiceID", "")
        .set("IndividualSurname", "Петров")
        .set("IndividualFirstName", "Пётр")
        .set("IndividualPatronymic", "Петрович")
        .set("LegalINN", "")
        .set("LegalKPP", "");
    return form;
}

FakeSoapValues GisGkxPaymentForm()
{
    FakeSoapValues form = GisGkxHeaderForm();
    form.set("SupplierID", "27701234567770101001")
        .set("SupplierName", "ООО \"УК Дом\"")
        .set("RecipientINN", "7701234567")
        .set("EntprRecipientSurname", "")
        .set("EntprRecipientFirstName", "")
        .set("EntprRecipientPatronymic", "")
        .set("LegalRecipientKPP", "770101001")
        .set("LegalRecipientName", "ООО \"УК Дом\"")
        .set("PaymentRecipientINN", "7701234567")
        .set("PaymentRecipientKPP", "770101001")
        .set("PaymentBankName", "ПАО Тестбанк")
        .set("PaymentRecipient", "ООО \"УК Дом\"")
        .set("PaymentBankBIK", "044525225")
        .set("PaymentOperatingAccountNumber", "40702810938000000001")
        .set("PaymentCorrespondentBankAccount", "30101810400000000225")
        .set("OrderID", "12000000000005032016000000000007")
        .set("OrderDate", "2016-03-05")
        .set("OrderNum", "7")
        .set("Amount", "123450")
        .set("PaymentPurpose", "Оплата ЖКУ за февраль 2016")
        .set("Comment", "")
        .set("PaymentDocumentID", "")
        .set("PaymentDocumentNumber", "")
        .set("Year", "2016")
        .set("Month", "2")
        .set("UnifiedAccountNumber", "00АА000001")
        .set("FIASHouseGuid", "5d8a1c2b-3e4f-4a5b-8c6d-7e8f9a0b1c2d")
        .set("HouseApartment", "15")
        .set("HousePlacement", "")
        .set("ConsumerSurname", "Петров")
        .set("ConsumerFirstName", "Пётр")
        .set("ConsumerPatronymic", "")
        .set("ConsumerINN", "")
        .set("ServiceID", "")
        .set("AccountNumber", "");
    auto counter = std::make_shared<int>(0);
    form.setGenerator("TransportGUID", [counter] {
        return QStringLiteral("00000000-0000-4000-8000-%1").arg(++*counter, 12, 10, QLatin1Char('0'));
    });
    return form;
}

FakeSoapValues GisGkxCancelForm()
{
    FakeSoapValues form = GisGkxHeaderForm();
    form.set("OrderID", "12000000000005032016000000000007")
        .set("CancellationDate", "2016-03-06")
        .set("Comment", "Ошибочный платёж");
    auto counter = std::make_shared<int>(0);
    form.setGenerator("TransportGUID", [counter] {
        return QStringLiteral("00000000-0000-4000-8000-%1").arg(++*counter, 12, 10, QLatin1Char('0'));
    });
    return form;
}

FakeSoapValues GisGkxStateForm()
{
    FakeSoapValues form = GisGkxHeaderForm();
    form.set("MessageGUID", "E4F5A6B7-C8D9-4E0F-A1B2-C3D4E5F6A7B8");
    return form;
}
