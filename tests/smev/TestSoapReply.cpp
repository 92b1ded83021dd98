// The reply readers on crafted reply documents: faults and negative results must reach the
// operation as ESOAPException with their codes, and the records must reach the display whole.

#include "foundation/XmlHelper.h"
#include "smev/SoapReply.h"
#include "smev/SoapValues.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace {

// Remembers what the readers hand to the window; copies, because the readers reuse their lists.
class TRecordingValues final : public ISOAPValues {
public:
    struct TRecord {
        QString RootName;
        QByteArray Xml;
        QStringList Lines;
    };
    std::vector<TRecord> Records;

    void DisplayRecord(const XmlDocument& document, QStringList& lines) override
    {
        Records.push_back({document.documentElement().localName(), document.toXml(), lines});
    }
    QString GetFieldValue(const QString&) override { return {}; }
};

XmlDocument Envelope(const QByteArray& body)
{
    return XmlDocument::parse("<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                              "<soapenv:Body>" +
                              body + "</soapenv:Body></soapenv:Envelope>");
}

XmlDocument GisGmpReply(const QByteArray& status, const QByteArray& responseMessage)
{
    return Envelope("<smev:GISGMPTransferMsg xmlns:smev=\"urn:smev\" xmlns:rev=\"urn:rev\">"
                    "<rev:Message><rev:Status>" +
                    status +
                    "</rev:Status></rev:Message>"
                    "<rev:MessageData><rev:AppData><msg:ResponseMessage xmlns:msg=\"urn:msg\">" +
                    responseMessage +
                    "</msg:ResponseMessage></rev:AppData></rev:MessageData></smev:GISGMPTransferMsg>");
}

XmlDocument TicketReply(const QByteArray& ticketContent)
{
    return GisGmpReply("RESULT", "<tic:Ticket xmlns:tic=\"urn:tic\">" + ticketContent + "</tic:Ticket>");
}

XmlDocument ChargesReply(const QByteArray& charges)
{
    return GisGmpReply("RESULT", "<ecr:ExportChargesResponse xmlns:ecr=\"urn:ecr\">" + charges +
                                     "</ecr:ExportChargesResponse>");
}

QByteArray ChargeElement(const QByteArray& chargeXml, const QByteArray& wrapperAttributes = {})
{
    return "<ecr:ChargeInfo " + wrapperAttributes + "><ecr:ChargeData>" + chargeXml.toBase64() +
           "</ecr:ChargeData></ecr:ChargeInfo>";
}

template <class E>
E CaughtFrom(const std::function<void()>& call)
{
    try {
        call();
    } catch (const E& e) {
        return e;
    }
    ADD_FAILURE() << "nothing was raised";
    throw std::logic_error("nothing was raised");
}

} // namespace

TEST(SoapException, ConstructorsComposeMessagesAndFields)
{
    const auto fault = ESOAPException::CreateFault("soap:Server", "SMEV-100003: Service not available");
    EXPECT_EQ(fault.message(), "soap:Server SMEV-100003: Service not available");
    EXPECT_EQ(fault.FaultCode(), "soap:Server");
    EXPECT_EQ(fault.FaultString(), "SMEV-100003: Service not available");
    EXPECT_EQ(fault.FaultSMEVCode(), "100003");
    EXPECT_TRUE(fault.ResultCode().isEmpty());
    EXPECT_TRUE(fault.ResultDescription().isEmpty());
    EXPECT_TRUE(fault.ResultData().isEmpty());

    const auto result = ESOAPException::CreateResult("7", "Пакет отклонен", "\r\n  подробности \n");
    EXPECT_EQ(result.message(), "ResultCode=7 Пакет отклонен\r\nподробности");
    EXPECT_EQ(result.ResultCode(), "7");
    EXPECT_EQ(result.ResultDescription(), "Пакет отклонен");
    EXPECT_EQ(result.ResultData(), "\r\n  подробности \n") << "the field keeps the data as received";
    EXPECT_TRUE(result.FaultCode().isEmpty());
    EXPECT_TRUE(result.FaultSMEVCode().isEmpty());

    // Data of nothing but white space adds no second line.
    EXPECT_EQ(ESOAPException::CreateResult("50", "Не обработан", " \r\n ").message(), "ResultCode=50 Не обработан");
    EXPECT_EQ(ESOAPException::CreateResult("50", "Не обработан", "").message(), "ResultCode=50 Не обработан");

    const auto general = ESOAPException::Create("Своё сообщение", "c", "SMEV-123456:x", "r", "d", "data");
    EXPECT_EQ(general.message(), "Своё сообщение");
    EXPECT_EQ(general.FaultCode(), "c");
    EXPECT_EQ(general.FaultSMEVCode(), "123456");
    EXPECT_EQ(general.ResultCode(), "r");
    EXPECT_EQ(general.ResultDescription(), "d");
    EXPECT_EQ(general.ResultData(), "data");
}

