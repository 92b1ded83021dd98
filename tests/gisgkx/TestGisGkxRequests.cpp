#include "foundation/Exceptions.h"
#include "foundation/TextHelper.h"
#include "gisgkx/GisGkxCodes.h"
#include "gisgkx/GisGkxRequests.h"
#include "smev/SmevEnvelope.h"
#include "support/GoldenText.h"
#include "support/MessageAssertions.h"
#include "support/Raised.h"
#include "support/SampleForms.h"
#include "support/TestKeys.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString Signer = QStringLiteral("signer");

using Builder = std::function<QString(const QString&, ISOAPValues&)>;

struct Request {
    const char* golden;
    FakeSoapValues (*form)();
    Builder build;
};

const Request Requests[] = {
    {"ExportPaymentDocumentDetailsRequest.xml", GisGkxDetailsForm,
     SoapCreateExportPaymentDocumentDetailsRequest},
    {"ImportNotificationsOfOrderExecutionRequest.xml", GisGkxPaymentForm,
     SoapCreateImportNotificationsOfOrderExecutionRequest},
    {"ImportNotificationsOfOrderExecutionCancellationRequest.xml", GisGkxCancelForm,
     SoapCreateImportNotificationsOfOrderExecutionCancellationRequest},
    {"GetStateRequest.xml", GisGkxStateForm, SoapCreateGetStateRequest},
};

QString Golden(const char* name)
{
    return QStringLiteral(ZELVAN_TEST_FOLDER) + QStringLiteral("/golden/") + QLatin1String(name);
}

QString AppData(const QString& request)
{
    const qsizetype start = request.indexOf(QStringLiteral("<rev:AppData>"));
    const qsizetype end = request.indexOf(QStringLiteral("</rev:AppData>"));
    return start < 0 || end < 0 ? QString() : request.mid(start + 13, end - start - 13);
}

const QStringList HeaderKeys{"SenderCode",     "SenderName",     "RecipientCode", "RecipientName",
                             "OriginatorCode", "OriginatorName", "ServiceName",   "TypeCode",
                             "MessageStatus",  "MessageDate",    "ExchangeType"};

class GisGkxRequests : public ::testing::Test {};

} // namespace

TEST_F(GisGkxRequests, GoldenMessages)
{
    for (const Request& request : Requests) {
        FakeSoapValues form = request.form();
        EXPECT_TRUE(MatchesGolden(request.build(QString(), form), Golden(request.golden)));
    }
}

TEST_F(GisGkxRequests, EverySignedRequestVerifiesAndDeclaresOnlyTheRootPrefix)
{
    TestKeyStore keys;
    keys.addContainer(Signer);
    const QString escaped = QStringLiteral("A&amp;B &lt;тег&gt; \"кавычки\" Ж");
    for (const Request& request : Requests) {
        for (bool markup : {false, true}) {
            FakeSoapValues form = request.form();
            if (markup) {
                // Every value a text the operator could type, escaped as the provider does.
                form.setAll(escaped);
                form.set("Comment", QStringLiteral("Строка 1&#xD;\nСтрока 2"));
            }
            const QString body = request.build(Signer, form);
            EXPECT_EQ(body.count(QStringLiteral("xmlns:")), 1) << request.golden;
            EXPECT_TRUE(body.startsWith(QStringLiteral("<rev:")));
            EXPECT_TRUE(body.contains(QStringLiteral("<rev:Message><rev:Sender>"))) << request.golden;
            EXPECT_TRUE(IsNamespaceWellFormed(body.toUtf8())) << request.golden;
            if (markup) {
                EXPECT_TRUE(
                    body.contains(QStringLiteral("<rev:Name>") + escaped + QStringLiteral("</rev:Name>")));
            }

            ContainerKey key(keys.store(), Signer);
            const QString envelope = BuildSignedEnvelope(key, body, form.identifiers());
            const SignatureCheck check = CheckEnvelopeSignature(envelope.toUtf8());
            EXPECT_TRUE(Verified(check)) << request.golden;
            EXPECT_EQ(check.signedC14N, SliceFromTo(envelope, "<soapenv:Body ", "</soapenv:Body>").toUtf8())
                << request.golden;
        }
    }
}

