// The reply readers on crafted replies: faults and negative results must reach the operation as
// ESOAPException with their codes, and records must reach the display whole.

#include "foundation/XmlHelper.h"
#include "smev/SoapReply.h"
#include "smev/SoapValues.h"
#include "support/Raised.h"

#include <gtest/gtest.h>

namespace {

// Keeps copies of what the readers hand over, since they reuse their line lists.
struct TRecordingValues final : ISOAPValues {
    QList<QPair<QString, QStringList>> Records; // root element of the record, lines
    void DisplayRecord(const XmlDocument& document, QStringList& lines) override
    {
        Records.append({document.documentElement().localName(), lines});
    }
    QString GetFieldValue(const QString&) override { return {}; }
};

QByteArray EnvelopeText(const QByteArray& body)
{
    return "<soapenv:Envelope xmlns:soapenv=\"urn:soap\"><soapenv:Body>" + body +
           "</soapenv:Body></soapenv:Envelope>";
}

XmlDocument Envelope(const QByteArray& body)
{
    return XmlDocument::parse(EnvelopeText(body));
}

QByteArray GisGmpReplyText(const QByteArray& status, const QByteArray& response)
{
    return EnvelopeText(
        "<smev:GISGMPTransferMsg xmlns:smev=\"urn:smev\"><smev:Message><smev:Status>" + status +
        "</smev:Status></smev:Message><smev:MessageData><smev:AppData><m:ResponseMessage xmlns:m=\"urn:m\">" +
        response + "</m:ResponseMessage></smev:AppData></smev:MessageData></smev:GISGMPTransferMsg>");
}

XmlDocument GisGmpReply(const QByteArray& status, const QByteArray& response)
{
    return XmlDocument::parse(GisGmpReplyText(status, response));
}

XmlDocument ChargesReply(const QByteArray& charges)
{
    return GisGmpReply("RESULT", "<ExportChargesResponse>" + charges + "</ExportChargesResponse>");
}

QByteArray Charge(const QByteArray& xml, const QByteArray& attributes = {})
{
    return "<ChargeInfo " + attributes + "><ChargeData>" + xml.toBase64() + "</ChargeData></ChargeInfo>";
}

} // namespace

TEST(SoapException, MessagesAndTheSmevCode)
{
    const auto result = ESOAPException::CreateResult("7", "Отклонен", "\r\n  подробности \n");
    EXPECT_EQ(result.message(), "ResultCode=7 Отклонен\r\nподробности");
    EXPECT_EQ(result.ResultData(), "\r\n  подробности \n");
    EXPECT_EQ(ESOAPException::CreateResult("50", "Не обработан", " \r\n ").message(), "ResultCode=50 Не обработан");
    EXPECT_EQ(ESOAPException::Create("Своё", "c", "SMEV-123456:x").message(), "Своё");
    EXPECT_EQ(ESOAPException::Create("Своё", "c", "SMEV-123456:x").FaultSMEVCode(), "123456");

    const auto fault = ESOAPException::CreateFault("soap:Server", "SMEV-100003: Service not available");
    EXPECT_EQ(fault.message(), "soap:Server SMEV-100003: Service not available");
    EXPECT_EQ(fault.FaultSMEVCode(), "100003");
    EXPECT_TRUE(fault.ResultCode().isEmpty());
    // Only "SMEV-", six characters and a colon make a code: not one place early or late, nor a
    // text that ends before the colon.
    for (const char* text : {"SMEV-10003: short", "SMEV-1000034: long", "SMEV-100003", "XSMEV-10003: x", ""})
        EXPECT_EQ(ESOAPException::CreateFault("f", text).FaultSMEVCode(), "") << text;
}

