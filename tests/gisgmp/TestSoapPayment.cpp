#include "foundation/CryptHelper.h"
#include "foundation/TextHelper.h"
#include "gisgmp/SoapPayment.h"
#include "smev/SmevEnvelope.h"
#include "support/GoldenText.h"
#include "support/LoopbackHttpServer.h"
#include "support/MessageAssertions.h"
#include "support/SampleForms.h"
#include "support/TestKeys.h"
#include "support/TestTimeStampAuthority.h"
#include "tsp/TimeStamp.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <utility>

#include <openssl/ts.h>

namespace {

const QString Signer = QStringLiteral("signer");

QString Golden(const char* name)
{
    return QStringLiteral(ZELVAN_TEST_FOLDER) + QStringLiteral("/golden/") + QLatin1String(name);
}

// Every occurrence of the pattern's first capture, in order.
QStringList Captures(const QString& text, const QString& pattern)
{
    QStringList found;
    auto it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext())
        found.append(it.next().captured(1));
    return found;
}

const QStringList HeaderKeys{"SenderCode",     "SenderName",     "RecipientCode", "RecipientName",
                             "OriginatorCode", "OriginatorName", "ServiceName",   "TypeCode",
                             "MessageStatus",  "MessageDate",    "ExchangeType"};

const QStringList PaymentKeys{"EntityID",
                              "SupplierBillID",
                              "Narrative",
                              "Amount",
                              "PaymentDate",
                              "ReceiptDate",
                              "BudgetStatus",
                              "BudgetPurpose",
                              "BudgetTaxPeriod",
                              "BudgetTaxDocNumber",
                              "BudgetTaxDocDate",
                              "BudgetPaymentType",
                              "PaymentBankName",
                              "PaymentBankBIK",
                              "PaymentBankCorrAccount",
                              "PaymentSystemIdentifier",
                              "AccDocNo",
                              "AccDocDate",
                              "PayerIdentifier",
                              "PayerName",
                              "PayeeName",
                              "PayeeINN",
                              "PayeeKPP",
                              "PayeeBankAcc",
                              "PayeeBankName",
                              "PayeeBankBIK",
                              "PayeeBankSWIFT",
                              "PayeeBankCorrAccount",
                              "ChangeStatus",
                              "ChangeStatusReason",
                              "KBK",
                              "TransKind",
                              "TransContent",
                              "PaytCondition",
                              "AcptTerm",
                              "MaturityDate",
                              "DocDispatchDate",
                              "PartialPaytNo",
                              "PartialTransKind",
                              "PartialSumResidualPayt",
                              "PartialAccDocNo",
                              "PartialAccDocDate",
                              "Priority",
                              "OKTMO"};

class GisGmpRequests : public ::testing::Test {
  protected:
    void SetUp() override { FKeys.addContainer(Signer); }

    // The builders with a key of the test's store; an envelope continues the Ids of its values.
    QString SoapCreateImportRequest(const QString& container, FakeSoapValues& values)
    {
        ContainerKey key(FKeys.store(), container);
        return ::SoapCreateImportRequest(key, values);
    }
    QString SoapCreatePaymentBlock(const QString& container, FakeSoapValues& values)
    {
        ContainerKey key(FKeys.store(), container);
        return ::SoapCreatePaymentBlock(key, values);
    }
    QString BuildSignedEnvelope(const QString& container, const QString& body, const FakeSoapValues& values)
    {
        ContainerKey key(FKeys.store(), container);
        return ::BuildSignedEnvelope(key, body, values.identifiers());
    }

    TestKeyStore FKeys;
};

// The text that was digested: the payment element as written, without its signature.
QString PaymentWithoutSignature(const QString& text)
{
    const QString payment = SliceFromTo(text, "<pi:FinalPayment ", "</pi:FinalPayment>");
    const qsizetype signature = payment.indexOf(QStringLiteral("<ds:Signature "));
    return payment.left(signature) + QStringLiteral("</pi:FinalPayment>");
}

} // namespace

