// The GIS ZhKH reply readers on crafted replies: a negative result must reach the operation as
// ESOAPException with its code, and the payment documents must reach the display whole.

#include "foundation/XmlHelper.h"
#include "gisgkx/GisGkxReplies.h"
#include "support/Raised.h"
#include "support/ReplyDocuments.h"

#include <gtest/gtest.h>

TEST(GisZhkhReaders, AckStateAndPaymentDocumentDetails)
{
    const auto ack = [](const QByteArray& status) {
        return ReplyEnvelope("<ackResult><Message><Status>" + status +
                             "</Status></Message><MessageData><AppData>"
                             "<AcknowledgmentResponse><MessageGUID>6f1c</MessageGUID></"
                             "AcknowledgmentResponse></AppData></MessageData></ackResult>");
    };
    EXPECT_EQ(ReadAckResult(ack("accept")), "6f1c");
    EXPECT_EQ(Raised<ESOAPException>([&] { ReadAckResult(ack("REJECT")); }), "Error Status <REJECT>");

    const auto state = [](const QByteArray& appData) {
        return ReplyEnvelope("<getStateResult><Message><Status>X</Status></Message><MessageData><AppData>" +
                             appData + "</AppData></MessageData></getStateResult>");
    };
    const QByteArray error =
        "<ErrorMessage><ErrorCode>INT004</ErrorCode><Description>Нет доступа</Description></ErrorMessage>";
    EXPECT_EQ(ReadStateResult(state("<CommonResult><TransportID>T-1</TransportID></CommonResult>")), "T-1");
    EXPECT_EQ(Raised<ESOAPException>([&] { ReadStateResult(state(error + "<CommonResult/>")); }),
              "ResultCode=INT004 Нет доступа");
    EXPECT_EQ(Raised<ESOAPException>([&] {
                  ReadStateResult(
                      state("<CommonResult><TransportID>T</TransportID>" + error + "</CommonResult>"));
              }),
              "ResultCode=INT004 Нет доступа");

    const auto details = [](const QByteArray& content) {
        return ReplyEnvelope(
            "<exportPaymentDocumentDetailsResult><MessageData><AppData><ExportPaymentDocumentDetails>" +
            content +
            "</ExportPaymentDocumentDetails></AppData></MessageData></exportPaymentDocumentDetailsResult>");
    };
    TRecordingValues values;
    const QByteArray errorStart = "<ErrorMessage><Description>Нет</Description><ErrorCode>";
    EXPECT_EQ(
        ReadPaymentDocumentDetails(details(errorStart + "INT002012</ErrorCode></ErrorMessage>"), &values), 0);
    EXPECT_EQ(Raised<ESOAPException>([&] {
                  ReadPaymentDocumentDetails(details(errorStart + "INT002000</ErrorCode></ErrorMessage>"),
                                             &values);
              }),
              "ResultCode=INT002000 Нет");

    const QByteArray reply =
        "<Result><Address><region>Москва</region></Address>"
        "<PaymentDocument><Number>PD-1</Number></PaymentDocument><Service><ServiceID>S-1</ServiceID></"
        "Service>"
        "<PaymentDocument ID=\"D2\"><Debt>1000</Debt></PaymentDocument><Year>2016</Year></Result>"
        "<Result><Service><ServiceID>S-2</ServiceID></Service></Result>";
    EXPECT_EQ(ReadPaymentDocumentDetails(details(reply), nullptr), 0);
    EXPECT_EQ(ReadPaymentDocumentDetails(details(reply), &values), 4);
    const QStringList base{"Address\\region=Москва", "Year=2016"};
    const QList<QPair<QString, QStringList>> expected{
        {"PaymentDocument", base + QStringList{"Number=PD-1"}},
        {"Service", base + QStringList{"ServiceID=S-1"}},
        {"PaymentDocument", base + QStringList{"ID=D2", "Debt=1000"}},
        {"Service", {"ServiceID=S-2"}}};
    EXPECT_EQ(values.Records, expected);
}
