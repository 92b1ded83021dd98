// The reply readers on crafted replies: faults and negative results must reach the operation as
// ESOAPException with their codes, and records must reach the display whole.

#include "foundation/XmlHelper.h"
#include "smev/SoapReply.h"
#include "support/Raised.h"
#include "support/ReplyDocuments.h"

#include <gtest/gtest.h>

TEST(SoapException, MessagesAndTheSmevCode)
{
    const auto result = ESOAPException::CreateResult("7", "Отклонен", "\r\n  подробности \n");
    EXPECT_EQ(result.message(), "ResultCode=7 Отклонен\r\nподробности");
    EXPECT_EQ(result.ResultData(), "\r\n  подробности \n");
    EXPECT_EQ(ESOAPException::CreateResult("50", "Не обработан", " \r\n ").message(),
              "ResultCode=50 Не обработан");
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
    EXPECT_NO_THROW(CheckSoapEnvelope(
        XmlDocument::parse("<x:envelope xmlns:x=\"u\"><x:Body/></x:envelope>").documentElement()));
    EXPECT_EQ(Raised<ESOAPException>(
                  [] { CheckSoapEnvelope(XmlDocument::parse("<s:Body xmlns:s=\"u\"/>").documentElement()); }),
              "Invalid name: Body");

    const QByteArray nested =
        "<detail><n:nested xmlns:n=\"u\"><n:fault><n:location><n:node>GISGMP</n:node></n:location>"
        "<n:reason>Сервис "
        "недоступен</n:reason><n:errorCode>SMEV-500</n:errorCode></n:fault></n:nested></detail>";
    const QByteArray error = "<MessageData><AppData><ErrorMessage><ErrorCode>INT001</ErrorCode>"
                             "<Description>Ошибка ЭП</Description></ErrorMessage></AppData></MessageData>";
    const std::pair<QByteArray, QString> cases[] = {
        // faultcode wins over everything else
        {"<faultcode>soapenv:Server</faultcode><faultstring>SMEV-100003: Service not "
         "available</faultstring>" +
             nested + error,
         "soapenv:Server SMEV-100003: Service not available"},
        {nested + error, "SMEV-500 GISGMP: Сервис недоступен"},
        {error, "ResultCode=INT001 Ошибка ЭП"},
        {"<faultactor>x</faultactor>", "Fault Unknown error"},
    };
    for (const auto& [fault, message] : cases)
        EXPECT_EQ(Raised<ESOAPException>([&] {
                      CheckSoapEnvelope(
                          ReplyEnvelope("<soapenv:Fault>" + fault + "</soapenv:Fault>").documentElement());
                  }),
                  message);
    // A fault missing a part it must have is a malformed reply.
    EXPECT_EQ(Raised<EXMLException>([] {
                  CheckSoapEnvelope(
                      ReplyEnvelope("<Fault><faultcode>c</faultcode></Fault>").documentElement());
              }),
              "Узел faultstring не найден.");
}