TEST_F(GisGmpRequests, GoldenMessages)
{
    {
        FakeSoapValues form = GisGmpPaymentForm();
        EXPECT_TRUE(MatchesGolden(SoapCreatePackageStatusRequest(form), Golden("PackageStatusRequest.xml")));
    }
    {
        FakeSoapValues form = GisGmpChargesForm();
        EXPECT_TRUE(MatchesGolden(SoapCreateExportRequest(form), Golden("ExportRequest.xml")));
    }
    {
        FakeSoapValues form = GisGmpChargesForm();
        form.set("ExportRequestKind", "CHARGESTATUS")
            .set("PayerIdentifier", "27708010001770801001")
            .set("TimeslotStartDate", "2016-02-01T00:00:00.000Z")
            .set("TimeslotEndDate", "2016-02-29T23:59:59.000Z")
            .set("TaxpayerINN", "7707089101")
            .set("TaxpayerKPP", "770731005")
            .set("PayeeID", "1a2b3c")
            .set("KBKClassifier", "18811630020016000140")
            .set("OKTMOClassifier", "45383000")
            .set("ExcludeUIN", "18810177140814735892")
            .set("PagingPageLength", "100")
            .set("PagingPageNumber", "2");
        EXPECT_TRUE(MatchesGolden(SoapCreateExportRequest(form), Golden("ExportRequestFullFilter.xml")));
    }
    {
        // The payment digest in the golden text was computed from the text by OpenSSL's own tool.
        FakeSoapValues form = GisGmpPaymentForm();
        const QString request = SoapCreateImportRequest(Signer, form);
        QString masked =
            MaskElementContent(request, QStringLiteral("ds:SignatureValue"), QStringLiteral("MASKED"));
        masked = MaskElementContent(masked, QStringLiteral("ds:X509Certificate"), QStringLiteral("MASKED"));
        EXPECT_TRUE(MatchesGolden(masked, Golden("ImportRequest.xml")));
    }
}

TEST_F(GisGmpRequests, KeysAreReadInTheirOrderAndIdsDrawnFirst)
{
    FakeSoapValues payment = GisGmpPaymentForm();
    const QString import = SoapCreateImportRequest(Signer, payment);
    EXPECT_EQ(payment.reads(),
              (HeaderKeys + QStringList{"SenderIdentifier", "RequestMessageDate"} + PaymentKeys));
    // The message Id is drawn before the payment block draws its signature value Id.
    EXPECT_TRUE(import.contains(QStringLiteral("Id=\"MessID-00001\"")));
    EXPECT_TRUE(import.contains(QStringLiteral("<ds:SignatureValue Id=\"SignValID-00002\">")));

    FakeSoapValues status = GisGmpPaymentForm();
    SoapCreatePackageStatusRequest(status);
    EXPECT_EQ(status.reads(),
              (HeaderKeys + QStringList{"SenderIdentifier", "RequestMessageDate", "PackageID"}));

    const QStringList exportStart =
        HeaderKeys + QStringList{"SenderIdentifier", "RequestMessageDate", "ExportRequestKind",
                                 "SupplierBillID", "PayerIdentifier"};
    FakeSoapValues charges = GisGmpChargesForm();
    SoapCreateExportRequest(charges);
    EXPECT_EQ(charges.reads(),
              (exportStart + QStringList{"TimeslotEndDate", "TimeslotStartDate", "KBKClassifier",
                                         "OKTMOClassifier", "ExcludeUIN", "TaxpayerINN", "TaxpayerKPP",
                                         "PayeeID", "PagingPageLength", "PagingPageNumber"}));
    // A pair that is present is read again for its attributes.
    charges.set("TimeslotStartDate", "2016-02-01T00:00:00.000Z")
        .set("TaxpayerKPP", "770731005")
        .set("PagingPageNumber", "2")
        .clearReads();
    SoapCreateExportRequest(charges);
    EXPECT_EQ(charges.reads(),
              (exportStart + QStringList{"TimeslotEndDate", "TimeslotStartDate", "TimeslotEndDate",
                                         "TimeslotStartDate", "KBKClassifier", "OKTMOClassifier",
                                         "ExcludeUIN", "TaxpayerINN", "TaxpayerKPP", "TaxpayerINN",
                                         "TaxpayerKPP", "PayeeID", "PagingPageLength", "PagingPageNumber",
                                         "PagingPageLength", "PagingPageNumber"}));
}

TEST_F(GisGmpRequests, MissingKeyEndsTheBuilderWithThatKey)
{
    FakeSoapValues form = GisGmpPaymentForm();
    form.remove("PayeeKPP").remove("OKTMO");
    try {
        SoapCreateImportRequest(Signer, form);
        FAIL() << "the request was built without a value";
    } catch (const EFakeUnknownValue& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Не определено значение для <PayeeKPP>"));
    }
    FakeSoapValues charges = GisGmpChargesForm();
    charges.remove("ExcludeUIN");
    EXPECT_THROW(SoapCreateExportRequest(charges), EFakeUnknownValue);
    FakeSoapValues payment = GisGmpPaymentForm();
    EXPECT_THROW(SoapCreateImportRequest(QStringLiteral("no such container"), payment), ECryptException);
}