TEST(CheckSoapEnvelope, RootNameAndTheFourFaultShapes)
{
    EXPECT_NO_THROW(CheckSoapEnvelope(XmlDocument::parse("<x:envelope xmlns:x=\"u\"><x:Body/></x:envelope>").documentElement()));
    EXPECT_EQ(Raised<ESOAPException>([] { CheckSoapEnvelope(XmlDocument::parse("<s:Body xmlns:s=\"u\"/>").documentElement()); }),
              "Invalid name: Body");

    const QByteArray nested = "<detail><n:nested xmlns:n=\"u\"><n:fault><n:location><n:node>GISGMP</n:node></n:location>"
                              "<n:reason>Сервис недоступен</n:reason><n:errorCode>SMEV-500</n:errorCode></n:fault></n:nested></detail>";
    const QByteArray error = "<MessageData><AppData><ErrorMessage><ErrorCode>INT001</ErrorCode>"
                             "<Description>Ошибка ЭП</Description></ErrorMessage></AppData></MessageData>";
    const std::pair<QByteArray, QString> cases[] = {
        // faultcode wins over everything else
        {"<faultcode>soapenv:Server</faultcode><faultstring>SMEV-100003: Service not available</faultstring>" + nested + error,
         "soapenv:Server SMEV-100003: Service not available"},
        {nested + error, "SMEV-500 GISGMP: Сервис недоступен"},
        {error, "ResultCode=INT001 Ошибка ЭП"},
        {"<faultactor>x</faultactor>", "Fault Unknown error"},
    };
    for (const auto& [fault, message] : cases)
        EXPECT_EQ(Raised<ESOAPException>([&] { CheckSoapEnvelope(Envelope("<soapenv:Fault>" + fault + "</soapenv:Fault>").documentElement()); }),
                  message);
    // A fault missing a part it must have is a malformed reply.
    EXPECT_EQ(Raised<EXMLException>([] { CheckSoapEnvelope(Envelope("<Fault><faultcode>c</faultcode></Fault>").documentElement()); }),
              "Узел faultstring не найден.");
}

TEST(GisGmpReaders, StatusProcessResultAndPackageStatus)
{
    const QByteArray accepted = "<Ticket><RequestProcessResult><ResultCode>0</ResultCode><ResultData>PKG-42</ResultData>"
                                "</RequestProcessResult></Ticket>";
    EXPECT_EQ(ReadImportResult(GisGmpReply("result", accepted)), "PKG-42");
    EXPECT_EQ(Raised<ESOAPException>([&] { ReadImportResult(GisGmpReply("REJECT", accepted)); }), "Error Status <REJECT>");
    EXPECT_EQ(Raised<ESOAPException>([] {
                  ReadImportResult(GisGmpReply("RESULT", "<Ticket><RequestProcessResult><ResultCode>12</ResultCode>"
                                                         "<ResultDescription>Неверная подпись</ResultDescription>"
                                                         "<ResultData>Подробно</ResultData></RequestProcessResult></Ticket>"));
              }),
              "ResultCode=12 Неверная подпись\r\nПодробно");
    EXPECT_EQ(Raised<EXMLException>([] { ReadImportResult(GisGmpReply("RESULT", "")); }), "Узел Ticket не найден.");

    const auto entity = [](const QByteArray& attributes, const QByteArray& content) {
        return GisGmpReply("RESULT", "<Ticket><PackageProcessResult><EntityProcessResult " + attributes + ">" + content +
                                         "</EntityProcessResult></PackageProcessResult></Ticket>");
    };
    EXPECT_EQ(ReadPackageStatus(entity("entityId=\"I_123\"", "<ResultCode>0</ResultCode>")), "I_123");
    EXPECT_EQ(ReadPackageStatus(entity("", "<ResultCode>0</ResultCode>")), "");
    try {
        ReadPackageStatus(entity("", "<ResultCode>50</ResultCode><ResultDescription>Не завершена</ResultDescription>"));
        ADD_FAILURE() << "an unfinished package passed";
    } catch (const ESOAPException& e) {
        EXPECT_EQ(e.ResultCode(), "50");
        EXPECT_EQ(e.message(), "ResultCode=50 Не завершена");
    }
}

