// The sandbox's checks and answers, with requests signed by OpenSSL directly (the sandbox's own
// signer), never by the client's writers.
#include "sandbox/EnvelopeSigner.h"
#include "sandbox/SandboxServer.h"
#include "smev/SignatureVerifier.h"
#include "support/MessageAssertions.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <httplib.h>

#include <openssl/rsa.h>

#include <thread>

namespace {

const QString GkxPayments = QStringLiteral("/gateway/services/SID0004154");
const QByteArray StateAction = "\"urn:async_getResult\"";

// A GIS ZhKH request: its SMEV header and the application data.
QString GkxRequest(const QString& element, const QString& appData,
                   const QString& status = QStringLiteral("REQUEST"))
{
    return QStringLiteral(
               "<rev:%1 xmlns:rev=\"http://smev.gosuslugi.ru/rev120315\"><rev:Message>"
               "<rev:Sender><rev:Code>BANK01001</rev:Code><rev:Name>Банк</rev:Name></rev:Sender>"
               "<rev:Recipient><rev:Code>MNSV10000</rev:Code><rev:Name>ГИС ЖКХ</rev:Name></rev:Recipient>"
               "<rev:ServiceName>GISGKX</rev:ServiceName><rev:TypeCode>GFNC</rev:TypeCode>"
               "<rev:Status>%3</rev:Status><rev:Date>2026-03-05T12:30:00.000Z</rev:Date>"
               "<rev:ExchangeType>2</rev:ExchangeType></rev:Message><rev:MessageData><rev:AppData>%2"
               "</rev:AppData></rev:MessageData></rev:%1>")
        .arg(element, appData, status);
}

QString StateRequest(const QString& guid, const QString& status = QStringLiteral("REQUEST"))
{
    return GkxRequest(QStringLiteral("getStateRequest"),
                      QStringLiteral("<rev:AcknowledgmentRequest><rev:MessageGUID>%1</rev:MessageGUID>"
                                     "</rev:AcknowledgmentRequest>")
                          .arg(guid),
                      status);
}

class Sandbox : public ::testing::Test {
  protected:
    SandboxIdentity client = MakeSandboxIdentity(); // a signer of its own, issued by another authority
    QByteArray clientDer = CertificateDer(client.signerCertificate.get());
    SandboxIdentity sandbox = MakeSandboxIdentity();

    QByteArray Sign(const QString& body)
    {
        return SignedSoapEnvelope(body, clientDer, client.signerKey.get());
    }
};

} // namespace