TEST_F(GisGmpRequests, PaymentSignatureVerifiesAndItsDigestCoversTheTextAsWritten)
{
    FakeSoapValues form = GisGmpPaymentForm();
    // The provider gives a new entity Id on every read; one read serves both places.
    int entity = 0;
    form.setGenerator("EntityID", [&entity] { return QStringLiteral("A_ENTITY-%1").arg(++entity); });
    const QString request = SoapCreateImportRequest(Signer, form);
    EXPECT_EQ(entity, 1);
    EXPECT_TRUE(
        request.contains(QStringLiteral("<pi:FinalPayment xmlns:pi=\"http://roskazna.ru/gisgmp/xsd/116/"
                                        "PaymentInfo\" Id=\"A_ENTITY-1\">")));
    EXPECT_TRUE(request.contains(QStringLiteral("<ds:Reference URI=\"#A_ENTITY-1\">")));

    const SignatureCheck check = CheckPaymentSignature(request.toUtf8());
    ASSERT_TRUE(Verified(check));
    EXPECT_EQ(check.signedC14N, PaymentWithoutSignature(request).toUtf8());
    EXPECT_EQ(check.signatureValueId, QStringLiteral("SignValID-00002"));
    // The signed SignedInfo is the one inside the signature with the declaration of its ancestor.
    EXPECT_EQ(check.signedInfoC14N,
              SliceFromTo(request, "<ds:SignedInfo>", "</ds:SignedInfo>")
                  .replace(QStringLiteral("<ds:SignedInfo>"),
                           QStringLiteral("<ds:SignedInfo xmlns:ds=\"http://www.w3.org/2000/09/xmldsig#\">"))
                  .toUtf8());
    // Time stamping off: the XAdES block is there with an empty time stamp.
    EXPECT_TRUE(request.contains(QStringLiteral(
        "<xds:HashDataInfo URI=\"#SignValID-00002\"></xds:HashDataInfo><xds:EncapsulatedTimeStamp>"
        "</xds:EncapsulatedTimeStamp>")));

    // And the whole request verifies as the Body of an envelope.
    const QString envelope = BuildSignedEnvelope(Signer, request, form);
    const SignatureCheck envelopeCheck = CheckEnvelopeSignature(envelope.toUtf8());
    EXPECT_TRUE(Verified(envelopeCheck));
    EXPECT_EQ(envelopeCheck.signedC14N, SliceFromTo(envelope, "<soapenv:Body ", "</soapenv:Body>").toUtf8());
    EXPECT_TRUE(Verified(CheckPaymentSignature(envelope.toUtf8())));
}

TEST_F(GisGmpRequests, PaymentVerificationFailsWhenThePaymentChanges)
{
    FakeSoapValues form = GisGmpPaymentForm();
    const QString block = SoapCreatePaymentBlock(Signer, form);
    ASSERT_TRUE(Verified(CheckPaymentSignature(block.toUtf8())));

    QString changed = block;
    changed.replace(QStringLiteral("<pi:Amount>150000</pi:Amount>"),
                    QStringLiteral("<pi:Amount>150001</pi:Amount>"));
    EXPECT_FALSE(CheckPaymentSignature(changed.toUtf8()).verified());

    QString spaced = block;
    spaced.replace(QStringLiteral("</pi:Amount><pi:PaymentDate>"),
                   QStringLiteral("</pi:Amount> <pi:PaymentDate>"));
    EXPECT_FALSE(CheckPaymentSignature(spaced.toUtf8()).verified());

    const QString value =
        Captures(block, QStringLiteral("<ds:SignatureValue Id=\"[^\"]+\">([^<]+)<")).value(0);
    QByteArray signature = QByteArray::fromBase64(value.toLatin1());
    ASSERT_EQ(signature.size(), 64);
    signature[63] = char(signature[63] ^ 0x80);
    QString flipped = block;
    flipped.replace(value, QString::fromLatin1(signature.toBase64()));
    EXPECT_FALSE(CheckPaymentSignature(flipped.toUtf8()).verified());
}