TEST(ExportCharges, FlagsCountsAndNeedReRequest)
{
    const auto flags = [](const QByteArray& attributes) {
        return ReadExportCharges(ChargesReply("<Charges " + attributes + "><a/><b/><c/></Charges>"), nullptr);
    };
    EXPECT_EQ(flags("hasMore=\"false\"").Count, 3) << "without a value source nothing is decoded";
    EXPECT_FALSE(flags("").HasMore);
    EXPECT_FALSE(flags("hasMore=\"0\"").HasMore);
    EXPECT_TRUE(flags("hasMore=\"TRUE\"").HasMore);
    EXPECT_TRUE(flags("hasMore=\"1\"").HasMore) << "xs:boolean true written as 1";
    EXPECT_EQ(ReadExportCharges(ChargesReply(""), nullptr).Count, 0);

    TRecordingValues values;
    for (const char* flag : {"true", "1"})
        EXPECT_EQ(Raised<ESOAPException>([&] {
                      ReadExportCharges(ChargesReply(QByteArray("<Charges needReRequest=\"") + flag + "\">" +
                                                     Charge("<Charge/>") + "</Charges>"),
                                        &values);
                  }),
                  "ResultCode=needReRequest Требуется повторный запрос (внешняя система недоступна либо получена ошибка).");
    EXPECT_TRUE(values.Records.isEmpty()) << "nothing is shown from a reply that must be requested again";
}

TEST(ExportCharges, RecordsAndDamagedChargeData)
{
    const QByteArray first = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                             "<b:Charge xmlns:b=\"u\" xmlns:ds=\"d\" supplierBillID=\"188\"><b:BillFor>Штраф</b:BillFor>"
                             "<ds:Signature><ds:SignatureValue>AAAA</ds:SignatureValue></ds:Signature></b:Charge>";
    QByteArray wrapped = QByteArray("<Charge><KBK>182</KBK></Charge>").toBase64();
    wrapped.insert(8, "\r\n  "); // line breaks are allowed in Base64 text

    TRecordingValues values;
    const auto result = ReadExportCharges(
        ChargesReply("<Charges>" + Charge(first, "originatorId=\"A1\"") + "<x><ChargeData>" + wrapped +
                     "</ChargeData></x></Charges>"),
        &values);
    EXPECT_EQ(result.Count, 2);
    ASSERT_EQ(values.Records.size(), 2);
    EXPECT_EQ(values.Records[0].first, "Charge");
    EXPECT_EQ(values.Records[0].second, QStringList({"supplierBillID=188", "BillFor=Штраф", "originatorId=A1"}));
    EXPECT_EQ(values.Records[1].second, QStringList({"KBK=182"}));

    // The charge is UTF-8 by contract; a declaration naming another encoding must not garble it.
    TRecordingValues declared;
    ReadExportCharges(ChargesReply("<Charges>" +
                                   Charge("<?xml version=\"1.0\" encoding=\"windows-1251\"?>"
                                          "<Charge><BillFor>Штраф</BillFor></Charge>") +
                                   "</Charges>"),
                      &declared);
    ASSERT_EQ(declared.Records.size(), 1);
    EXPECT_EQ(declared.Records[0].second, QStringList({"BillFor=Штраф"}));

    const std::pair<QByteArray, QString> damaged[] = {
        {"<x><ChargeData>PENoYXJnZS8+*</ChargeData></x>", "ChargeData is not valid Base64"},
        {"<x><ChargeData>" + QByteArray("<a>\xff</a>").toBase64() + "</ChargeData></x>", "ChargeData is not valid UTF-8"},
        {"<x><chargedata>" + QByteArray("<a/>").toBase64() + "</chargedata></x>", "Node \"ChargeData\" not found"},
    };
    for (const auto& [element, message] : damaged) {
        TRecordingValues shown;
        EXPECT_EQ(Raised<EXMLException>([&] { ReadExportCharges(ChargesReply("<Charges>" + Charge("<a/>") + element + "</Charges>"), &shown); }),
                  message);
        EXPECT_EQ(shown.Records.size(), 1) << "the record before stays shown";
    }
    EXPECT_THROW(ReadExportCharges(ChargesReply("<Charges>" + Charge("not xml <") + "</Charges>"), &values), EXMLException);
}