TEST_F(Sandbox, OpenSslSignedRequestIsAcceptedAndEveryDamageRefusedWithItsCode)
{
    SandboxService service(LoadDemoData(), sandbox);
    const QByteArray good = Sign(StateRequest(QStringLiteral("E4F5A6B7")));
    SandboxReply reply = service.handle(GkxPayments, StateAction, good);
    EXPECT_EQ(reply.status, 200) << reply.body.toStdString();
    EXPECT_EQ(reply.operation, "state");
    EXPECT_TRUE(Verified(CheckEnvelopeSignature(reply.body)));
    EXPECT_TRUE(reply.body.contains("Сообщение E4F5A6B7 не найдено"));

    // An RSA certificate whose key verifies the message is still no GOST certificate.
    EvpPkeyPtr rsa(EVP_RSA_gen(1024));
    X509Ptr rsaCertificate(X509_dup(client.signerCertificate.get()));
    X509_set_pubkey(rsaCertificate.get(), rsa.get());
    X509_sign(rsaCertificate.get(), rsa.get(), EVP_sha256());
    QByteArray rsaSigned = good;
    rsaSigned.replace(clientDer.toBase64(), CertificateDer(rsaCertificate.get()).toBase64());

    QByteArray tampered = good;
    tampered.replace("E4F5A6B7", "E4F5A6B8");
    QByteArray badToken = good;
    badToken.replace(clientDer.toBase64().left(8), "@@@@@@@@");
    struct Case {
        const char* what;
        QByteArray body;
        QByteArray action;
        const char* code;
    };
    const Case cases[] = {
        {"one character of the Body", tampered, StateAction, "SMEV-100007"},
        {"not XML", "this is not XML", StateAction, "SMEV-100001"},
        {"a DTD", "<!DOCTYPE a [<!ENTITY x \"y\">]><a>&x;</a>", StateAction, "SMEV-100002"},
        {"no envelope", "<a/>", StateAction, "SMEV-100003"},
        {"garbage Base64 certificate", badToken, StateAction, "SMEV-100007"},
        {"not a GOST certificate", rsaSigned, StateAction, "SMEV-100008"},
        {"wrong SOAPAction", good, "\"urn:async_getId_import_notifications_of_order_execution\"",
         "SMEV-100005"},
        {"header status", Sign(StateRequest(QStringLiteral("E4"), QStringLiteral("RESULT"))), StateAction,
         "SMEV-100006"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reply = service.handle(GkxPayments, c.action, c.body);
        EXPECT_EQ(reply.status, 500);
        EXPECT_TRUE(reply.body.contains(QByteArray("<faultcode>") + c.code + "</faultcode>"))
            << reply.body.toStdString();
        // Signed as every answer is, so a client that checks replies shows the refusal.
        EXPECT_TRUE(Verified(CheckEnvelopeSignature(reply.body)));
    }
    // And the next good request is served.
    EXPECT_EQ(service.handle(GkxPayments, StateAction, good).status, 200);

    // A cancellation of an order nobody notified is acknowledged, then refused in the state answer.
    reply = service.handle(
        GkxPayments, "\"urn:async_getId_import_notifications_of_order_execution_cancellation\"",
        Sign(
            GkxRequest(QStringLiteral("importNotificationsOfOrderExecutionCancellationRequest"),
                       QStringLiteral("<rev:importNotificationsOfOrderExecutionCancellation>"
                                      "<rev:NotificationOfOrderExecutionCancellation>"
                                      "<rev:OrderID>UNKNOWN-ORDER</rev:OrderID><rev:TransportGUID>"
                                      "T-9</rev:TransportGUID></rev:NotificationOfOrderExecutionCancellation>"
                                      "</rev:importNotificationsOfOrderExecutionCancellation>"))));
    ASSERT_EQ(reply.status, 200) << reply.body.toStdString();
    const QString guid =
        QString::fromUtf8(reply.body).section(QStringLiteral("MessageGUID>"), 1, 1).section(u'<', 0, 0);
    reply = service.handle(GkxPayments, StateAction, Sign(StateRequest(guid)));
    EXPECT_TRUE(reply.body.contains("<rev:TransportID>T-9</rev:TransportID>"));
    EXPECT_TRUE(reply.body.contains("<rev:ErrorCode>INT002012</rev:ErrorCode>")) << reply.body.toStdString();

    // With a trust file only the certificates its authority issued pass.
    SandboxService trusting(LoadDemoData(), sandbox, sandbox.caCertificatePem());
    reply = trusting.handle(GkxPayments, StateAction, good);
    EXPECT_TRUE(reply.body.contains("<faultcode>SMEV-100009</faultcode>")) << reply.body.toStdString();
    SandboxService trustingClient(LoadDemoData(), sandbox,
                                  client.caCertificatePem() + sandbox.caCertificatePem());
    EXPECT_EQ(trustingClient.handle(GkxPayments, StateAction, good).status, 200);
}

TEST_F(Sandbox, ServesOverHttpConcurrentlyRefusesLargeBodiesAndTakesFaultsFromTheControlAddress)
{
    QTemporaryDir dump;
    QStringList lines;
    std::mutex linesMutex;
    SandboxOptions options;
    options.port = 0;
    options.maxBody = 64 * 1024;
    options.dumpFolder = dump.path();
    options.log = [&](const QString& line) {
        std::lock_guard lock(linesMutex);
        lines << line;
    };
    SandboxServer server(options);
    const QByteArray request = Sign(StateRequest(QStringLiteral("G-1")));

    std::atomic<int> served{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 8; ++i)
        clients.emplace_back([&] {
            httplib::Client http("127.0.0.1", server.port());
            const auto result =
                http.Post(GkxPayments.toStdString(), {{"SOAPAction", StateAction.toStdString()}},
                          request.toStdString(), "text/xml; charset=utf-8");
            if (result && result->status == 200 &&
                CheckEnvelopeSignature(QByteArray::fromStdString(result->body)).verified())
                ++served;
        });
    for (std::thread& thread : clients)
        thread.join();
    EXPECT_EQ(served, 8);

    httplib::Client http("127.0.0.1", server.port());
    auto result = http.Post(GkxPayments.toStdString(), std::string(100 * 1024, 'x'), "text/xml");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 413);

    result = http.Post("/sandbox/fault", "state=http-error", "text/plain");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    result = http.Post(GkxPayments.toStdString(), {{"SOAPAction", StateAction.toStdString()}},
                       request.toStdString(), "text/xml");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 503);
    // Refused as a whole and not echoed: a page that posts here must not make the sandbox say it.
    result = http.Post("/sandbox/fault", "state=none\n<script>flood</script>", "text/plain");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 400);
    EXPECT_EQ(result->body.find("script"), std::string::npos) << result->body;
    result = http.Post(GkxPayments.toStdString(), {{"SOAPAction", StateAction.toStdString()}},
                       request.toStdString(), "text/xml");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 503);

    result = http.Get("/sandbox/certificate");
    ASSERT_TRUE(result);
    EXPECT_EQ(X509_cmp(ReadCertificate(QByteArray::fromStdString(result->body)).get(),
                       server.identity().signerCertificate.get()),
              0);

    std::lock_guard lock(linesMutex);
    EXPECT_EQ(lines.filter(QStringLiteral(" state unknown message message=G-1")).size(), 8)
        << lines.join(u'\n').toStdString();
    EXPECT_EQ(lines.filter(QStringLiteral("SMEV-100013")).size(), 1);
    EXPECT_EQ(QDir(dump.path()).entryList({QStringLiteral("*-state-request.xml")}).size(), 10);
}