TEST_F(GisGmpRequests, PaymentPresenceRules)
{
    FakeSoapValues form = GisGmpPaymentForm();
    // Every optional key empty.
    for (const char* key : {"ReceiptDate",
                            "PaymentBankCorrAccount",
                            "AccDocNo",
                            "AccDocDate",
                            "PayeeBankBIK",
                            "PayeeBankSWIFT",
                            "PayeeBankCorrAccount",
                            "ChangeStatusReason",
                            "TransKind",
                            "TransContent",
                            "PaytCondition",
                            "AcptTerm",
                            "MaturityDate",
                            "DocDispatchDate",
                            "PartialPaytNo",
                            "PartialTransKind",
                            "PartialSumResidualPayt",
                            "PartialAccDocNo",
                            "PartialAccDocDate",
                            "Priority"})
        form.set(key, "");
    form.set("Narrative", "");
    QString block = SoapCreatePaymentBlock(Signer, form);
    EXPECT_TRUE(Verified(CheckPaymentSignature(block.toUtf8())));
    EXPECT_EQ(ChildElementNames(block.toUtf8(), "FinalPayment"),
              (QStringList{"pi:SupplierBillID", "pi:Narrative", "pi:Amount", "pi:PaymentDate",
                           "pi:BudgetIndex", "pi:PaymentIdentificationData", "pi:Payer", "pi:Payee",
                           "pi:ChangeStatus", "pi:KBK", "pi:OKTMO", "ds:Signature"}));
    EXPECT_TRUE(block.contains(QStringLiteral("<pi:Narrative></pi:Narrative>")));
    EXPECT_TRUE(
        block.contains(QStringLiteral("<bdi:PaymentType xmlns:bdi=\"http://roskazna.ru/gisgmp/xsd/116/"
                                      "BudgetIndex\"></bdi:PaymentType>")));
    EXPECT_TRUE(block.contains(QStringLiteral("<pi:ChangeStatus meaning=\"1\"></pi:ChangeStatus><pi:KBK>")));
    EXPECT_TRUE(block.contains(QStringLiteral("</org:BIK></pi:Bank><pi:SystemIdentifier>")));
    EXPECT_TRUE(block.contains(
        QStringLiteral("<org:Bank xmlns:org=\"http://roskazna.ru/gisgmp/xsd/116/Organization\">"
                       "<org:Name>Отделение 1 Москва</org:Name></org:Bank>")));
    EXPECT_TRUE(block.contains(QStringLiteral("</pi:PaymentDate><pi:BudgetIndex>")));
    EXPECT_TRUE(block.contains(QStringLiteral("</pi:PaymentIdentificationData><pi:Payer>")));
    EXPECT_TRUE(block.contains(QStringLiteral("</pi:KBK><pi:OKTMO>45383000</pi:OKTMO><ds:Signature ")));
    for (const char* absent : {"pi:ReceiptDate", "pi:AccDoc", "pi:PartialPayt", "pi:Priority", "cm:TransKind",
                               "pi:Reason", "org:SWIFT", "org:CorrespondentBankAccount"})
        EXPECT_FALSE(block.contains(QLatin1String(absent))) << absent;

    // A document date alone; a partial payment with only the date of its document.
    form.set("AccDocDate", "2016-02-01")
        .set("PartialAccDocDate", "2016-01-15")
        .set("PayeeBankSWIFT", "SABRRUMM");
    block = SoapCreatePaymentBlock(Signer, form);
    EXPECT_TRUE(Verified(CheckPaymentSignature(block.toUtf8())));
    EXPECT_TRUE(
        block.contains(QStringLiteral("</pi:PaymentIdentificationData><pi:AccDoc><pi:AccDocDate>2016-02-01"
                                      "</pi:AccDocDate></pi:AccDoc><pi:Payer>")));
    EXPECT_TRUE(block.contains(QStringLiteral("</pi:KBK><pi:PartialPayt><pi:AccDoc><pi:AccDocDate>2016-01-15"
                                              "</pi:AccDocDate></pi:AccDoc></pi:PartialPayt><pi:OKTMO>")));
    EXPECT_TRUE(
        block.contains(QStringLiteral("<org:Name>Отделение 1 Москва</org:Name><org:SWIFT>SABRRUMM</org:SWIFT>"
                                      "</org:Bank>")));

    // Every partial-payment key and every optional key filled.
    form.set("PartialPaytNo", "2")
        .set("PartialTransKind", "16")
        .set("PartialSumResidualPayt", "5000")
        .set("PartialAccDocNo", "77")
        .set("ChangeStatus", "2")
        .set("ChangeStatusReason", "Уточнение")
        .set("TransKind", "01")
        .set("TransContent", "Содержание")
        .set("PaytCondition", "1")
        .set("AcptTerm", "5")
        .set("MaturityDate", "2016-03-01")
        .set("DocDispatchDate", "2016-02-02")
        .set("Priority", "5");
    block = SoapCreatePaymentBlock(Signer, form);
    EXPECT_TRUE(Verified(CheckPaymentSignature(block.toUtf8())));
    const QString common = QStringLiteral("xmlns:cm=\"http://roskazna.ru/gisgmp/xsd/116/Common\"");
    EXPECT_TRUE(block.contains(
        QStringLiteral("<pi:ChangeStatus meaning=\"2\"><pi:Reason>Уточнение</pi:Reason></pi:ChangeStatus>"
                       "<pi:KBK>18811630020016000140</pi:KBK><cm:TransKind ") +
        common +
        QStringLiteral(
            ">01</cm:TransKind><pi:TransContent>Содержание</pi:TransContent><pi:PaytCondition>1"
            "</pi:PaytCondition><pi:AcptTerm>5</pi:AcptTerm><pi:MaturityDate>2016-03-01</pi:MaturityDate>"
            "<pi:DocDispatchDate>2016-02-02</pi:DocDispatchDate><pi:PartialPayt><pi:PaytNo>2</pi:PaytNo>"
            "<cm:TransKind ") +
        common +
        QStringLiteral(
            ">16</cm:TransKind><pi:SumResidualPayt>5000</pi:SumResidualPayt><pi:AccDoc><pi:AccDocNo>77"
            "</pi:AccDocNo><pi:AccDocDate>2016-01-15</pi:AccDocDate></pi:AccDoc></pi:PartialPayt>"
            "<pi:Priority>5</pi:Priority><pi:OKTMO>")));
}