TEST_F(GisGkxRequests, DetailsRequestGroups)
{
    FakeSoapValues form = GisGkxDetailsForm();
    for (const char* key : {"Year", "Month", "UnifiedAccountNumber", "IndividualSurname",
                            "IndividualFirstName", "IndividualPatronymic"})
        form.set(key, "");
    EXPECT_EQ(AppData(SoapCreateExportPaymentDocumentDetailsRequest(QString(), form)),
              QStringLiteral("<rev:PaymentDocumentDetailsRequest></rev:PaymentDocumentDetailsRequest>"));

    form.set("IndividualSurname", "Петров");
    EXPECT_EQ(
        AppData(SoapCreateExportPaymentDocumentDetailsRequest(QString(), form)),
        QStringLiteral("<rev:PaymentDocumentDetailsRequest><rev:AmountRequired><rev:Individual><rev:Surname>"
                       "Петров</rev:Surname></rev:Individual></rev:AmountRequired>"
                       "</rev:PaymentDocumentDetailsRequest>"));

    form.set("IndividualSurname", "").set("LegalKPP", "770101001");
    EXPECT_EQ(
        AppData(SoapCreateExportPaymentDocumentDetailsRequest(QString(), form)),
        QStringLiteral("<rev:PaymentDocumentDetailsRequest><rev:AmountRequired><rev:Legal><rev:KPP>770101001"
                       "</rev:KPP></rev:Legal></rev:AmountRequired></rev:PaymentDocumentDetailsRequest>"));

    // Every criterion filled: document order.
    form.setAll(QStringLiteral("x"));
    form.clearReads();
    const QString all = AppData(SoapCreateExportPaymentDocumentDetailsRequest(QString(), form));
    EXPECT_EQ(
        all,
        QStringLiteral(
            "<rev:PaymentDocumentDetailsRequest><rev:PaymentDocumentID>x</rev:PaymentDocumentID>"
            "<rev:Year>x</rev:Year><rev:Month>x</rev:Month><rev:UnifiedAccountNumber>x"
            "</rev:UnifiedAccountNumber><rev:FIASHouseGuid>x</rev:FIASHouseGuid><rev:PaymentDocumentNumber>"
            "x</rev:PaymentDocumentNumber><rev:AccountNumber>x</rev:AccountNumber><rev:ServiceID>x"
            "</rev:ServiceID><rev:AmountRequired><rev:Individual><rev:Surname>x</rev:Surname>"
            "<rev:FirstName>x</rev:FirstName><rev:Patronymic>x</rev:Patronymic></rev:Individual>"
            "<rev:Legal><rev:INN>x</rev:INN><rev:KPP>x</rev:KPP></rev:Legal></rev:AmountRequired>"
            "</rev:PaymentDocumentDetailsRequest>"));
    EXPECT_EQ(form.reads(),
              (HeaderKeys + QStringList{"PaymentDocumentID", "Year", "Month", "UnifiedAccountNumber",
                                        "FIASHouseGuid", "PaymentDocumentNumber", "AccountNumber",
                                        "ServiceID", "IndividualSurname", "IndividualFirstName",
                                        "IndividualPatronymic", "LegalINN", "LegalKPP"}));
}