TEST(SoapException, SmevCodeOnlyFromTheExactFaultStringShape)
{
    EXPECT_EQ(ESOAPException::CreateFault("f", "SMEV-100003:").FaultSMEVCode(), "100003");
    EXPECT_EQ(ESOAPException::CreateFault("f", "smev-500102: lower case prefix").FaultSMEVCode(), "500102");
    // The colon one place early or late, or missing at the end of a short text.
    EXPECT_EQ(ESOAPException::CreateFault("f", "SMEV-10003: short code").FaultSMEVCode(), "");
    EXPECT_EQ(ESOAPException::CreateFault("f", "SMEV-1000034: long code").FaultSMEVCode(), "");
    EXPECT_EQ(ESOAPException::CreateFault("f", "SMEV-100003").FaultSMEVCode(), "");
    EXPECT_EQ(ESOAPException::CreateFault("f", "XSMEV-10003: text").FaultSMEVCode(), "");
    EXPECT_EQ(ESOAPException::CreateFault("f", "").FaultSMEVCode(), "");
}

TEST(CheckSoapEnvelope, RootNameAndTheFourFaultShapes)
{
    // Any prefix, any letter case of the name passes; another element fails with its local name.
    EXPECT_NO_THROW(CheckSoapEnvelope(XmlDocument::parse("<x:envelope xmlns:x=\"urn:x\"><x:Body/></x:envelope>")
                                          .documentElement()));
    EXPECT_NO_THROW(CheckSoapEnvelope(Envelope("<a/>").documentElement()));
    auto wrongRoot = CaughtFrom<ESOAPException>([] {
        CheckSoapEnvelope(XmlDocument::parse("<s:Body xmlns:s=\"urn:s\"><s:Fault/></s:Body>").documentElement());
    });
    EXPECT_EQ(wrongRoot.message(), "Invalid name: Body");
    EXPECT_TRUE(wrongRoot.FaultCode().isEmpty());

    // faultcode wins over a nested SMEV fault.
    auto both = CaughtFrom<ESOAPException>([] {
        CheckSoapEnvelope(Envelope("<soapenv:Fault><faultcode>soapenv:Server</faultcode>"
                                   "<faultstring>SMEV-100003: Service not available</faultstring>"
                                   "<detail><nested><fault><location><node>GISGMP</node></location>"
                                   "<reason>ignored</reason><errorCode>X</errorCode></fault></nested></detail>"
                                   "</soapenv:Fault>")
                              .documentElement());
    });
    EXPECT_EQ(both.message(), "soapenv:Server SMEV-100003: Service not available");
    EXPECT_EQ(both.FaultSMEVCode(), "100003");

    auto nested = CaughtFrom<ESOAPException>([] {
        CheckSoapEnvelope(Envelope("<soapenv:Fault><detail><n:nested xmlns:n=\"urn:n\"><n:fault>"
                                   "<n:location><n:node>GISGMP</n:node></n:location>"
                                   "<n:reason>Сервис недоступен</n:reason><n:errorCode>SMEV-500</n:errorCode>"
                                   "</n:fault></n:nested></detail></soapenv:Fault>")
                              .documentElement());
    });
    EXPECT_EQ(nested.message(), "SMEV-500 GISGMP: Сервис недоступен");
    EXPECT_EQ(nested.FaultCode(), "SMEV-500");
    EXPECT_EQ(nested.FaultString(), "GISGMP: Сервис недоступен");

    auto error = CaughtFrom<ESOAPException>([] {
        CheckSoapEnvelope(Envelope("<soapenv:Fault><MessageData><AppData><ErrorMessage>"
                                   "<ErrorCode>INT001</ErrorCode><Description>Ошибка ЭП</Description>"
                                   "</ErrorMessage></AppData></MessageData></soapenv:Fault>")
                              .documentElement());
    });
    EXPECT_EQ(error.message(), "ResultCode=INT001 Ошибка ЭП");
    EXPECT_EQ(error.ResultCode(), "INT001");
    EXPECT_TRUE(error.FaultCode().isEmpty());

    auto unknown = CaughtFrom<ESOAPException>(
        [] { CheckSoapEnvelope(Envelope("<soapenv:Fault><faultactor>x</faultactor></soapenv:Fault>").documentElement()); });
    EXPECT_EQ(unknown.message(), "Fault Unknown error");
    EXPECT_EQ(unknown.FaultCode(), "Fault");

    // A fault that lacks a part it must have is a malformed reply, not a fault.
    auto partial = CaughtFrom<EXMLException>(
        [] { CheckSoapEnvelope(Envelope("<soapenv:Fault><faultcode>c</faultcode></soapenv:Fault>").documentElement()); });
    EXPECT_EQ(partial.message(), "Узел faultstring не найден.");
}