TEST_F(GisGmpRequests, ConsecutiveBlocksDrawFreshSignatureValueIds)
{
    FakeSoapValues form = GisGmpPaymentForm();
    form.restartIdentifiers(0x0FFFFF);
    const QString first = SoapCreatePaymentBlock(Signer, form);
    const QString second = SoapCreatePaymentBlock(Signer, form);
    EXPECT_EQ(Captures(first, QStringLiteral("SignValID-([0-9A-F]+)")), (QStringList{"100000", "100000"}));
    EXPECT_EQ(Captures(second, QStringLiteral("SignValID-([0-9A-F]+)")), (QStringList{"100001", "100001"}));
}

TEST_F(GisGmpRequests, StatusAndExportPresenceRules)
{
    FakeSoapValues status = GisGmpPaymentForm();
    status.set("PackageID", "");
    EXPECT_TRUE(SoapCreatePackageStatusRequest(status).contains(QStringLiteral(
        "<psr:PackageID xmlns:psr=\"http://roskazna.ru/gisgmp/xsd/116/PackageStatusRequest\"></psr:PackageID>"
        "</msgd:PackageStatusRequest>")));

    const QString pdr = QStringLiteral("xmlns:pdr=\"http://roskazna.ru/gisgmp/xsd/116/PGU_DataRequest\"");
    const QString filterStart = QStringLiteral("<pdr:Filter ") + pdr + u'>';
    FakeSoapValues charges = GisGmpChargesForm();
    charges.set("SupplierBillID", "").set("PayerIdentifier", "");
    charges.restartIdentifiers(0x41);
    QString request = SoapCreateExportRequest(charges);
    EXPECT_TRUE(request.contains(filterStart + QStringLiteral("<pdr:Conditions></pdr:Conditions></pdr:Filter>"
                                                              "</msgd:ExportRequest>")));
    // The two Ids are consecutive, the smaller on the request message.
    EXPECT_TRUE(request.contains(QStringLiteral(" Id=\"MessID-00042\" senderIdentifier=")));
    EXPECT_TRUE(request.contains(QStringLiteral(" Id=\"MessID-00043\" kind=\"CHARGE\">")));

    // A separator alone gives no payer list; empty parts between separators give nothing.
    charges.set("PayerIdentifier", ";");
    EXPECT_FALSE(SoapCreateExportRequest(charges).contains(QStringLiteral("pdr:Payers")));
    charges.set("PayerIdentifier", ";1010000000000123456789643;;");
    EXPECT_EQ(SoapCreateExportRequest(charges).count(QStringLiteral("<com:PayerIdentifier ")), 1);
    charges.set("PayerIdentifier", "");

    charges.set("TimeslotStartDate", "2016-02-01T00:00:00.000Z");
    EXPECT_TRUE(SoapCreateExportRequest(charges).contains(
        QStringLiteral("<pdr:Conditions><pdr:Timeslot startDate=\"2016-02-01T00:00:00.000Z\"></pdr:Timeslot>"
                       "</pdr:Conditions></pdr:Filter>")));
    charges.set("TimeslotStartDate", "");

    charges.set("TaxpayerKPP", "770731005");
    EXPECT_TRUE(SoapCreateExportRequest(charges).contains(QStringLiteral(
        "</pdr:Conditions><pdr:AdditionRestrictions><pdr:SubordinateIdList><pdr:TaxpayerIdentification "
        "kpp=\"770731005\"></pdr:TaxpayerIdentification></pdr:SubordinateIdList>"
        "</pdr:AdditionRestrictions></pdr:Filter>")));
    charges.set("TaxpayerKPP", "");

    // Restrictions given without a subordinate list are still sent.
    charges.set("KBKClassifier", "18811630020016000140");
    EXPECT_TRUE(SoapCreateExportRequest(charges).contains(QStringLiteral(
        "</pdr:Conditions><pdr:AdditionRestrictions><pdr:KBKClassifier><pdr:KBK>18811630020016000140"
        "</pdr:KBK></pdr:KBKClassifier></pdr:AdditionRestrictions></pdr:Filter>")));
    charges.set("KBKClassifier", "").set("ExcludeUIN", "18810177140814735892");
    EXPECT_TRUE(SoapCreateExportRequest(charges).contains(
        QStringLiteral("<pdr:AdditionRestrictions><pdr:Exclude>18810177140814735892</pdr:Exclude>"
                       "</pdr:AdditionRestrictions>")));
    charges.set("ExcludeUIN", "").set("OKTMOClassifier", "45383000");
    EXPECT_TRUE(SoapCreateExportRequest(charges).contains(
        QStringLiteral("<pdr:AdditionRestrictions><pdr:OKTMOClassifier><pdr:OKTMO>45383000</pdr:OKTMO>"
                       "</pdr:OKTMOClassifier></pdr:AdditionRestrictions>")));
    charges.set("OKTMOClassifier", "");

    charges.set("PagingPageNumber", "3");
    EXPECT_TRUE(SoapCreateExportRequest(charges).contains(
        QStringLiteral("</pdr:Filter><pdr:Paging ") + pdr +
        QStringLiteral(" pageNumber=\"3\"></pdr:Paging></msgd:ExportRequest>")));
}