TEST_F(GisGkxRequests, NotificationPresenceAndOrder)
{
    FakeSoapValues form = GisGkxPaymentForm();
    for (const char* key : {"EntprRecipientSurname",
                            "EntprRecipientFirstName",
                            "EntprRecipientPatronymic",
                            "LegalRecipientKPP",
                            "LegalRecipientName",
                            "PaymentRecipientKPP",
                            "PaymentPurpose",
                            "Comment",
                            "PaymentDocumentID",
                            "PaymentDocumentNumber",
                            "Year",
                            "Month",
                            "UnifiedAccountNumber",
                            "FIASHouseGuid",
                            "HouseApartment",
                            "HousePlacement",
                            "ConsumerSurname",
                            "ConsumerFirstName",
                            "ConsumerPatronymic",
                            "ConsumerINN",
                            "ServiceID",
                            "AccountNumber",
                            "SupplierName",
                            "PaymentBankName"})
        form.set(key, "");
    EXPECT_EQ(
        AppData(SoapCreateImportNotificationsOfOrderExecutionRequest(QString(), form)),
        QStringLiteral(
            "<rev:importNotificationsOfOrderExecution><rev:payment-organization-guid>"
            "7d3a9c1e-5f2b-4e8a-b6c4-1a2b3c4d5e6f</rev:payment-organization-guid>"
            "<rev:NotificationOfOrderExecutionType><rev:SupplierInfo><rev:SupplierID>27701234567770101001"
            "</rev:SupplierID><rev:SupplierName></rev:SupplierName></rev:SupplierInfo><rev:RecipientInfo>"
            "<rev:INN>7701234567</rev:INN><rev:PaymentInformation><rev:RecipientINN>7701234567"
            "</rev:RecipientINN><rev:BankName></rev:BankName><rev:PaymentRecipient>ООО \"УК Дом\""
            "</rev:PaymentRecipient><rev:BankBIK>044525225</rev:BankBIK><rev:operatingAccountNumber>"
            "40702810938000000001</rev:operatingAccountNumber><rev:CorrespondentBankAccount>"
            "30101810400000000225</rev:CorrespondentBankAccount></rev:PaymentInformation></rev:RecipientInfo>"
            "<rev:OrderInfo><rev:OrderID>12000000000005032016000000000007</rev:OrderID><rev:OrderDate>"
            "2016-03-05</rev:OrderDate><rev:OrderNum>7</rev:OrderNum><rev:Amount>123450</rev:Amount>"
            "</rev:OrderInfo><rev:TransportGUID>00000000-0000-4000-8000-000000000001</rev:TransportGUID>"
            "</rev:NotificationOfOrderExecutionType></rev:importNotificationsOfOrderExecution>"));

    // The entrepreneur and the legal entity both, in that order after the INN.
    form.set("EntprRecipientSurname", "Сидоров").set("LegalRecipientKPP", "770101001");
    const QString both = SoapCreateImportNotificationsOfOrderExecutionRequest(QString(), form);
    EXPECT_TRUE(
        both.contains(QStringLiteral("<rev:INN>7701234567</rev:INN><rev:Entpr><rev:Surname>Сидоров"
                                     "</rev:Surname></rev:Entpr><rev:Legal><rev:KPP>770101001</rev:KPP>"
                                     "</rev:Legal><rev:PaymentInformation>")));

    // Service and address groups appear with any one of their children.
    form.set("ServiceID", "S-1").set("ConsumerINN", "500100732259").set("AccountNumber", "ЛС-1");
    EXPECT_TRUE(SoapCreateImportNotificationsOfOrderExecutionRequest(QString(), form)
                    .contains(QStringLiteral(
                        "</rev:Amount><rev:AddressAndConsumer><rev:INN>500100732259</rev:INN>"
                        "</rev:AddressAndConsumer><rev:Service><rev:ServiceID>S-1</rev:ServiceID>"
                        "</rev:Service><rev:AccountNumber>ЛС-1</rev:AccountNumber>"
                        "</rev:OrderInfo>")));

    // Values are read in document order; the transport GUID is new for every message.
    form = GisGkxPaymentForm();
    const QString first = SoapCreateImportNotificationsOfOrderExecutionRequest(QString(), form);
    EXPECT_EQ(form.reads(), (HeaderKeys + QStringList{"payment-organization-guid",
                                                      "SupplierID",
                                                      "SupplierName",
                                                      "RecipientINN",
                                                      "EntprRecipientSurname",
                                                      "EntprRecipientFirstName",
                                                      "EntprRecipientPatronymic",
                                                      "LegalRecipientKPP",
                                                      "LegalRecipientName",
                                                      "PaymentRecipientINN",
                                                      "PaymentRecipientKPP",
                                                      "PaymentBankName",
                                                      "PaymentRecipient",
                                                      "PaymentBankBIK",
                                                      "PaymentOperatingAccountNumber",
                                                      "PaymentCorrespondentBankAccount",
                                                      "OrderID",
                                                      "OrderDate",
                                                      "OrderNum",
                                                      "Amount",
                                                      "PaymentPurpose",
                                                      "Comment",
                                                      "PaymentDocumentID",
                                                      "PaymentDocumentNumber",
                                                      "Year",
                                                      "Month",
                                                      "UnifiedAccountNumber",
                                                      "FIASHouseGuid",
                                                      "HouseApartment",
                                                      "HousePlacement",
                                                      "ConsumerSurname",
                                                      "ConsumerFirstName",
                                                      "ConsumerPatronymic",
                                                      "ConsumerINN",
                                                      "ServiceID",
                                                      "AccountNumber",
                                                      "TransportGUID"}));
    const QString second = SoapCreateImportNotificationsOfOrderExecutionRequest(QString(), form);
    EXPECT_TRUE(first.contains(QStringLiteral("<rev:TransportGUID>00000000-0000-4000-8000-000000000001<")));
    EXPECT_TRUE(second.contains(QStringLiteral("<rev:TransportGUID>00000000-0000-4000-8000-000000000002<")));
}