TEST(GisGmpReaders, StatusTicketAndProcessResult)
{
    const QByteArray accepted = "<RequestProcessResult><ResultCode>0</ResultCode>"
                                "<ResultData>PKG-42</ResultData></RequestProcessResult>";
    EXPECT_EQ(ReadImportResult(TicketReply(accepted)), "PKG-42");
    // The status is compared regardless of letter case.
    EXPECT_EQ(ReadImportResult(GisGmpReply("result", "<Ticket>" + accepted + "</Ticket>")), "PKG-42");

    auto status = CaughtFrom<ESOAPException>(
        [&] { ReadImportResult(GisGmpReply("REJECT", "<Ticket>" + accepted + "</Ticket>")); });
    EXPECT_EQ(status.message(), "Error Status <REJECT>");

    auto negative = CaughtFrom<ESOAPException>([] {
        ReadImportResult(TicketReply("<RequestProcessResult><ResultCode>12</ResultCode>"
                                     "<ResultDescription>Неверная подпись</ResultDescription>"
                                     "<ResultData>Подробно</ResultData></RequestProcessResult>"));
    });
    EXPECT_EQ(negative.message(), "ResultCode=12 Неверная подпись\r\nПодробно");
    EXPECT_EQ(negative.ResultCode(), "12");
    EXPECT_EQ(negative.ResultData(), "\r\nПодробно");

    auto noTicket = CaughtFrom<EXMLException>([] { ReadImportResult(GisGmpReply("RESULT", "")); });
    EXPECT_EQ(noTicket.message(), "Узел Ticket не найден.");
    auto noResult = CaughtFrom<EXMLException>([] { ReadImportResult(TicketReply("")); });
    EXPECT_EQ(noResult.message(), "Узел RequestProcessResult не найден.");
    // An accepted result without data has no package identifier to return.
    auto noData = CaughtFrom<EXMLException>(
        [] { ReadImportResult(TicketReply("<RequestProcessResult><ResultCode>0</ResultCode></RequestProcessResult>")); });
    EXPECT_EQ(noData.message(), "Узел ResultData не найден.");
    // A fault is found before the missing GIS GMP parts are.
    EXPECT_THROW(ReadImportResult(Envelope("<soapenv:Fault/>")), ESOAPException);
}

TEST(GisGmpReaders, PackageStatus)
{
    const auto entity = [](const QByteArray& attributes, const QByteArray& content) {
        return TicketReply("<PackageProcessResult><EntityProcessResult " + attributes + ">" + content +
                           "</EntityProcessResult></PackageProcessResult>");
    };
    EXPECT_EQ(ReadPackageStatus(entity("entityId=\"I_123\"", "<ResultCode>0</ResultCode>")), "I_123");
    EXPECT_EQ(ReadPackageStatus(entity("", "<ResultCode>0</ResultCode>")), "");

    auto pending = CaughtFrom<ESOAPException>([&] {
        ReadPackageStatus(entity("entityId=\"I_123\"", "<ResultCode>50</ResultCode>"
                                                       "<ResultDescription>Обработка не завершена</ResultDescription>"));
    });
    EXPECT_EQ(pending.ResultCode(), "50");
    EXPECT_EQ(pending.message(), "ResultCode=50 Обработка не завершена");

    // The package result does not need the ticket's own processing result, but when present a
    // negative one still counts.
    auto ticketResult = CaughtFrom<ESOAPException>([] {
        ReadPackageStatus(TicketReply("<RequestProcessResult><ResultCode>3</ResultCode>"
                                      "<ResultDescription>Нет пакета</ResultDescription></RequestProcessResult>"));
    });
    EXPECT_EQ(ticketResult.ResultCode(), "3");
    auto noEntity = CaughtFrom<EXMLException>([] { ReadPackageStatus(TicketReply("")); });
    EXPECT_EQ(noEntity.message(), "Узел PackageProcessResult не найден.");
}

