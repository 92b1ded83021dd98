// The client's six operations against the sandbox, through the real window: what the operator sees
// when the other side checks every request and answers as the state systems do.
#include "PressButton.h"
#include "ScriptedDialogs.h"
#include "TestWindow.h"

#include "foundation/HttpClient.h"
#include "journal/Journal.h"
#include "sandbox/EnvelopeSigner.h"
#include "sandbox/SandboxServer.h"
#include "smev/SignatureVerifier.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestKeys.h"
#include "support/TestTimeStampAuthority.h"
#include "tsp/TSP.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <atomic>

namespace {

using Kind = ScriptedDialogs::Kind;
const QString Signer = QStringLiteral("Sandbox signer");

// The sandbox's answer with the same Body, signed again by another key.
QByteArray SignedBy(const QByteArray& reply, X509* certificate, EVP_PKEY* key)
{
    const QByteArray bodyStart = "wsu:Id=\"body\">";
    const qsizetype start = reply.indexOf(bodyStart) + bodyStart.size();
    const qsizetype end = reply.lastIndexOf("</soap:Body>");
    return SignedSoapEnvelope(QString::fromUtf8(reply.mid(start, end - start)), CertificateDer(certificate),
                              key);
}

// Base64 element text broken into lines as XML signature allows.
QByteArray WithLineBreaks(QByteArray reply, const char* element)
{
    const qsizetype open = reply.indexOf('>', reply.indexOf(element)) + 1;
    const qsizetype close = reply.indexOf('<', open);
    for (qsizetype at = close - 64; at > open; at -= 64)
        reply.insert(at, "\r\n  ");
    return reply;
}

class SandboxExchanges : public ::testing::Test {
  protected:
    TestKeyStore keys;
    QTemporaryDir dump;
    std::unique_ptr<SandboxServer> sandbox;
    ScriptedDialogs dialogs;
    std::unique_ptr<TestWindow> window;
    // The window session's HTTP limits.
    THttpLimits limits;
    // Lines the sandbox logged: one for every exchange, time stamps included.
    std::atomic<int> logged{0};

    void SetUp() override
    {
        keys.addContainer(Signer);
        Start({});
    }

    // The sandbox (over https with `tls`) and the window pointed at it.
    void Start(const TestTlsFiles& tls)
    {
        SandboxOptions options;
        options.port = 0;
        options.dumpFolder = dump.path();
        options.log = [this](const QString&) { ++logged; };
        options.tlsCertificate = tls.certificate;
        options.tlsKey = tls.key;
        window.reset();
        sandbox = std::make_unique<SandboxServer>(options);
        OpenWindow();
    }

    // A new window, a new run of the program, pointed at the sandbox: on the data folder `data`
    // (its journal included) when given, else on a folder of its own.
    void OpenWindow(const QString& data = {})
    {
        window.reset();
        window = std::make_unique<TestWindow>(TestWindowSetup()
                                                  .dialogs(dialogs)
                                                  .keyStore(keys.path())
                                                  .session([this, data](SessionOptions& session) {
                                                      session.httpLimits = limits;
                                                      session.dataOption = data;
                                                  }));
        (*window)->show();
        auto* container = Control<QComboBox>("cbContainer");
        container->addItem(Signer);
        container->setCurrentIndex(container->count() - 1);
        // The settings lines the sandbox prints, put where the operator puts them.
        for (const QString& line : sandbox->settingsLines()) {
            const QString key = line.section(u'=', 0, 0);
            const QString value = line.section(u'=', 1);
            const QString name =
                key == u"TimeStampServer" ? QStringLiteral("cbTimeStamp") : QStringLiteral("cb") + key;
            window->control<QComboBox>(name)->setEditText(value);
        }
        Control<QComboBox>("cbChangeStatus2")->setCurrentIndex(0);
    }