TEST_F(GisGmpRequests, OperatorTextWithMarkupCharactersStaysWellFormedAndCanonical)
{
    // What the operator typed, and the element text the provider renders from it.
    const QString typed = QStringLiteral("A&B <тег> \"кавычки\" Ж");
    const QString escaped = QStringLiteral("A&amp;B &lt;тег&gt; \"кавычки\" Ж");
    const QString identifier = QStringLiteral("1a&2b<3c>\"4d\"\tЖ");

    FakeSoapValues form = GisGmpPaymentForm();
    for (const char* key : {"SenderCode",
                            "SenderName",
                            "SupplierBillID",
                            "BudgetStatus",
                            "BudgetPurpose",
                            "BudgetTaxPeriod",
                            "BudgetTaxDocNumber",
                            "BudgetTaxDocDate",
                            "PaymentBankName",
                            "PaymentBankBIK",
                            "PaymentBankCorrAccount",
                            "AccDocNo",
                            "PayerIdentifier",
                            "PayerName",
                            "PayeeName",
                            "PayeeINN",
                            "PayeeKPP",
                            "PayeeBankAcc",
                            "PayeeBankName",
                            "PayeeBankSWIFT",
                            "ChangeStatusReason",
                            "KBK",
                            "TransKind",
                            "TransContent",
                            "PartialPaytNo",
                            "PartialTransKind",
                            "PartialAccDocNo",
                            "Priority",
                            "OKTMO",
                            "ChangeStatus"})
        form.set(key, escaped);
    form.set("Narrative", QStringLiteral("Строка 1&#xD;\nСтрока 2 ") + escaped);
    form.set("SenderIdentifier", identifier);

    const QString request = SoapCreateImportRequest(Signer, form);
    const QByteArray requestBytes = request.toUtf8();
    EXPECT_TRUE(IsNamespaceWellFormed(requestBytes));
    // Attribute values in canonical attribute form, and read back by a parser as typed.
    EXPECT_TRUE(
        request.contains(QStringLiteral(" senderIdentifier=\"1a&amp;2b&lt;3c>&quot;4d&quot;&#x9;Ж\" ")));
    EXPECT_EQ(AttributeValue(requestBytes, "RequestMessage", "senderIdentifier"), identifier);
    EXPECT_TRUE(request.contains(
        QStringLiteral("<pi:ChangeStatus meaning=\"A&amp;B &lt;тег> &quot;кавычки&quot; Ж\">")));
    EXPECT_EQ(AttributeValue(requestBytes, "ChangeStatus", "meaning"), typed);

    const SignatureCheck payment = CheckPaymentSignature(requestBytes);
    EXPECT_TRUE(Verified(payment));
    EXPECT_EQ(payment.signedC14N, PaymentWithoutSignature(request).toUtf8());

    const QString envelope = BuildSignedEnvelope(Signer, request, form);
    EXPECT_TRUE(IsNamespaceWellFormed(envelope.toUtf8()));
    const SignatureCheck body = CheckEnvelopeSignature(envelope.toUtf8());
    EXPECT_TRUE(Verified(body));
    EXPECT_EQ(body.signedC14N, SliceFromTo(envelope, "<soapenv:Body ", "</soapenv:Body>").toUtf8());

    // The same through the two other requests, with entities next to the payer separator and
    // markup in the values that go into attributes.
    FakeSoapValues charges = GisGmpChargesForm();
    charges.set("SenderCode", escaped).set("SenderName", escaped).set("SenderIdentifier", identifier);
    charges.set("SupplierBillID", escaped)
        .set("PayerIdentifier", QStringLiteral("1&amp;2;&lt;3&gt;;4&#xD;;5"))
        .set("TimeslotStartDate", identifier)
        .set("TaxpayerINN", typed)
        .set("PayeeID", escaped)
        .set("KBKClassifier", escaped)
        .set("OKTMOClassifier", escaped)
        .set("ExcludeUIN", escaped);
    const QString exportRequest = SoapCreateExportRequest(charges);
    EXPECT_TRUE(IsNamespaceWellFormed(exportRequest.toUtf8()));
    EXPECT_EQ(
        Captures(exportRequest, QStringLiteral("<com:PayerIdentifier [^>]*>([^<]*)</com:PayerIdentifier>")),
        (QStringList{"1&amp;2", "&lt;3&gt;", "4&#xD;", "5"}));
    EXPECT_EQ(AttributeValue(exportRequest.toUtf8(), "Timeslot", "startDate"), identifier);
    EXPECT_EQ(AttributeValue(exportRequest.toUtf8(), "TaxpayerIdentification", "inn"), typed);
    const QString exportEnvelope = BuildSignedEnvelope(Signer, exportRequest, charges);
    const SignatureCheck exportBody = CheckEnvelopeSignature(exportEnvelope.toUtf8());
    EXPECT_TRUE(Verified(exportBody));
    EXPECT_EQ(exportBody.signedC14N,
              SliceFromTo(exportEnvelope, "<soapenv:Body ", "</soapenv:Body>").toUtf8());

    FakeSoapValues status = GisGmpPaymentForm();
    status.set("SenderName", escaped).set("SenderIdentifier", identifier).set("PackageID", escaped);
    const QString statusEnvelope =
        BuildSignedEnvelope(Signer, SoapCreatePackageStatusRequest(status), status);
    EXPECT_TRUE(IsNamespaceWellFormed(statusEnvelope.toUtf8()));
    const SignatureCheck statusBody = CheckEnvelopeSignature(statusEnvelope.toUtf8());
    EXPECT_TRUE(Verified(statusBody));
    EXPECT_EQ(statusBody.signedC14N,
              SliceFromTo(statusEnvelope, "<soapenv:Body ", "</soapenv:Body>").toUtf8());
}