TEST(ExportCharges, CountsFlagsAndNeedReRequest)
{
    TRecordingValues values;
    auto none = ReadExportCharges(ChargesReply(""), &values);
    EXPECT_EQ(none.Count, 0);
    EXPECT_FALSE(none.HasMore);

    const QByteArray charge = ChargeElement("<Charge supplierBillID=\"1\"/>");
    const auto withFlag = [&](const QByteArray& flag) {
        return ReadExportCharges(ChargesReply("<Charges hasMore=\"" + flag + "\">" + charge + "</Charges>"), nullptr);
    };
    EXPECT_TRUE(withFlag("true").HasMore);
    EXPECT_TRUE(withFlag("TRUE").HasMore);
    EXPECT_TRUE(withFlag("1").HasMore) << "xs:boolean true written as 1 announces more pages";
    EXPECT_FALSE(withFlag("false").HasMore);
    EXPECT_FALSE(withFlag("0").HasMore);
    EXPECT_FALSE(ReadExportCharges(ChargesReply("<Charges>" + charge + "</Charges>"), nullptr).HasMore);

    // Without a value source only the count is wanted: nothing is decoded.
    auto counted = ReadExportCharges(
        ChargesReply("<Charges hasMore=\"false\"><a><ChargeData>@@@</ChargeData></a><b/><c/></Charges>"), nullptr);
    EXPECT_EQ(counted.Count, 3);

    for (const QByteArray& flag : {QByteArray("true"), QByteArray("1")}) {
        auto again = CaughtFrom<ESOAPException>([&] {
            ReadExportCharges(ChargesReply("<Charges hasMore=\"true\" needReRequest=\"" + flag + "\">" + charge +
                                           "</Charges>"),
                              &values);
        });
        EXPECT_EQ(again.ResultCode(), "needReRequest");
        EXPECT_EQ(again.message(),
                  "ResultCode=needReRequest Требуется повторный запрос (внешняя система недоступна либо получена ошибка).");
    }
    EXPECT_TRUE(values.Records.empty()) << "nothing is shown from a reply that has to be requested again";

    EXPECT_EQ(ReadExportCharges(ChargesReply("<Charges needReRequest=\"false\">" + charge + "</Charges>"), nullptr).Count, 1);
    EXPECT_THROW(ReadExportCharges(GisGmpReply("RESULT", ""), nullptr), EXMLException);
}

TEST(ExportCharges, RecordsAreTheDecodedChargeWithoutSignatureThenTheWrapper)
{
    const QByteArray first =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<bdi:Charge xmlns:bdi=\"urn:bdi\" xmlns:ds=\"http://www.w3.org/2000/09/xmldsig#\" supplierBillID=\"18810177\">"
        "<bdi:BillFor>Штраф ГИБДД</bdi:BillFor><bdi:TotalAmount>150000</bdi:TotalAmount>"
        "<ds:Signature><ds:SignatureValue>AAAA</ds:SignatureValue></ds:Signature></bdi:Charge>";
    const QByteArray second = "<Charge supplierBillID=\"2\"><KBK>18811630020016000140</KBK></Charge>";

    TRecordingValues values;
    const auto result = ReadExportCharges(
        ChargesReply("<Charges hasMore=\"false\">" + ChargeElement(first, "originatorId=\"A1\"") +
                     ChargeElement(second) + "</Charges>"),
        &values);

    EXPECT_EQ(result.Count, 2);
    ASSERT_EQ(values.Records.size(), 2u);
    EXPECT_EQ(values.Records[0].RootName, "Charge");
    EXPECT_EQ(values.Records[0].Lines,
              QStringList({"supplierBillID=18810177", "BillFor=Штраф ГИБДД", "TotalAmount=150000", "originatorId=A1"}));
    EXPECT_EQ(values.Records[1].Lines, QStringList({"supplierBillID=2", "KBK=18811630020016000140"}))
        << "the list is cleared between records";
    EXPECT_TRUE(values.Records[0].Xml.contains("Штраф ГИБДД")) << values.Records[0].Xml.constData();
}