    // Every answer of the sandbox goes through `rewrite` on its way to the window.
    std::function<QByteArray(const QByteArray&)> rewrite;
    std::unique_ptr<TLoopbackHttpServer> relay;
    void StartRelay()
    {
        rewrite = [](const QByteArray& reply) { return reply; };
        relay = std::make_unique<TLoopbackHttpServer>([this](const TRecordedRequest& request) {
            const SandboxReply answer = sandbox->service().handle(QString::fromUtf8(request.Path),
                                                                  request.header("SOAPAction"), request.Body);
            TScriptedReply reply;
            reply.Status = answer.status;
            reply.ContentType = answer.contentType;
            reply.Body = rewrite(answer.body);
            return reply;
        });
        for (const char* name : {"cbServiceChargesGISGMP", "cbServicePaymentGISGMP", "cbServiceChargesGISGKX",
                                 "cbServicePaymentGISGKX"}) {
            auto* service = Control<QComboBox>(name);
            service->setEditText(relay->url(QUrl(service->currentText()).path()));
        }
    }

    // The trust file the operator names on the settings tab.
    void Trust(const QByteArray& certificates)
    {
        const QString path = dump.filePath(QStringLiteral("trusted.pem"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(certificates);
        file.close();
        Set("edTrustedCertificates", path);
    }
    void FetchCharges()
    {
        Control<QComboBox>("cbChargeSearchType")->setCurrentIndex(2);
        Set("edPayerIdentifiers", QStringLiteral("1010000000000123456789643"));
        Control<QPlainTextEdit>("mmCharges")->clear();
        Press("buGetCharge");
    }
    // The one error shown, or all of them joined when there are more or none.
    QString Error() { return Shown(Kind::Error).join(u'|'); }
    int RequestsOf(const char* operation)
    {
        return int(QDir(dump.path())
                       .entryList({QStringLiteral("*-%1-request.xml").arg(QLatin1String(operation))})
                       .size());
    }

    template <class T> T* Control(const char* name) { return window->control<T>(QString::fromLatin1(name)); }
    void Set(const char* name, const QString& text) { Control<QLineEdit>(name)->setText(text); }
    QString Status() { return window->status(); }
    QString Memo(const char* name) { return Control<QPlainTextEdit>(name)->toPlainText(); }
    QStringList Shown(Kind kind)
    {
        QStringList texts;
        for (const auto& shown : dialogs.shown(kind))
            texts << shown.text;
        return texts;
    }
    void Press(const char* name)
    {
        dialogs.clear();
        PressButton(*window, QString::fromLatin1(name));
    }
    // Every signed reply the sandbox wrote to its dump so far.
    QList<QByteArray> Replies()
    {
        QList<QByteArray> replies;
        for (const QString& name : QDir(dump.path()).entryList({QStringLiteral("*-reply.xml")})) {
            QFile file(QDir(dump.path()).filePath(name));
            replies << (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
        }
        return replies;
    }
};

} // namespace

TEST_F(SandboxExchanges, SixOperationsCompleteWithTheirSuccessTexts)
{
    // Payment with and without a time stamp; its status is "not yet processed" first, then done.
    const QString uin = QStringLiteral("18810177140814735002");
    for (bool stamped : {true, false}) {
        SCOPED_TRACE(stamped);
        Control<QCheckBox>("ckTimeStamp")->setChecked(stamped);
        window->control<QComboBox>(QStringLiteral("cbSupplierBillID"))->setEditText(uin);
        if (!stamped)
            dialogs.answerYesNo(true); // the same charge paid again, as the operator confirms
        dialogs.answerYesNo(true);
        Press("buPaymentSend");
        EXPECT_EQ(Shown(Kind::Error), QStringList());
        EXPECT_EQ(Shown(Kind::Warning), QStringList{"Обработка пакета еще не завершена."});
        EXPECT_FALSE(Control<QLineEdit>("edPackage")->text().isEmpty());
        if (!stamped) {
            const QList<ScriptedDialogs::Shown> asked = dialogs.shown(Kind::Question);
            ASSERT_FALSE(asked.isEmpty());
            EXPECT_TRUE(asked[0].text.startsWith(QStringLiteral("Платеж по начислению ") + uin) &&
                        asked[0].text.contains(QStringLiteral("уже отправлялся")))
                << asked[0].text.toStdString();
            EXPECT_TRUE(asked[0].defaultNo);
        }
        Press("buPackageStatus");
        EXPECT_EQ(Status(), "Статус пакета получен.");
        EXPECT_EQ(Shown(Kind::Info), QStringList{"Информация о платеже принята."});
    }
    // «Нет» to the repeat question sends nothing.
    const int payments = RequestsOf("payment");
    dialogs.answerYesNo(false);
    Press("buPaymentSend");
    EXPECT_EQ(RequestsOf("payment"), payments);

    // Charges of one payer over two pages; the charge just paid is no longer unquitted.
    Control<QComboBox>("cbChargeSearchType")->setCurrentIndex(2);
    Set("edPayerIdentifiers", QStringLiteral("1010000000000123456789643"));
    Press("buGetCharge");
    EXPECT_EQ(Status(), "Получено начислений: 11");
    EXPECT_EQ(Shown(Kind::Error), QStringList());
    const QString charges = Memo("mmCharges");
    const qsizetype paid = charges.indexOf(QStringLiteral("УИН=") + uin);
    ASSERT_GE(paid, 0) << charges.toStdString();
    const QString paidCharge = charges.mid(paid).section(QStringLiteral("\n\n"), 0, 0);
    EXPECT_TRUE(paidCharge.contains(QStringLiteral("Статус квитирования=1 (сквитировано)")) ||
                paidCharge.contains(QStringLiteral("Статус квитирования=2 (предварительно сквитировано)")))
        << paidCharge.toStdString();
    EXPECT_TRUE(charges.contains(QStringLiteral("Статус квитирования=3 (не сквитировано)")));

    // Payment documents found, and not found.
    Set("edUnifiedAccountNumber", QStringLiteral("00АА000002"));
    window->control<QComboBox>(QStringLiteral("cbYear"))->setEditText(QStringLiteral("2026"));
    window->control<QComboBox>(QStringLiteral("cbMonth"))->setCurrentIndex(1);
    Press("buGetDocumentDetails");
    EXPECT_EQ(Status(), "Получено начислений: 3");
    EXPECT_TRUE(Memo("mmDocumentDetails").contains(QStringLiteral("Единый лицевой счет=00АА000002")));
    Set("edUnifiedAccountNumber", QStringLiteral("99ЯЯ999999"));
    Press("buGetDocumentDetails");
    EXPECT_EQ(Status(), "Получено начислений: 0");
    EXPECT_EQ(Shown(Kind::Warning), QStringList{"Начислений не найдено."});

    // A notification, its state, its cancellation; a cancellation of an unknown order is refused.
    dialogs.answerYesNo(true);
    Press("buOrderSend");
    EXPECT_EQ(Status(), "Статус сообщения получен.");
    EXPECT_EQ(Shown(Kind::Info), QStringList{"Извещение принято."});
    Control<QComboBox>("cbChangeStatus2")->setCurrentIndex(1);
    dialogs.answerYesNo(true);
    Press("buOrderSend");
    EXPECT_EQ(Shown(Kind::Info), QStringList{"Извещение принято."});
    EXPECT_EQ(Shown(Kind::Error), QStringList());

    // The first payment carried a time stamp the sandbox's authority made and the sandbox checked.
    QFile firstPayment(QDir(dump.path()).filePath(QStringLiteral("000001-payment-request.xml")));
    ASSERT_TRUE(firstPayment.open(QIODevice::ReadOnly));
    EXPECT_TRUE(firstPayment.readAll().contains("EncapsulatedTimeStamp>M"));
    for (const QByteArray& reply : Replies())
        EXPECT_TRUE(CheckEnvelopeSignature(reply).verified()) << reply.toStdString();

    // The journal holds every exchange with the exact bytes that reached the sandbox and came back.
    const Journal* journal = window->session().journal();
    ASSERT_NE(journal, nullptr);
    QList<QByteArray> requests;
    QList<QByteArray> replies;
    for (const ExchangeRecord& row : journal->page({}, std::nullopt, 1000).rows) {
        const std::optional<ExchangeRecord> full = journal->exchange(row.id);
        ASSERT_TRUE(full.has_value());
        requests.prepend(full->request);
        replies.prepend(full->reply);
    }
    QList<QByteArray> dumped;
    for (const QString& name : QDir(dump.path()).entryList({QStringLiteral("*-request.xml")})) {
        QFile file(dump.filePath(name));
        dumped << (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    EXPECT_FALSE(requests.isEmpty());
    EXPECT_TRUE(requests == dumped);
    EXPECT_TRUE(replies == Replies());
}

TEST_F(SandboxExchanges, AnAmountThatCannotBeMeantIsRefusedBeforeAnythingIsSent)
{
    Control<QCheckBox>("ckTimeStamp")->setChecked(true);
    window->control<QComboBox>(QStringLiteral("cbSupplierBillID"))
        ->setEditText(QStringLiteral("18810177140814735002"));
    for (const char* amount : {"-5", "0.001", "123456789012345678901"}) {
        SCOPED_TRACE(amount);
        auto* field = Control<QLineEdit>("edAmount");
        field->clear();
        QTest::keyClicks(field, QLatin1String(amount));
        Press("buPaymentSend");
        EXPECT_EQ(Status(), "Ошибка.");
        EXPECT_TRUE(Error().contains(QStringLiteral("Сумма в поле Amount не принята: \"%1\"").arg(amount)))
            << Error().toStdString();
    }
    // Neither the time-stamp server nor the gateway heard of any of them.
    EXPECT_EQ(logged, 0);
    EXPECT_EQ(QDir(dump.path()).entryList(QDir::Files), QStringList());
    // The same form with an amount that can be meant goes out, past both.
    Set("edAmount", QStringLiteral("10,50"));
    dialogs.answerYesNo(false);
    Press("buPaymentSend");
    EXPECT_EQ(Error(), QString());
    EXPECT_EQ(logged, 2);
    EXPECT_EQ(RequestsOf("payment"), 1);
}

TEST_F(SandboxExchanges, EveryInjectedFaultShowsErrorAndSaysWhatHappened)
{
    struct Case {
        const char* fault;
        const char* button;
        QString message; // what the error box must contain
    };
    const Case cases[] = {
        {"state=soap-fault", "buGetState", QStringLiteral("SMEV-100100")},
        {"state=http-error", "buGetState", QStringLiteral("(503)")},
        {"state=negative", "buGetState", QStringLiteral("SRV000001")},
        {"state=processing", "buGetState", QStringLiteral("повторите запрос позже")},
        {"charges=negative", "buGetCharge", QStringLiteral("19")},
        {"notification=negative", "buOrderSend", QStringLiteral("REJECT")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        sandbox->service().setFault(QStringLiteral("all=none"));
        sandbox->service().setFault(QString::fromLatin1(c.fault));
        Press(c.button);
        EXPECT_EQ(Status(), "Ошибка.");
        const QStringList errors = Shown(Kind::Error);
        ASSERT_EQ(errors.size(), 1);
        EXPECT_TRUE(errors[0].contains(c.message)) << errors[0].toStdString();
    }

    // No reply at all, given up after a short wait that the answers above must not race.
    limits.SilenceMs = 500;
    Start({});
    sandbox->service().setFault(QStringLiteral("state=no-reply"));
    Press("buGetState");
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_EQ(Shown(Kind::Error).size(), 1);
}

TEST_F(SandboxExchanges, PaymentsSignedWithGost2012KeysAreAccepted)
{
    Control<QCheckBox>("ckTimeStamp")->setChecked(true);
    auto* container = Control<QComboBox>("cbContainer");
    for (GostAlgorithm algorithm : {GostAlgorithm::Gost2012_256, GostAlgorithm::Gost2012_512}) {
        const QString name = QStringLiteral("Signer %1").arg(int(algorithm));
        SCOPED_TRACE(name.toStdString());
        TestKeyOptions options;
        options.algorithm = algorithm;
        keys.addContainer(name, options);
        container->addItem(name);
        container->setCurrentIndex(container->count() - 1);
        dialogs.answerYesNo(false);
        Press("buPaymentSend");
        EXPECT_EQ(Shown(Kind::Error), QStringList());
        EXPECT_EQ(Status(), "Отправлено.");
    }
}

TEST_F(SandboxExchanges, RepliesAreTakenOnlyWhenSignedByATrustedCertificate)
{
    Control<QCheckBox>("ckVerifyReplySignature")->setChecked(true);
    Control<QCheckBox>("ckAcceptIssuedReplySigners")->setChecked(true);
    Trust(sandbox->identity().caCertificatePem());
    FetchCharges();
    EXPECT_EQ(Error(), QString());
    EXPECT_EQ(Status(), "Получено начислений: 11");

    // A man in the middle: the sandbox's real answer, altered on its way.
    StartRelay();
    const QRegularExpression security(QStringLiteral("<(\\w+:)?Security\\b.*</(\\w+:)?Security>"),
                                      QRegularExpression::DotMatchesEverythingOption);
    struct Case {
        const char* what;
        std::function<QByteArray(QByteArray)> tamper;
        QString message;
    };
    const Case cases[] = {
        // The readers take a status in any letter case; the digest does not.
        {"body changed", [](QByteArray r) { return r.replace(">RESULT<", ">result<"); },
         QStringLiteral("хэш тела ответа не совпадает с подписанным")},
        {"signature removed", [&](QByteArray r) { return QString::fromUtf8(r).remove(security).toUtf8(); },
         QStringLiteral("ответ не подписан")},
        {"another Body read first",
         [](QByteArray r) {
             const qsizetype body = r.indexOf(":Body ");
             return r.insert(r.lastIndexOf('<', body), "<x:body xmlns:x=\"urn:x\"/>");
         },
         QStringLiteral("the envelope has another element named Body")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rewrite = c.tamper;
        FetchCharges();
        EXPECT_EQ(Status(), "Ошибка.");
        EXPECT_TRUE(Error().contains(c.message)) << Error().toStdString();
        EXPECT_EQ(Memo("mmCharges"), QString());
    }

    // Signed, but by a certificate of an authority the trust file does not name.
    rewrite = [](const QByteArray& r) { return r; };
    Trust(MakeSandboxIdentity(1).caCertificatePem());
    FetchCharges();
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_TRUE(Error().contains(QStringLiteral("не доверенный: "))) << Error().toStdString();
    EXPECT_EQ(Memo("mmCharges"), QString());

    // The sandbox signs its faults, so training with the check on shows what the gateway said.
    Trust(sandbox->identity().caCertificatePem());
    sandbox->service().setFault(QStringLiteral("charges=soap-fault"));
    // Twice: the same fault signed again is another reply, not one received before.
    for (int time = 0; time < 2; ++time) {
        FetchCharges();
        EXPECT_TRUE(Error().contains(QStringLiteral("SMEV-100100 Сервис ведомства временно недоступен")))
            << Error().toStdString();
    }

    // Without a trust file nothing is sent at all.
    const int sent = RequestsOf("charges");
    Set("edTrustedCertificates", QString());
    Control<QComboBox>("cbServiceChargesGISGMP")
        ->setEditText(sandbox->url(QStringLiteral("/gateway/services/SID0003663")));
    FetchCharges();
    EXPECT_TRUE(Error().contains(QStringLiteral("Сертификаты СМЭВ и УЦ"))) << Error().toStdString();
    Set("edTrustedCertificates", dump.filePath(QStringLiteral("gone.pem")));
    FetchCharges();
    EXPECT_TRUE(Error().contains(QStringLiteral("gone.pem"))) << Error().toStdString();
    EXPECT_EQ(RequestsOf("charges"), sent);
}

TEST_F(SandboxExchanges, ATimeStampForAnotherMessageStopsThePaymentBeforeItIsSent)
{
    TTestTimeStampAuthority authority(keys);
    TLoopbackHttpServer forger([&](const TRecordedRequest&) {
        TScriptedReply reply;
        reply.ContentType = "application/timestamp-reply";
        reply.Body = authority.respond(BuildTimeStampRequest(QByteArray(32, '\x5A')));
        return reply;
    });
    Control<QCheckBox>("ckTimeStamp")->setChecked(true);
    window->control<QComboBox>(QStringLiteral("cbTimeStamp"))
        ->setEditText(forger.url(QStringLiteral("/tsp/tsp.srf")));
    Press("buPaymentSend");
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_TRUE(Error().contains(QStringLiteral("Метка времени выдана для другого сообщения")))
        << Error().toStdString();
    EXPECT_EQ(forger.requestCount(), 1);
    EXPECT_EQ(RequestsOf("payment"), 0);
}

TEST_F(SandboxExchanges, HttpsServersAreCheckedAgainstTheTrustFileWhenAsked)
{
    QTemporaryDir folder;
    const TestTlsFiles tls = MakeTlsServerFiles(folder.path());
    Start(tls);
    ASSERT_TRUE(sandbox->url({}).startsWith(QStringLiteral("https://127.0.0.1:")));

    // As before: any certificate.
    FetchCharges();
    EXPECT_EQ(Error(), QString());
    EXPECT_EQ(Status(), "Получено начислений: 11");

    // A self-signed certificate that neither the system's store nor the trust file knows.
    Control<QCheckBox>("ckVerifyServerCertificate")->setChecked(true);
    FetchCharges();
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_TRUE(Error().contains(QStringLiteral("Сертификат сервера 127.0.0.1 не принят: ")))
        << Error().toStdString();
    Trust(sandbox->identity().caCertificatePem());
    FetchCharges();
    EXPECT_TRUE(Error().contains(QStringLiteral("Сертификат сервера 127.0.0.1 не принят: ")))
        << Error().toStdString();

    // Both checks on, the trust file naming the server and the authority of the replies and the
    // time stamps: every operation works, the payment's time stamp included.
    Trust(tls.certificatePem + sandbox->identity().caCertificatePem());
    Control<QCheckBox>("ckVerifyReplySignature")->setChecked(true);
    Control<QCheckBox>("ckAcceptIssuedReplySigners")->setChecked(true);
    FetchCharges();
    EXPECT_EQ(Error(), QString());
    EXPECT_EQ(Status(), "Получено начислений: 11");
    Control<QCheckBox>("ckTimeStamp")->setChecked(true);
    dialogs.answerYesNo(false);
    Press("buPaymentSend");
    EXPECT_EQ(Error(), QString());
    EXPECT_EQ(Status(), "Отправлено.");
}

TEST_F(SandboxExchanges, RepliesAreTakenOnlyFromTheSignersTheBankNames)
{
    const SandboxIdentity& identity = sandbox->identity();
    const QByteArray signerPem = CertificatePem(identity.signerCertificate.get());
    Control<QCheckBox>("ckVerifyReplySignature")->setChecked(true);
    StartRelay();

    // The state system's own certificate alone is enough; its authority alone is not, until the
    // operator allows what it issues.
    Trust(signerPem);
    FetchCharges();
    EXPECT_EQ(Error(), QString());
    EXPECT_EQ(Status(), "Получено начислений: 11");
    Trust(identity.caCertificatePem());
    FetchCharges();
    EXPECT_TRUE(Error().contains(QStringLiteral("его нет в файле"))) << Error().toStdString();
    Control<QCheckBox>("ckAcceptIssuedReplySigners")->setChecked(true);
    FetchCharges();
    EXPECT_EQ(Error(), QString());
    EXPECT_EQ(Status(), "Получено начислений: 11");

    // Signed by the authority's time-stamp service, by the client's own key (whose certificate the
    // file holds), by another subscriber of the authority while only the signer is named.
    const EvpPkeyPtr otherKey = NewGostKey("test subscriber");
    const X509Ptr other = IssueSubscriberCertificate(identity, otherKey.get(), "Другой абонент УЦ");
    const X509Ptr own = ReadCertificate(keys.addContainer(QStringLiteral("Own")));
    const EvpPkeyPtr ownKey = keys.privateKey(QStringLiteral("Own"));
    struct Case {
        const char* what;
        X509* certificate;
        EVP_PKEY* key;
        QByteArray trusted;
        bool issued;
        QString message;
    };
    const Case cases[] = {
        {"time-stamp authority", identity.timeStampCertificate.get(), identity.timeStampKey.get(),
         identity.caCertificatePem(), true, QStringLiteral("не допускает подпись документов")},
        {"the client's own key", own.get(), ownKey.get(),
         CertificatePem(own.get()) + identity.caCertificatePem(), true,
         QStringLiteral("ключа самого клиента")},
        {"another subscriber", other.get(), otherKey.get(), signerPem + identity.caCertificatePem(), false,
         QStringLiteral("его нет в файле")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Trust(c.trusted);
        Control<QCheckBox>("ckAcceptIssuedReplySigners")->setChecked(c.issued);
        rewrite = [&](const QByteArray& reply) { return SignedBy(reply, c.certificate, c.key); };
        FetchCharges();
        EXPECT_EQ(Status(), "Ошибка.");
        EXPECT_TRUE(Error().contains(QStringLiteral("сертификат подписи"))) << Error().toStdString();
        EXPECT_TRUE(Error().contains(c.message)) << Error().toStdString();
        EXPECT_EQ(Memo("mmCharges"), QString());
    }
    // The subscriber is taken once the operator allows what the authority issues.
    Control<QCheckBox>("ckAcceptIssuedReplySigners")->setChecked(true);
    FetchCharges();
    EXPECT_EQ(Error(), QString());
    EXPECT_EQ(Status(), "Получено начислений: 11");
}

TEST_F(SandboxExchanges, AGenuineReplyToAnotherRequestIsRefused)
{
    Control<QCheckBox>("ckVerifyReplySignature")->setChecked(true);
    Trust(CertificatePem(sandbox->identity().signerCertificate.get()));
    StartRelay();
    const QString refused = QStringLiteral("ответ относится к другому запросу");

    // The first payment's acceptance, kept, answers every later payment.
    QByteArray kept;
    const auto keepFirst = [&](const QByteArray& reply) {
        if (kept.isEmpty())
            kept = reply;
        return kept;
    };
    rewrite = keepFirst;
    dialogs.answerYesNo(false);
    Press("buPaymentSend");
    EXPECT_EQ(Status(), "Отправлено.");
    const QString package = Control<QLineEdit>("edPackage")->text();
    Press("buPaymentSend");
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_TRUE(Error().contains(refused) && Error().contains(QStringLiteral("RqId")))
        << Error().toStdString();
    EXPECT_EQ(Control<QLineEdit>("edPackage")->text(), package);

    // The state system's acceptance of the same payment, addressed to another bank.
    const SandboxIdentity& identity = sandbox->identity();
    rewrite = [&](const QByteArray& reply) {
        const QByteArray readdressed =
            QString::fromUtf8(reply)
                .replace(QRegularExpression(QStringLiteral("recipientIdentifier=\"[^\"]*\"")),
                         QStringLiteral("recipientIdentifier=\"1a2b3c\""))
                .toUtf8();
        return SignedBy(readdressed, identity.signerCertificate.get(), identity.signerKey.get());
    };
    Press("buPaymentSend");
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_TRUE(Error().contains(refused) &&
                Error().contains(QStringLiteral("recipientIdentifier \"1a2b3c\"")))
        << Error().toStdString();
    EXPECT_EQ(Control<QLineEdit>("edPackage")->text(), package);

    // Another package's status: the first package is asked about until it is processed, then the
    // answer about it is given for the second one.
    kept.clear();
    rewrite = [](const QByteArray& reply) { return reply; };
    dialogs.answerYesNo(false);
    Press("buPaymentSend");
    Press("buPackageStatus");
    Press("buPackageStatus");
    EXPECT_EQ(Shown(Kind::Info), QStringList{"Информация о платеже принята."});
    rewrite = keepFirst;
    Press("buPackageStatus");
    EXPECT_EQ(Shown(Kind::Info), QStringList{"Информация о платеже принята."});
    Set("edPackage", package);
    Press("buPackageStatus");
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_TRUE(Error().contains(refused)) << Error().toStdString();
    EXPECT_EQ(Shown(Kind::Info), QStringList());

    // The first charges page served again for the second: the paging does not end early on it.
    kept.clear();
    FetchCharges();
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_TRUE(Error().contains(refused)) << Error().toStdString();
    EXPECT_EQ(Memo("mmCharges").count(QStringLiteral("Начисление #")), 10);

    // A housing message's state answered with the state of another message.
    kept.clear();
    rewrite = [](const QByteArray& reply) { return reply; };
    dialogs.answerYesNo(false);
    Press("buOrderSend");
    Press("buGetState");
    EXPECT_EQ(Shown(Kind::Info), QStringList{"Извещение принято."});
    rewrite = keepFirst;
    Press("buGetState");
    dialogs.answerYesNo(true); // the same order again, as the operator confirms
    Press("buOrderSend");
    EXPECT_TRUE(Error().contains(refused) && Error().contains(QStringLiteral("TransportGUID")))
        << Error().toStdString();
    Set("edPackage2", QStringLiteral("00000000-0000-0000-0000-000000000000"));
    Press("buGetState");
    EXPECT_TRUE(Error().contains(refused) && Error().contains(QStringLiteral("MessageGUID")))
        << Error().toStdString();
    EXPECT_EQ(Shown(Kind::Info), QStringList());
}

// The requests' identifiers start again in every run of the program: the first payment of the next
// run carries the RqId of the first payment of this one, and is answered with this one's acceptance.
TEST_F(SandboxExchanges, AReplyReceivedInAnEarlierRunIsNotTakenAgain)
{
    QTemporaryDir data;
    QByteArray kept;
    QString package;
    for (const bool again : {false, true}) {
        OpenWindow(data.path());
        Control<QCheckBox>("ckVerifyReplySignature")->setChecked(true);
        Trust(CertificatePem(sandbox->identity().signerCertificate.get()));
        StartRelay();
        rewrite = [&](const QByteArray& reply) {
            if (kept.isEmpty())
                kept = reply;
            return kept;
        };
        if (!again)
            dialogs.answerYesNo(false); // no follow-up
        Press("buPaymentSend");
        if (!again)
            package = Control<QLineEdit>("edPackage")->text();
    }
    EXPECT_FALSE(package.isEmpty());
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_EQ(Error(), "Ответ СМЭВ не принят: этот ответ уже был получен раньше (обмен 1 журнала), он "
                       "относится к другому запросу.");
    EXPECT_EQ(Control<QLineEdit>("edPackage")->text(), QString());
    // Known by its key however it is refused, so that it cannot come back through another request.
    const Journal& journal = *window->session().journal();
    EXPECT_EQ(journal.exchange(2)->replyKey, journal.exchange(1)->replyKey);
}

TEST_F(SandboxExchanges, WhatTheSignatureAllowsReadsAsTheUntamperedReply)
{
    Control<QCheckBox>("ckVerifyReplySignature")->setChecked(true);
    Trust(CertificatePem(sandbox->identity().signerCertificate.get()));
    StartRelay();
    Set("edUnifiedAccountNumber", QStringLiteral("00АА000002"));
    window->control<QComboBox>(QStringLiteral("cbYear"))->setEditText(QStringLiteral("2026"));
    window->control<QComboBox>(QStringLiteral("cbMonth"))->setCurrentIndex(1);
    Press("buGetDocumentDetails");
    ASSERT_EQ(Status(), "Получено начислений: 3");
    const QString untampered = Memo("mmDocumentDetails");

    // Comments inside signed values are not in the canonical form the digest covers; Base64 of
    // the token and the signature may be broken into lines.
    const QRegularExpression value(QStringLiteral("(<rev:(Debt|UnifiedAccountNumber|Reminder)>[^<]{2})"));
    rewrite = [&](const QByteArray& reply) {
        QByteArray tampered = QString::fromUtf8(reply).replace(value, QStringLiteral("\\1<!---->")).toUtf8();
        return WithLineBreaks(WithLineBreaks(tampered, ":BinarySecurityToken"), ":SignatureValue");
    };
    Press("buGetDocumentDetails");
    EXPECT_EQ(Error(), QString());
    EXPECT_EQ(Status(), "Получено начислений: 3");
    EXPECT_EQ(Memo("mmDocumentDetails"), untampered);
}

TEST_F(SandboxExchanges, HostileRepliesAreRefusedBeforeAnyCheck)
{
    Control<QCheckBox>("ckVerifyReplySignature")->setChecked(true);
    Trust(CertificatePem(sandbox->identity().signerCertificate.get()));
    StartRelay();
    const QByteArray envelope =
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>%</s:Body>"
        "</s:Envelope>";
    QByteArray attributes = "<a";
    for (int i = 0; i < 100'000; ++i)
        attributes += " a" + QByteArray::number(i) + "=\"\"";
    attributes += "/>";
    struct Case {
        const char* what;
        QByteArray content;
        QString message;
    };
    const Case cases[] = {
        {"100,000 attributes on one element", attributes, QStringLiteral("больше 256 атрибутов")},
        {"4 million empty elements", QByteArray("<a/>").repeated(4'000'000), QStringLiteral("узлов")},
        {"nesting deeper than any reply", QByteArray("<a>").repeated(200) + QByteArray("</a>").repeated(200),
         QStringLiteral("вложенность")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rewrite = [&](const QByteArray&) { return QByteArray(envelope).replace("%", c.content); };
        FetchCharges();
        EXPECT_EQ(Status(), "Ошибка.");
        EXPECT_TRUE(Error().contains(c.message)) << Error().left(300).toStdString();
        EXPECT_EQ(Memo("mmCharges"), QString());
    }
}