namespace {

// The message imprint of a DER TSTInfo, read by OpenSSL.
QByteArray StampedImprint(const QByteArray& tstInfo)
{
    const auto* der = reinterpret_cast<const unsigned char*>(tstInfo.constData());
    TS_TST_INFO* info = d2i_TS_TST_INFO(nullptr, &der, long(tstInfo.size()));
    if (!info)
        return {};
    const ASN1_OCTET_STRING* imprint = TS_MSG_IMPRINT_get_msg(TS_TST_INFO_get_msg_imprint(info));
    QByteArray result(reinterpret_cast<const char*>(ASN1_STRING_get0_data(imprint)),
                      ASN1_STRING_length(imprint));
    TS_TST_INFO_free(info);
    return result;
}

} // namespace

TEST_F(GisGmpRequests, TimeStampOfTheSignatureValueTextIsEncapsulated)
{
    TTestTimeStampServer server(FKeys);
    FakeSoapValues form = GisGmpPaymentForm();
    form.options.timeStampEnable = true;
    form.options.timeStampServer = server.url();
    form.set("PayerName", "Иванов Иван Иванович").set("PayeeName", "Управление Федерального казначейства");
    const QString request = SoapCreateImportRequest(Signer, form);
    ASSERT_EQ(server.http().requestCount(), 1);

    const SignatureCheck check = CheckPaymentSignature(request.toUtf8());
    EXPECT_TRUE(Verified(check));
    EXPECT_EQ(check.signedC14N, PaymentWithoutSignature(request).toUtf8());
    const QString signatureText =
        Captures(request, QStringLiteral("<ds:SignatureValue Id=\"SignValID-00002\">([^<]+)<")).value(0);
    const QString stamp = Captures(request, QStringLiteral("<xds:EncapsulatedTimeStamp>([^<]*)<")).value(0);
    ASSERT_FALSE(stamp.isEmpty());
    // What was stamped is the Base64 text of the signature value as written.
    EXPECT_EQ(StampedImprint(QByteArray::fromBase64(stamp.toLatin1())), Gost94Hash(signatureText.toLatin1()));

    const QString envelope = BuildSignedEnvelope(Signer, request, form);
    EXPECT_TRUE(Verified(CheckEnvelopeSignature(envelope.toUtf8())));
    EXPECT_TRUE(Verified(CheckPaymentSignature(envelope.toUtf8())));
}