TEST(ExportCharges, DamagedChargeDataIsAnErrorAfterTheRecordsBeforeIt)
{
    const QByteArray good = ChargeElement("<Charge supplierBillID=\"1\"/>");
    const auto readWith = [&](const QByteArray& bad, TRecordingValues& values) {
        ReadExportCharges(ChargesReply("<Charges>" + good + bad + "</Charges>"), &values);
    };

    struct TCase {
        const char* Name;
        QByteArray Element;
        QString Message;
    };
    const std::vector<TCase> cases{
        {"bad Base64", "<x><ChargeData>PENoYXJnZS8+*</ChargeData></x>", "ChargeData is not valid Base64"},
        {"bad UTF-8", "<x><ChargeData>" + QByteArray("<Charge>\xff\xfe</Charge>").toBase64() + "</ChargeData></x>",
         "ChargeData is not valid UTF-8"},
        {"missing", "<x><Other/></x>", "Node \"ChargeData\" not found"},
        {"other letter case", "<x><chargedata>" + QByteArray("<Charge/>").toBase64() + "</chargedata></x>",
         "Node \"ChargeData\" not found"},
    };
    for (const TCase& c : cases) {
        TRecordingValues values;
        auto e = CaughtFrom<EXMLException>([&] { readWith(c.Element, values); });
        EXPECT_EQ(e.message(), c.Message) << c.Name;
        EXPECT_EQ(values.Records.size(), 1u) << c.Name << ": the record before stays shown";
    }

    TRecordingValues values;
    EXPECT_THROW(readWith("<x><ChargeData>" + QByteArray("not xml <").toBase64() + "</ChargeData></x>", values),
                 EXMLException);
    EXPECT_EQ(values.Records.size(), 1u);

    // Base64 broken into lines, as XML allows, is not damage.
    QByteArray wrapped = QByteArray("<Charge supplierBillID=\"3\"/>").toBase64();
    wrapped.insert(8, "\r\n  ");
    TRecordingValues lined;
    ReadExportCharges(ChargesReply("<Charges><x><ChargeData>" + wrapped + "</ChargeData></x></Charges>"), &lined);
    ASSERT_EQ(lined.Records.size(), 1u);
    EXPECT_EQ(lined.Records[0].Lines, QStringList({"supplierBillID=3"}));
}

TEST(GisZhkhReaders, AckAndState)
{
    const auto ack = [](const QByteArray& status) {
        return Envelope("<ns:ackResult xmlns:ns=\"urn:ns\"><ns:Message><ns:Status>" + status +
                        "</ns:Status></ns:Message><ns:MessageData><ns:AppData><ns:AcknowledgmentResponse>"
                        "<ns:MessageGUID>6f1c2b1e-0000-4000-8000-000000000001</ns:MessageGUID>"
                        "</ns:AcknowledgmentResponse></ns:AppData></ns:MessageData></ns:ackResult>");
    };
    EXPECT_EQ(ReadAckResult(ack("ACCEPT")), "6f1c2b1e-0000-4000-8000-000000000001");
    EXPECT_EQ(ReadAckResult(ack("accept")), "6f1c2b1e-0000-4000-8000-000000000001");
    EXPECT_EQ(CaughtFrom<ESOAPException>([&] { ReadAckResult(ack("REJECT")); }).message(), "Error Status <REJECT>");
    EXPECT_EQ(CaughtFrom<EXMLException>([] { ReadAckResult(Envelope("<other/>")); }).message(),
              "Узел ackResult не найден.");

    const auto state = [](const QByteArray& status, const QByteArray& appData) {
        return Envelope("<getStateResult>" + status + "<MessageData><AppData>" + appData +
                        "</AppData></MessageData></getStateResult>");
    };
    const QByteArray status = "<Message><Status>PROCESSING</Status></Message>";
    const QByteArray error = "<ErrorMessage><ErrorCode>INT004</ErrorCode><Description>Нет доступа</Description></ErrorMessage>";
    EXPECT_EQ(ReadStateResult(state(status, "<CommonResult><TransportID>T-1</TransportID></CommonResult>")), "T-1")
        << "the status text is not examined";

    auto atAppData = CaughtFrom<ESOAPException>([&] {
        ReadStateResult(state(status, error + "<CommonResult><TransportID>T-1</TransportID></CommonResult>"));
    });
    EXPECT_EQ(atAppData.message(), "ResultCode=INT004 Нет доступа");
    auto atCommon = CaughtFrom<ESOAPException>(
        [&] { ReadStateResult(state(status, "<CommonResult><TransportID>T-1</TransportID>" + error + "</CommonResult>")); });
    EXPECT_EQ(atCommon.ResultCode(), "INT004");

    EXPECT_EQ(CaughtFrom<EXMLException>([&] {
                  ReadStateResult(state("", "<CommonResult><TransportID>T-1</TransportID></CommonResult>"));
              }).message(),
              "Узел Message не найден.");
    EXPECT_EQ(CaughtFrom<EXMLException>([&] {
                  ReadStateResult(state(status, "<ErrorMessage><ErrorCode>INT004</ErrorCode></ErrorMessage>"));
              }).message(),
              "Узел Description не найден.");
}

