// The GIS GMP reply readers on crafted replies: a negative result must reach the operation as
// ESOAPException with its code, and the charges must reach the display whole.

#include "foundation/XmlHelper.h"
#include "gisgmp/GisGmpReplies.h"
#include "support/Raised.h"
#include "support/ReplyDocuments.h"

#include <gtest/gtest.h>

namespace {

XmlDocument GisGmpReply(const QByteArray& status, const QByteArray& response)
{
    return ReplyEnvelope(
        "<smev:GISGMPTransferMsg xmlns:smev=\"urn:smev\"><smev:Message><smev:Status>" + status +
        "</smev:Status></smev:Message><smev:MessageData><smev:AppData><m:ResponseMessage xmlns:m=\"urn:m\">" +
        response + "</m:ResponseMessage></smev:AppData></smev:MessageData></smev:GISGMPTransferMsg>");
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

TEST(GisGmpReaders, StatusProcessResultAndPackageStatus)
{
    const QByteArray accepted =
        "<Ticket><RequestProcessResult><ResultCode>0</ResultCode><ResultData>PKG-42</ResultData>"
        "</RequestProcessResult></Ticket>";
    EXPECT_EQ(ReadImportResult(GisGmpReply("result", accepted)), "PKG-42");
    EXPECT_EQ(Raised<ESOAPException>([&] { ReadImportResult(GisGmpReply("REJECT", accepted)); }),
              "Error Status <REJECT>");
    EXPECT_EQ(Raised<ESOAPException>([] {
                  ReadImportResult(GisGmpReply(
                      "RESULT", "<Ticket><RequestProcessResult><ResultCode>12</ResultCode>"
                                "<ResultDescription>Неверная подпись</ResultDescription>"
                                "<ResultData>Подробно</ResultData></RequestProcessResult></Ticket>"));
              }),
              "ResultCode=12 Неверная подпись\r\nПодробно");
    EXPECT_EQ(Raised<EXMLException>([] { ReadImportResult(GisGmpReply("RESULT", "")); }),
              "Узел Ticket не найден.");

    const auto entity = [](const QByteArray& attributes, const QByteArray& content) {
        return GisGmpReply("RESULT", "<Ticket><PackageProcessResult><EntityProcessResult " + attributes +
                                         ">" + content +
                                         "</EntityProcessResult></PackageProcessResult></Ticket>");
    };
    EXPECT_EQ(ReadPackageStatus(entity("entityId=\"I_123\"", "<ResultCode>0</ResultCode>")), "I_123");
    EXPECT_EQ(ReadPackageStatus(entity("", "<ResultCode>0</ResultCode>")), "");
    try {
        ReadPackageStatus(
            entity("", "<ResultCode>50</ResultCode><ResultDescription>Не завершена</ResultDescription>"));
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
                  "ResultCode=needReRequest Требуется повторный запрос (внешняя система недоступна либо "
                  "получена ошибка).");
    EXPECT_TRUE(values.Records.isEmpty()) << "nothing is shown from a reply that must be requested again";
}

TEST(ExportCharges, RecordsAndDamagedChargeData)
{
    const QByteArray first =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<b:Charge xmlns:b=\"u\" xmlns:ds=\"d\" supplierBillID=\"188\"><b:BillFor>Штраф</b:BillFor>"
        "<ds:Signature><ds:SignatureValue>AAAA</ds:SignatureValue></ds:Signature></b:Charge>";
    QByteArray wrapped = QByteArray("<Charge><KBK>182</KBK></Charge>").toBase64();
    wrapped.insert(8, "\r\n  "); // line breaks are allowed in Base64 text

    TRecordingValues values;
    const auto result =
        ReadExportCharges(ChargesReply("<Charges>" + Charge(first, "originatorId=\"A1\"") +
                                       "<x><ChargeData>" + wrapped + "</ChargeData></x></Charges>"),
                          &values);
    EXPECT_EQ(result.Count, 2);
    ASSERT_EQ(values.Records.size(), 2);
    EXPECT_EQ(values.Records[0].first, "Charge");
    EXPECT_EQ(values.Records[0].second,
              QStringList({"supplierBillID=188", "BillFor=Штраф", "originatorId=A1"}));
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
        {"<x><ChargeData>" + QByteArray("<a>\xff</a>").toBase64() + "</ChargeData></x>",
         "ChargeData is not valid UTF-8"},
        {"<x><chargedata>" + QByteArray("<a/>").toBase64() + "</chargedata></x>",
         "Node \"ChargeData\" not found"},
    };
    for (const auto& [element, message] : damaged) {
        TRecordingValues shown;
        EXPECT_EQ(Raised<EXMLException>([&] {
                      ReadExportCharges(ChargesReply("<Charges>" + Charge("<a/>") + element + "</Charges>"),
                                        &shown);
                  }),
                  message);
        EXPECT_EQ(shown.Records.size(), 1) << "the record before stays shown";
    }
    EXPECT_THROW(ReadExportCharges(ChargesReply("<Charges>" + Charge("not xml <") + "</Charges>"), &values),
                 EXMLException);
}