TEST_F(GisGmpRequests, Gost2012PaymentsAreSignedAndStampedWithTheirOwnHash)
{
    TTestTimeStampServer server(FKeys);
    for (const auto& [algorithm, suffix] :
         {std::pair{GostAlgorithm::Gost2012_256, "256"}, std::pair{GostAlgorithm::Gost2012_512, "512"}}) {
        SCOPED_TRACE(suffix);
        TestKeyOptions options;
        options.algorithm = algorithm;
        const QString container = QStringLiteral("signer ") + QLatin1String(suffix);
        FKeys.addContainer(container, options);
        FakeSoapValues form = GisGmpPaymentForm();
        form.options.timeStampEnable = true;
        form.options.timeStampServer = server.url();
        const QString request = SoapCreateImportRequest(container, form);

        EXPECT_TRUE(Verified(CheckPaymentSignature(request.toUtf8())));
        const QString signatureText =
            Captures(request, QStringLiteral("<ds:SignatureValue Id=\"[^\"]+\">([^<]+)<")).value(0);
        const QString stamp =
            Captures(request, QStringLiteral("<xds:EncapsulatedTimeStamp>([^<]*)<")).value(0);
        const QByteArray signatureBytes = signatureText.toLatin1();
        QByteArray hash;
        ContainerCrypt(FKeys.store(), container, &signatureBytes, nullptr, nullptr, &hash);
        EXPECT_EQ(StampedImprint(QByteArray::fromBase64(stamp.toLatin1())), hash);
        EXPECT_TRUE(Verified(CheckEnvelopeSignature(BuildSignedEnvelope(container, request, form).toUtf8())));
    }
}

TEST_F(GisGmpRequests, NoPaymentWithoutItsTimeStamp)
{
    TLoopbackHttpServer server;
    TScriptedReply failure;
    failure.Status = 500;
    failure.Body = "failure";
    server.setReply(failure);
    {
        FakeSoapValues form = GisGmpPaymentForm();
        form.options.timeStampEnable = true;
        form.options.timeStampServer = server.url(QStringLiteral("/tsp"));
        EXPECT_THROW(SoapCreateImportRequest(Signer, form), ETimeStampException);
        EXPECT_EQ(server.requestCount(), 1);
    }
    // Time stamping off: nothing is sent.
    FakeSoapValues form = GisGmpPaymentForm();
    form.options.timeStampServer = server.url(QStringLiteral("/tsp"));
    EXPECT_TRUE(SoapCreatePaymentBlock(Signer, form)
                    .contains(QStringLiteral("<xds:EncapsulatedTimeStamp></xds:EncapsulatedTimeStamp>")));
    EXPECT_EQ(server.requestCount(), 1);
}