TEST(GisZhkhReaders, PaymentDocumentDetails)
{
    const auto details = [](const QByteArray& content) {
        return Envelope("<exportPaymentDocumentDetailsResult><MessageData><AppData>"
                        "<ExportPaymentDocumentDetails>" +
                        content + "</ExportPaymentDocumentDetails></AppData></MessageData></exportPaymentDocumentDetailsResult>");
    };
    TRecordingValues values;

    EXPECT_EQ(ReadPaymentDocumentDetails(
                  details("<ErrorMessage><ErrorCode>INT002012</ErrorCode><Description>Нет данных</Description></ErrorMessage>"),
                  &values),
              0)
        << "nothing found is no error";
    auto failed = CaughtFrom<ESOAPException>([&] {
        ReadPaymentDocumentDetails(
            details("<ErrorMessage><ErrorCode>INT002000</ErrorCode><Description>Сбой</Description></ErrorMessage>"), &values);
    });
    EXPECT_EQ(failed.message(), "ResultCode=INT002000 Сбой");

    const QByteArray reply =
        "<Result><ConsumerInformation><address><region>Москва</region></address></ConsumerInformation>"
        "<PaymentDocument><PaymentDocumentNumber>PD-1</PaymentDocumentNumber></PaymentDocument>"
        "<Service><ServiceID>S-1</ServiceID></Service>"
        "<PaymentDocument PaymentDocumentID=\"D2\"><PaymentDocumentDetails><Debt>1000</Debt></PaymentDocumentDetails>"
        "</PaymentDocument>"
        "<Year>2016</Year></Result>"
        "<Result><Service><ServiceID>S-2</ServiceID></Service></Result>";

    EXPECT_EQ(ReadPaymentDocumentDetails(details(reply), nullptr), 0);
    EXPECT_TRUE(values.Records.empty());

    EXPECT_EQ(ReadPaymentDocumentDetails(details(reply), &values), 4);
    ASSERT_EQ(values.Records.size(), 4u);
    const QStringList base{"ConsumerInformation\\address\\region=Москва", "Year=2016"};
    EXPECT_EQ(values.Records[0].Lines, base + QStringList{"PaymentDocumentNumber=PD-1"});
    EXPECT_EQ(values.Records[1].Lines, base + QStringList{"ServiceID=S-1"});
    EXPECT_EQ(values.Records[2].Lines, base + QStringList({"PaymentDocumentID=D2", "PaymentDocumentDetails\\Debt=1000"}));
    EXPECT_EQ(values.Records[3].Lines, QStringList{"ServiceID=S-2"}) << "each details element has its own base lines";
    EXPECT_EQ(values.Records[0].RootName, "PaymentDocument");
    EXPECT_EQ(values.Records[1].RootName, "Service");
    EXPECT_TRUE(values.Records[2].Xml.contains("D2"));
}