TEST(GisZhkhReaders, AckStateAndPaymentDocumentDetails)
{
    const auto ack = [](const QByteArray& status) {
        return Envelope("<ackResult><Message><Status>" + status + "</Status></Message><MessageData><AppData>"
                        "<AcknowledgmentResponse><MessageGUID>6f1c</MessageGUID></AcknowledgmentResponse></AppData></MessageData></ackResult>");
    };
    EXPECT_EQ(ReadAckResult(ack("accept")), "6f1c");
    EXPECT_EQ(Raised<ESOAPException>([&] { ReadAckResult(ack("REJECT")); }), "Error Status <REJECT>");

    const auto state = [](const QByteArray& appData) {
        return Envelope("<getStateResult><Message><Status>X</Status></Message><MessageData><AppData>" + appData +
                        "</AppData></MessageData></getStateResult>");
    };
    const QByteArray error = "<ErrorMessage><ErrorCode>INT004</ErrorCode><Description>Нет доступа</Description></ErrorMessage>";
    EXPECT_EQ(ReadStateResult(state("<CommonResult><TransportID>T-1</TransportID></CommonResult>")), "T-1");
    EXPECT_EQ(Raised<ESOAPException>([&] { ReadStateResult(state(error + "<CommonResult/>")); }), "ResultCode=INT004 Нет доступа");
    EXPECT_EQ(Raised<ESOAPException>([&] { ReadStateResult(state("<CommonResult><TransportID>T</TransportID>" + error + "</CommonResult>")); }),
              "ResultCode=INT004 Нет доступа");

    const auto details = [](const QByteArray& content) {
        return Envelope("<exportPaymentDocumentDetailsResult><MessageData><AppData><ExportPaymentDocumentDetails>" + content +
                        "</ExportPaymentDocumentDetails></AppData></MessageData></exportPaymentDocumentDetailsResult>");
    };
    TRecordingValues values;
    const QByteArray errorStart = "<ErrorMessage><Description>Нет</Description><ErrorCode>";
    EXPECT_EQ(ReadPaymentDocumentDetails(details(errorStart + "INT002012</ErrorCode></ErrorMessage>"), &values), 0);
    EXPECT_EQ(Raised<ESOAPException>([&] { ReadPaymentDocumentDetails(details(errorStart + "INT002000</ErrorCode></ErrorMessage>"), &values); }),
              "ResultCode=INT002000 Нет");

    const QByteArray reply = "<Result><Address><region>Москва</region></Address>"
                             "<PaymentDocument><Number>PD-1</Number></PaymentDocument><Service><ServiceID>S-1</ServiceID></Service>"
                             "<PaymentDocument ID=\"D2\"><Debt>1000</Debt></PaymentDocument><Year>2016</Year></Result>"
                             "<Result><Service><ServiceID>S-2</ServiceID></Service></Result>";
    EXPECT_EQ(ReadPaymentDocumentDetails(details(reply), nullptr), 0);
    EXPECT_EQ(ReadPaymentDocumentDetails(details(reply), &values), 4);
    const QStringList base{"Address\\region=Москва", "Year=2016"};
    const QList<QPair<QString, QStringList>> expected{{"PaymentDocument", base + QStringList{"Number=PD-1"}},
                                                      {"Service", base + QStringList{"ServiceID=S-1"}},
                                                      {"PaymentDocument", base + QStringList{"ID=D2", "Debt=1000"}},
                                                      {"Service", {"ServiceID=S-2"}}};
    EXPECT_EQ(values.Records, expected);
}