TEST_F(GisGkxRequests, CancellationAndStateQuery)
{
    FakeSoapValues form = GisGkxCancelForm();
    form.set("Comment", "");
    EXPECT_EQ(
        AppData(SoapCreateImportNotificationsOfOrderExecutionCancellationRequest(QString(), form)),
        QStringLiteral("<rev:importNotificationsOfOrderExecutionCancellation><rev:payment-organization-guid>"
                       "7d3a9c1e-5f2b-4e8a-b6c4-1a2b3c4d5e6f</rev:payment-organization-guid>"
                       "<rev:NotificationOfOrderExecutionCancellation><rev:OrderID>"
                       "12000000000005032016000000000007</rev:OrderID><rev:CancellationDate>2016-03-06"
                       "</rev:CancellationDate><rev:TransportGUID>00000000-0000-4000-8000-000000000001"
                       "</rev:TransportGUID></rev:NotificationOfOrderExecutionCancellation>"
                       "</rev:importNotificationsOfOrderExecutionCancellation>"));

    FakeSoapValues state = GisGkxStateForm();
    state.set("MessageGUID", "");
    state.options.testMode = false;
    const QString request = SoapCreateGetStateRequest(QString(), state);
    EXPECT_TRUE(request.contains(
        QStringLiteral("<rev:ExchangeType>2</rev:ExchangeType></rev:Message><rev:MessageData>"
                       "<rev:AppData><rev:AcknowledgmentRequest><rev:MessageGUID>"
                       "</rev:MessageGUID></rev:AcknowledgmentRequest></rev:AppData>"
                       "</rev:MessageData></rev:getStateRequest>")));
    EXPECT_EQ(state.reads(), (HeaderKeys + QStringList{"MessageGUID"}));

    // The header is built before anything else is read: a missing header key is the one reported.
    FakeSoapValues broken = GisGkxCancelForm();
    broken.remove("ServiceName").remove("OrderID");
    try {
        SoapCreateImportNotificationsOfOrderExecutionCancellationRequest(QString(), broken);
        FAIL() << "built without a value";
    } catch (const EFakeUnknownValue& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Не определено значение для <ServiceName>"));
    }
}

TEST(GisGkxCodes, OrderIdentifiers)
{
    EXPECT_EQ(MakeOrderID(QStringLiteral("12"), QStringLiteral("05.03.2016"), QStringLiteral("7")),
              QStringLiteral("120000000000") + QStringLiteral("05032016") + QStringLiteral("000000000007"));
    EXPECT_EQ(MakeOrderID(QString(), QString(), QString()), QString(32, u'0'));
    EXPECT_EQ(MakeOrderID(QStringLiteral("1234567890123"), QStringLiteral("1.2.16 10:00"),
                          QStringLiteral("9876543210987")),
              QStringLiteral("1234567890123") + QStringLiteral("01022016") + QStringLiteral("9876543210987"));
    EXPECT_EQ(Raised<EConvertError>([] {
                  MakeOrderID(QStringLiteral("12"), QStringLiteral("32.01.2016"), QStringLiteral("7"));
              }),
              QStringLiteral("'32.01.2016' is not a valid date and time"));
}