TEST_F(Sandbox, RefusesToStartOnABusyPortOrWithATrustFileThatTrustsNothing)
{
    SandboxOptions options;
    options.port = 0;
    options.log = [](const QString&) {};
    SandboxServer first(options);
    // Sharing the port would hand the second one half of the first one's requests.
    SandboxOptions second = options;
    second.port = first.port();
    try {
        SandboxServer busy(second);
        ADD_FAILURE() << "a second sandbox listens on port " << first.port();
    } catch (const Exception& e) {
        EXPECT_TRUE(e.message().contains(QString::number(first.port()))) << e.message().toStdString();
    }

    QTemporaryDir folder;
    const QString empty = folder.filePath(QStringLiteral("empty.pem"));
    QFile(empty).open(QIODevice::WriteOnly);
    const auto writeCa = [&](const char* name, const SandboxIdentity& identity) {
        QFile file(folder.filePath(QLatin1String(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(identity.caCertificatePem());
        return file.fileName();
    };
    const QString ca = writeCa("client-ca.pem", client);
    const QString other = writeCa("other-ca.pem", MakeSandboxIdentity());
    for (const QStringList& files :
         {QStringList{empty}, QStringList{ca, folder.filePath(QStringLiteral("none"))}}) {
        SandboxOptions trusting = options;
        trusting.trustFiles = files;
        try {
            SandboxServer refused(trusting);
            ADD_FAILURE() << "started trusting " << files.join(u' ').toStdString();
        } catch (const Exception& e) {
            EXPECT_TRUE(e.message().contains(QFileInfo(files.last()).fileName()))
                << e.message().toStdString();
        }
    }
    // Several files add up: the client's authority is still trusted after another file.
    SandboxOptions both = options;
    both.trustFiles = {ca, other};
    SandboxServer trusting(both);
    httplib::Client http("127.0.0.1", trusting.port());
    const auto result = http.Post(GkxPayments.toStdString(), {{"SOAPAction", StateAction.toStdString()}},
                                  Sign(StateRequest(QStringLiteral("G-1"))).toStdString(), "text/xml");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200) << result->body;
}

TEST(SandboxIdentity, KeptInItsFolderAndReusedAndItsCertificatesChainToItsAuthority)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("identity"));
    const SandboxIdentity first = LoadOrMakeSandboxIdentity(path);
    const SandboxIdentity again = LoadOrMakeSandboxIdentity(path);
    EXPECT_EQ(X509_cmp(first.signerCertificate.get(), again.signerCertificate.get()), 0);
    EXPECT_EQ(EVP_PKEY_eq(first.signerKey.get(), again.signerKey.get()), 1);
    const QByteArray ca = first.caCertificatePem();
    EXPECT_EQ(CertificateTrustFailure(CertificateDer(first.signerCertificate.get()), ca), "");
    EXPECT_EQ(CertificateTrustFailure(CertificateDer(first.timeStampCertificate.get()), ca), "");
    EXPECT_NE(CertificateTrustFailure(CertificateDer(MakeSandboxIdentity().signerCertificate.get()), ca), "");
    // A certificate outside its validity period is not trusted, even from the right authority.
    const SandboxIdentity expired = MakeSandboxIdentity(-1);
    EXPECT_EQ(
        CertificateTrustFailure(CertificateDer(expired.signerCertificate.get()), expired.caCertificatePem()),
        "certificate has expired");
}