// Each reply read once from its tree and once with its records taken out as it is read: the
// display must not tell the two apart, failures included.
TEST(TakenRecords, ShownAsTheWholeTreeWouldShowThem)
{
    using Reader = std::function<int(const XmlDocument&, ISOAPValues*, TakenRecords*)>;
    const auto compare = [](const QByteArray& reply, TakenRecords::Kind kind, const Reader& read) {
        const auto run = [&](TakenRecords* taken, TRecordingValues& values) {
            try {
                const XmlDocument document =
                    XmlDocument::parse(reply, {}, taken ? taken->handOff() : XmlHandOff());
                return QString::number(read(document, &values, taken));
            } catch (const Exception& e) {
                return e.message();
            }
        };
        TRecordingValues whole;
        TRecordingValues streamed;
        TakenRecords taken(kind);
        EXPECT_EQ(run(&taken, streamed), run(nullptr, whole));
        QList<QStringList> wholeLines;
        QList<QStringList> streamedLines;
        qsizetype takenCount = 0;
        for (const auto& [root, lines] : whole.Records)
            wholeLines << lines;
        for (const auto& [root, lines] : streamed.Records) {
            streamedLines << lines;
            takenCount += root.isEmpty();
        }
        EXPECT_EQ(streamedLines, wholeLines);
        return takenCount;
    };
    const Reader charges = [](const XmlDocument& document, ISOAPValues* values, TakenRecords* taken) {
        return ReadExportCharges(document, values, taken).Count;
    };
    const auto chargesReply = [](const QByteArray& attributes, const QByteArray& content) {
        return GisGmpReplyText("RESULT", "<ExportChargesResponse><Charges " + attributes + ">" + content +
                                             "</Charges></ExportChargesResponse>");
    };
    QByteArray list;
    for (int i = 0; i < 20; ++i)
        list +=
            "\n " + Charge("<Charge supplierBillID=\"" + QByteArray::number(i) + "\"><KBK>1</KBK></Charge>");
    const QByteArray damaged = "<x><ChargeData>PENoYXJnZS8+*</ChargeData></x>";
    EXPECT_EQ(compare(chargesReply("hasMore=\"1\"", list), TakenRecords::Kind::Charges, charges), 20);
    EXPECT_EQ(compare(chargesReply({}, list + damaged + list), TakenRecords::Kind::Charges, charges), 20);
    EXPECT_EQ(compare(chargesReply("needReRequest=\"true\"", list), TakenRecords::Kind::Charges, charges), 0);
    // Charges elsewhere than where the reader looks are not the page's.
    EXPECT_EQ(compare(GisGmpReplyText("RESULT", "<Other><Charges>" + list +
                                                    "</Charges></Other>"
                                                    "<ExportChargesResponse/>"),
                      TakenRecords::Kind::Charges, charges),
              0);

    const Reader documents = [](const XmlDocument& document, ISOAPValues* values, TakenRecords* taken) {
        return ReadPaymentDocumentDetails(document, values, taken);
    };
    const auto detailsReply = [](const QByteArray& content) {
        return EnvelopeText(
            "<exportPaymentDocumentDetailsResult><MessageData><AppData><ExportPaymentDocumentDetails>" +
            content +
            "</ExportPaymentDocumentDetails></AppData></MessageData></exportPaymentDocumentDetailsResult>");
    };
    const QByteArray record =
        "<Result><Address><region>Москва</region></Address><PaymentDocument><Number>PD-1</Number>"
        "</PaymentDocument><Service><ServiceID>S-1</ServiceID></Service><Year>2016</Year></Result>";
    EXPECT_EQ(compare(detailsReply(record + record), TakenRecords::Kind::PaymentDocuments, documents), 4);
    EXPECT_EQ(compare(detailsReply(record + "<ErrorMessage><ErrorCode>INT002000</ErrorCode></ErrorMessage>"),
                      TakenRecords::Kind::PaymentDocuments, documents),
              0);
}
