// The six operations end to end: the real window, a test key container, and a loopback server
// standing in for the state systems. Buttons are pressed as the operator presses them; what is
// checked is what the operator sees (status bar, fields, memos, message boxes), what the server
// received, and the debug files left beside the executable.
#include "PressButton.h"
#include "ScriptedDialogs.h"
#include "TestWindow.h"

#include "app/OperationView.h"
#include "app/PasswordDialog.h"

#include "foundation/Exceptions.h"
#include "foundation/HttpClient.h"
#include "foundation/XmlHelper.h"
#include "smev/SoapConstants.h"
#include "support/FileSizeLimit.h"
#include "support/LoopbackHttpServer.h"
#include "support/MessageAssertions.h"
#include "support/StateSystemReplies.h"
#include "support/TestKeys.h"
#include "support/TestTimeStampAuthority.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <deque>
#include <mutex>
#include <optional>

namespace {

using Kind = ScriptedDialogs::Kind;

const QString Signer = QStringLiteral("Flow signer");
const QByteArray Bom("\xEF\xBB\xBF");
const QString GisGmpAction =
    QStringLiteral("http://roskazna.ru/gisgmp/02000000/SmevGISGMPService/GISGMPTransferMsg");

// ---- What arrived -------------------------------------------------------------------------------

QString TextOf(const QByteArray& request, const QString& path)
{
    return FindNodeByPath(XmlDocument::parse(request).documentElement(), path, true).text();
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Records every text the status bar's panel is painted with.
class PaintedTexts final : public QObject {
  public:
    explicit PaintedTexts(QLabel* panel) : FPanel(panel) { panel->installEventFilter(this); }
    QStringList texts;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == FPanel && event->type() == QEvent::Paint)
            texts << FPanel->text();
        return false;
    }

  private:
    QLabel* FPanel;
};

class Flows : public ::testing::Test {
  private:
    // Declared before the server, whose thread reads them until it is stopped.
    std::mutex FMutex;
    std::deque<TScriptedReply> FReplies;

  protected:
    TestKeyStore keys;
    TLoopbackHttpServer server;
    ScriptedDialogs dialogs;
    std::unique_ptr<TestWindow> window;

    void SetUp() override
    {
        keys.addContainer(Signer);
        server.setHandler([this](const TRecordedRequest&) { return NextReply(); });
    }

    // What the window's session takes from the test: its clock (the system's while empty) and its
    // HTTP limits.
    std::function<QDateTime()> clock;
    THttpLimits limits;

    void Open(const QStringList& arguments = {})
    {
        window = std::make_unique<TestWindow>(
            TestWindowSetup()
                .dialogs(dialogs)
                .arguments(arguments)
                .keyStore(keys.path())
                .session([this](SessionOptions& options) {
                    options.clock = [this] { return clock ? clock() : QDateTime::currentDateTime(); };
                    options.httpLimits = limits;
                }));
        (*window)->show();
        // Painting is only done for a window the platform has shown.
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window->get()));
        auto* container = Control<QComboBox>("cbContainer");
        container->addItem(Signer);
        container->setCurrentIndex(container->count() - 1);
        Control<QComboBox>("cbServicePaymentGISGMP")
            ->setEditText(server.url(QStringLiteral("/gisgmp/payment")));
        Control<QComboBox>("cbServiceChargesGISGMP")
            ->setEditText(server.url(QStringLiteral("/gisgmp/charges")));
        Control<QComboBox>("cbServicePaymentGISGKX")
            ->setEditText(server.url(QStringLiteral("/gisgkx/payment")));
        Control<QComboBox>("cbServiceChargesGISGKX")
            ->setEditText(server.url(QStringLiteral("/gisgkx/charges")));
        Control<QCheckBox>("ckTimeStamp")->setChecked(false);
        Control<QComboBox>("cbChangeStatus2")->setCurrentIndex(0);
    }

    template <class T> T* Control(const char* name) { return window->control<T>(QString::fromLatin1(name)); }
    QString Text(const char* name) { return Control<QLineEdit>(name)->text(); }
    QString Memo(const char* name) { return Control<QPlainTextEdit>(name)->toPlainText(); }
    QString Status() { return window->status(); }
    QString Debug(const QString& name)
    {
        return QDir(window->folder()).filePath(name + QStringLiteral(".xml"));
    }
    QStringList DebugFiles()
    {
        return QDir(window->folder()).entryList({QStringLiteral("*.xml")}, QDir::Files);
    }

    // Presses the button on its own tab, as the operator would.
    void Press(const char* name, PressWait wait = PressWait::untilIdle)
    {
        PressButton(*window, QString::fromLatin1(name), wait);
    }

    // Replies in the order of the requests; the last one answers every further request.
    void Script(std::initializer_list<TScriptedReply> replies)
    {
        std::lock_guard lock(FMutex);
        FReplies.assign(replies.begin(), replies.end());
    }
    TScriptedReply NextReply()
    {
        std::lock_guard lock(FMutex);
        if (FReplies.empty())
            return TScriptedReply{};
        TScriptedReply reply = FReplies.front();
        if (FReplies.size() > 1)
            FReplies.pop_front();
        return reply;
    }

    QList<ScriptedDialogs::Shown> Shown() const { return dialogs.shown(); }
    QStringList ShownTexts(Kind kind) const
    {
        QStringList texts;
        for (const auto& shown : dialogs.shown(kind))
            texts << shown.text;
        return texts;
    }
};

} // namespace

TEST_F(Flows, PaymentIsSentSignedAndItsStatusFetchedOnYes)
{
    Open({QStringLiteral("-debug")});
    Control<QLineEdit>("edPayerName")->setText(QStringLiteral("Иванов Иван Иванович"));
    Script({Soap(ImportResult(QStringLiteral("PKG-0001"))), Soap(PackageStatus(QStringLiteral("0")))});
    dialogs.answerYesNo(true);
    Press("buPaymentSend");

    const QList<TRecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    const TRecordedRequest& payment = requests[0];
    EXPECT_EQ(payment.Method, "POST");
    EXPECT_EQ(payment.Path, "/gisgmp/payment");
    EXPECT_EQ(payment.header("SOAPAction"), '"' + GisGmpAction.toUtf8() + '"');
    EXPECT_EQ(payment.header("Content-Type"), "text/xml; charset=utf-8");
    EXPECT_TRUE(payment.Body.contains(QStringLiteral("Иванов Иван Иванович").toUtf8()));
    EXPECT_EQ(payment.header("Content-Length"), QByteArray::number(payment.Body.size()));
    EXPECT_TRUE(Verified(CheckEnvelopeSignature(payment.Body)));
    EXPECT_TRUE(Verified(CheckPaymentSignature(payment.Body)));

    // The follow-up asks for the package the first reply named.
    EXPECT_EQ(requests[1].Path, "/gisgmp/payment");
    EXPECT_EQ(requests[1].header("SOAPAction"), '"' + GisGmpAction.toUtf8() + '"');
    EXPECT_TRUE(requests[1].Body.contains("PKG-0001"));
    EXPECT_TRUE(Verified(CheckEnvelopeSignature(requests[1].Body)));

    EXPECT_EQ(Text("edPackage"), "PKG-0001");
    EXPECT_EQ(Status(), "Статус пакета получен.");
    ASSERT_EQ(Shown().size(), 2);
    EXPECT_EQ(Shown()[0].kind, Kind::Question);
    EXPECT_EQ(Shown()[0].text, "Сообщение отправлено успешно.\nИдентификатор пакета: PKG-0001\n\n"
                               "Получить результат обработки сейчас?");
    EXPECT_EQ(Shown()[1].kind, Kind::Info);
    EXPECT_EQ(Shown()[1].text, "Информация о платеже принята.");
    for (const auto& shown : Shown())
        EXPECT_EQ(shown.caption, "test_app");

    // The debug copies: exactly what went out, and the reply, each UTF-8 with a byte-order mark.
    EXPECT_EQ(FileBytes(Debug("PaymentRequest")), Bom + payment.Body);
    EXPECT_EQ(FileBytes(Debug("PaymentStatusRequest")), Bom + requests[1].Body);
    const QByteArray response = FileBytes(Debug("PaymentResponse"));
    EXPECT_TRUE(response.startsWith(Bom));
    EXPECT_EQ(TextOf(response.mid(3),
                     "Body\\GISGMPTransferMsg\\MessageData\\AppData\\ResponseMessage\\Ticket\\"
                     "RequestProcessResult\\ResultData"),
              "PKG-0001");
    EXPECT_EQ(DebugFiles(), QStringList({"PaymentRequest.xml", "PaymentResponse.xml",
                                         "PaymentStatusRequest.xml", "PaymentStatusResponse.xml"}));
}

TEST_F(Flows, NoToTheClosingQuestionEndsThereAndWithoutTheSwitchNoFileIsWritten)
{
    Open();
    Script({Soap(ImportResult(QStringLiteral("PKG-0002")))});
    dialogs.answerYesNo(false);
    Press("buPaymentSend");

    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_EQ(Status(), "Отправлено.");
    EXPECT_EQ(Text("edPackage"), "PKG-0002");
    EXPECT_EQ(Shown().size(), 1);

    Control<QComboBox>("cbChangeStatus2")->setCurrentIndex(1);
    Script({Soap(AckResult(QStringLiteral("MSG-1")))});
    dialogs.answerYesNo(false);
    Press("buOrderSend");
    EXPECT_EQ(Status(), "Отправлено.");
    EXPECT_EQ(QDir(window->folder()).entryList(QDir::Files | QDir::NoDotAndDotDot),
              QDir(window->folder()).entryList({QStringLiteral("journal.sqlite*")}, QDir::Files));
}

TEST_F(Flows, RunTimeSettingsAreTakenFromTheSettingsTabAtTheStart)
{
    TTestTimeStampServer stamps(keys);
    Open();
    Control<QCheckBox>("ckTest")->setChecked(true);
    Control<QCheckBox>("ckTimeStamp")->setChecked(true);
    Control<QComboBox>("cbTimeStamp")->setEditText(stamps.url());
    Script({Soap(ImportResult(QStringLiteral("PKG-1")))});
    dialogs.answerYesNo(false);
    Press("buPaymentSend");
    ASSERT_EQ(Status(), "Отправлено.");
    EXPECT_EQ(stamps.http().requestCount(), 1);
    EXPECT_TRUE(server.requests()[0].Body.contains("TestMsg"));
    EXPECT_TRUE(Verified(CheckPaymentSignature(server.requests()[0].Body)));

    Control<QCheckBox>("ckTest")->setChecked(false);
    Control<QCheckBox>("ckTimeStamp")->setChecked(false);
    dialogs.answerYesNo(false);
    Press("buPaymentSend");
    ASSERT_EQ(Status(), "Отправлено.");
    EXPECT_EQ(stamps.http().requestCount(), 1);
    EXPECT_FALSE(server.requests()[1].Body.contains("TestMsg"));
}

TEST_F(Flows, PackageStatusCodes)
{
    Open();
    // The status of the answering system is read without regard to letter case.
    Script({Soap(
        GisGmpReply(QStringLiteral("<Ticket><PackageProcessResult><EntityProcessResult><ResultCode>50"
                                   "</ResultCode><ResultDescription>Пакет в обработке</ResultDescription>"
                                   "</EntityProcessResult></PackageProcessResult></Ticket>"),
                    QStringLiteral("result")))});
    Press("buPackageStatus");
    EXPECT_EQ(Status(), "Статус пакета получен.");
    EXPECT_EQ(ShownTexts(Kind::Warning), QStringList{"Обработка пакета еще не завершена."});
    EXPECT_TRUE(ShownTexts(Kind::Info).isEmpty());

    dialogs.clear();
    Script({Soap(PackageStatus(QStringLiteral("1"), QStringLiteral("Платеж отклонен")))});
    Press("buPackageStatus");
    EXPECT_EQ(Status(), "Ошибка.");
    ASSERT_EQ(Shown().size(), 1);
    EXPECT_EQ(Shown()[0].kind, Kind::Error);
    EXPECT_EQ(Shown()[0].text, "ResultCode=1 Платеж отклонен");
}

TEST_F(Flows, ChargesArePagedUpToTenRequestsAndAnIncompleteListIsSaidToBeOne)
{
    Open({QStringLiteral("-debug")});
    // The clock moves on between reads; every page must still carry the operation's one moment.
    int ticks = 0;
    clock = [&ticks] { return QDateTime(QDate(2016, 2, 1), QTime(10, 0).addSecs(ticks++)); };
    Script({Soap(ExportCharges(QStringLiteral("hasMore=\"true\""),
                               {ChargeInfo("1", "100"), ChargeInfo("2", "200")})),
            Soap(ExportCharges(QStringLiteral("hasMore=\"true\""), {ChargeInfo("3", "300")}))});
    Press("buGetCharge");
    clock = nullptr;

    const QList<TRecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 10);
    QStringList numbers, lengths;
    for (const TRecordedRequest& request : requests) {
        EXPECT_EQ(request.Path, "/gisgmp/charges");
        EXPECT_EQ(request.header("SOAPAction"), '"' + GisGmpAction.toUtf8() + '"');
        numbers << AttributeValue(request.Body, "Paging", "pageNumber");
        lengths << AttributeValue(request.Body, "Paging", "pageLength");
        EXPECT_EQ(TextOf(request.Body, "Body\\GISGMPTransferMsg\\Message\\Date"),
                  TextOf(requests[0].Body, "Body\\GISGMPTransferMsg\\Message\\Date"));
    }
    // The first request asks without paging; then page 2 onwards with the previous reply's length.
    EXPECT_EQ(numbers, QStringList({"", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
    EXPECT_EQ(lengths, QStringList({"", "2", "1", "1", "1", "1", "1", "1", "1", "1"}));
    EXPECT_EQ(Status(), "Получено начислений: 11");
    EXPECT_EQ(
        ShownTexts(Kind::Warning),
        QStringList{"Получены не все начисления: достигнут предел в 10 запросов. Уточните условия поиска."});
    // Numbering runs on across pages; the debug files hold the last page.
    const QString memo = Memo("mmCharges");
    EXPECT_TRUE(memo.startsWith("Начисление #1\nУИН=1\nДата начисления=01.02.2016 7:00:00\nНазначение=Штраф\n"
                                "Сумма=1.00\n\nНачисление #2\nУИН=2\n"));
    EXPECT_TRUE(memo.endsWith("Начисление #11\nУИН=3\nДата начисления=01.02.2016 7:00:00\nНазначение=Штраф\n"
                              "Сумма=3.00\n"));
    EXPECT_EQ(FileBytes(Debug("ChargeRequest")), Bom + requests.last().Body);
}

TEST_F(Flows, ChargesStopWhenNoMorePagesAreAnnounced)
{
    Open();
    // "1" announces more pages just as "true" does.
    Script({Soap(ExportCharges(QStringLiteral("hasMore=\"1\""), {ChargeInfo("1", "123450")})),
            Soap(ExportCharges(QStringLiteral("hasMore=\"false\""), {ChargeInfo("2", "0")}))});
    Press("buGetCharge");
    EXPECT_EQ(server.requestCount(), 2);
    EXPECT_EQ(Status(), "Получено начислений: 2");
    EXPECT_TRUE(Shown().isEmpty());
    EXPECT_EQ(Memo("mmCharges"),
              QString("Начисление #1\nУИН=1\nДата начисления=01.02.2016 7:00:00\nНазначение=Штраф\n"
                      "Сумма=1234.50\n\nНачисление #2\nУИН=2\nДата начисления=01.02.2016 7:00:00\n"
                      "Назначение=Штраф\nСумма=0.00\n"));

    // One request with page number 0 when the first reply has no more; the memo starts afresh.
    Script({Soap(ExportCharges(QString(), {ChargeInfo("7", "5")}))});
    Press("buGetCharge");
    EXPECT_EQ(server.requestCount(), 3);
    EXPECT_EQ(AttributeValue(server.requests().last().Body, "Paging", "pageNumber"), "");
    EXPECT_TRUE(Memo("mmCharges").startsWith("Начисление #1\nУИН=7\n"));
    EXPECT_EQ(Status(), "Получено начислений: 1");

    // Nothing found: no Charges element at all.
    Script({Soap(GisGmpReply(QStringLiteral("<ExportChargesResponse/>")))});
    Press("buGetCharge");
    EXPECT_EQ(Status(), "Получено начислений: 0");
    EXPECT_EQ(ShownTexts(Kind::Warning), QStringList{"Начислений не найдено."});
    EXPECT_EQ(Memo("mmCharges"), "");
}

TEST_F(Flows, DamagedChargesEndTheOperationWithWhatWasShownKept)
{
    Open();
    Script(
        {Soap(ExportCharges(QStringLiteral("hasMore=\"true\""),
                            {ChargeInfo("1", "100"), QStringLiteral("<ChargeInfo><ChargeData>@@@</ChargeData>"
                                                                    "</ChargeInfo>")}))});
    Press("buGetCharge");
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_EQ(server.requestCount(), 1);
    ASSERT_EQ(ShownTexts(Kind::Error).size(), 1);
    EXPECT_EQ(Memo("mmCharges"),
              QString("Начисление #1\nУИН=1\nДата начисления=01.02.2016 7:00:00\nНазначение=Штраф\n"
                      "Сумма=1.00\n"));

    // A needReRequest reply raises before any record is shown.
    dialogs.clear();
    Script({Soap(ExportCharges(QStringLiteral("needReRequest=\"TRUE\""), {ChargeInfo("1", "100")}))});
    Press("buGetCharge");
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_EQ(
        ShownTexts(Kind::Error),
        QStringList{"ResultCode=needReRequest Требуется повторный запрос (внешняя система недоступна либо "
                    "получена ошибка)."});
    EXPECT_EQ(Memo("mmCharges"), "");

    // An amount that is no number stops the display of that record.
    dialogs.clear();
    Script({Soap(ExportCharges(QString(), {ChargeInfo("1", "100"), ChargeInfo("2", "12,5")}))});
    Press("buGetCharge");
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_EQ(ShownTexts(Kind::Error), QStringList{"'12,5' is not a valid floating point value"});
    EXPECT_FALSE(Memo("mmCharges").contains("#2"));
}

// Three pages of charges as GIS GMP sends them, with every kind of line the memo shows: labelled,
// converted, unlabelled, attributes and the wrapper's own elements beside the charge document.
TEST_F(Flows, AMultiPageReplyIsShownAsItAlwaysWas)
{
    Open();
    const auto charge = [](int number) {
        const QString document =
            QStringLiteral(
                "<Charge xmlns=\"urn:charge\" supplierBillID=\"1881%1\" "
                "billDate=\"2016-02-0%2T1%2:30:00+03:00\">"
                "<BillFor>Штраф №%1</BillFor><TotalAmount>%4</TotalAmount><SupplierOrgInfo>"
                "<Name>УФК</Name><INN>7707089101</INN><Account><AccountNumber>40101</AccountNumber>"
                "<Bank><BIK>044583001</BIK></Bank></Account></SupplierOrgInfo><Payer>"
                "<payerIdentifier>10100%1</payerIdentifier></Payer><IsRevoked date=\"2016-03-01T08:15:00\">"
                "%3</IsRevoked><ds:Signature xmlns:ds=\"http://www.w3.org/2000/09/xmldsig#\">"
                "<ds:SignatureValue>AAAA</ds:SignatureValue></ds:Signature></Charge>")
                .arg(number)
                .arg(number % 9 + 1)
                .arg(number % 2 ? QStringLiteral("true") : QStringLiteral("false"))
                .arg(number * 1000 + 50);
        return QStringLiteral("<ChargeInfo><AmountToPay>%1</AmountToPay><QuittanceWithPaymentStatus>%2"
                              "</QuittanceWithPaymentStatus><ChargeData>%3</ChargeData></ChargeInfo>")
            .arg(number * 7)
            .arg(number % 4)
            .arg(QString::fromLatin1(document.toUtf8().toBase64()));
    };
    Script({Soap(ExportCharges(QStringLiteral("hasMore=\"true\""), {charge(1), charge(2), charge(3)})),
            Soap(ExportCharges(QStringLiteral("hasMore=\"true\""), {charge(4)})),
            Soap(ExportCharges(QStringLiteral("hasMore=\"false\""), {charge(5), charge(6)}))});
    Press("buGetCharge");
    EXPECT_EQ(Status(), "Получено начислений: 6") << ShownTexts(Kind::Error).join("|").toStdString();
    QFile golden(QStringLiteral(ZELVAN_TEST_FOLDER "/golden/MultiPageChargesMemo.txt"));
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
    EXPECT_EQ(Memo("mmCharges"), QString::fromUtf8(golden.readAll()));
    // The operator is shown the first records.
    auto* memo = Control<QPlainTextEdit>("mmCharges");
    EXPECT_EQ(memo->verticalScrollBar()->value(), 0);
}

TEST_F(Flows, PaymentDocumentsAreShownOnePerDocumentAndService)
{
    Open({QStringLiteral("/DEBUG")});
    Script({Soap(DocumentDetails(QStringLiteral(
        "<Charge><UnifiedAccountNumber>ЕЛС-1</UnifiedAccountNumber><ExecutorInformation><INN>3525000000</INN>"
        "</ExecutorInformation><PaymentDocument><PaymentDocumentNumber>77</PaymentDocumentNumber>"
        "<PaymentDocumentDetails><Debt>123456</Debt><Reminder>99</Reminder></PaymentDocumentDetails>"
        "</PaymentDocument><PaymentDocument><PaymentDocumentNumber>78</PaymentDocumentNumber></"
        "PaymentDocument>"
        "<Service><ServiceID>S-1</ServiceID></Service></Charge>")))});
    Press("buGetDocumentDetails");

    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests()[0].Path, "/gisgkx/charges");
    EXPECT_EQ(server.requests()[0].header("SOAPAction"), "\"urn:#export_payment_document_details\"");
    EXPECT_EQ(Status(), "Получено начислений: 3");
    EXPECT_TRUE(Shown().isEmpty());
    EXPECT_EQ(Memo("mmDocumentDetails"),
              QString("Начисление #1\nЕдиный лицевой счет=ЕЛС-1\nИНН исполнителя=3525000000\n"
                      "Номер платежного документа=77\nЗадолженность=1234.56\nОстаток к оплате=99\n\n"
                      "Начисление #2\nЕдиный лицевой счет=ЕЛС-1\nИНН исполнителя=3525000000\n"
                      "Номер платежного документа=78\n\n"
                      "Начисление #3\nЕдиный лицевой счет=ЕЛС-1\nИНН исполнителя=3525000000\nКод ЖКУ=S-1\n"));
    EXPECT_EQ(DebugFiles(), QStringList({"DocumentDetailsRequest.xml", "DocumentDetailsResponse.xml"}));

    // The code that means "nothing found" is no error.
    Script({Soap(DocumentDetails(QStringLiteral("<ErrorMessage><ErrorCode>INT002012</ErrorCode>"
                                                "<Description>Нет данных</Description></ErrorMessage>")))});
    Press("buGetDocumentDetails");
    EXPECT_EQ(Status(), "Получено начислений: 0");
    EXPECT_EQ(ShownTexts(Kind::Warning), QStringList{"Начислений не найдено."});
    EXPECT_EQ(Memo("mmDocumentDetails"), "");
}

TEST_F(Flows, OrderNotificationCancellationAndState)
{
    Open({QStringLiteral("-Debug")});
    Script({Soap(AckResult(QStringLiteral("MSG-NEW"))), Soap(StateResult(QStringLiteral("T-1")))});
    dialogs.answerYesNo(true);
    Press("buOrderSend");
    QList<TRecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].Path, "/gisgkx/payment");
    EXPECT_EQ(requests[0].header("SOAPAction"),
              "\"urn:async_getId_import_notifications_of_order_execution\"");
    EXPECT_EQ(requests[1].header("SOAPAction"), "\"urn:async_getResult\"");
    EXPECT_TRUE(requests[1].Body.contains("MSG-NEW"));
    EXPECT_EQ(Text("edPackage2"), "MSG-NEW");
    EXPECT_EQ(Status(), "Статус сообщения получен.");
    EXPECT_EQ(ShownTexts(Kind::Question),
              QStringList{"Сообщение отправлено успешно.\nИдентификатор сообщения: "
                          "MSG-NEW\n\nПолучить результат обработки сейчас?"});
    EXPECT_EQ(ShownTexts(Kind::Info), QStringList{"Извещение принято."});

    for (const QString& name : DebugFiles())
        QFile::remove(QDir(window->folder()).filePath(name));
    dialogs.clear();
    Control<QComboBox>("cbChangeStatus2")->setCurrentIndex(1);
    Script({Soap(AckResult(QStringLiteral("MSG-CANCEL")))});
    dialogs.answerYesNo(false);
    Press("buOrderSend");
    ASSERT_EQ(server.requestCount(), 3);
    EXPECT_EQ(server.requests()[2].header("SOAPAction"),
              "\"urn:async_getId_import_notifications_of_order_execution_cancellation\"");
    EXPECT_EQ(Text("edPackage2"), "MSG-CANCEL");
    EXPECT_EQ(Status(), "Отправлено.");
    EXPECT_EQ(DebugFiles(), QStringList({"CancellationRequest.xml", "CancellationResponse.xml"}));

    // With no status chosen nothing is sent: it may be meant as a new order.
    dialogs.clear();
    Control<QComboBox>("cbChangeStatus2")->setCurrentIndex(-1);
    Press("buOrderSend");
    EXPECT_EQ(server.requestCount(), 3);
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_EQ(ShownTexts(Kind::Error), QStringList{"Не выбран статус данных платежа."});
    EXPECT_EQ(Text("edPackage2"), "MSG-CANCEL");
}

TEST_F(Flows, DebugFilesAreReplacedAndOnlyTheRequestFileMayStopAnOperation)
{
    Open({QStringLiteral("-debug")});
    Script({Soap(StateResult(QStringLiteral("T-1")))});
    Press("buGetState");
    Script({Soap(StateResult(QStringLiteral("T-2")))});
    Press("buGetState");
    ASSERT_EQ(server.requestCount(), 2);
    EXPECT_EQ(DebugFiles(), QStringList({"GetStateRequest.xml", "GetStateResponse.xml"}));
    EXPECT_EQ(FileBytes(Debug("GetStateRequest")), Bom + server.requests()[1].Body);
    EXPECT_TRUE(FileBytes(Debug("GetStateResponse")).contains("T-2"));

    // The reply has come: the identifier is kept and the operator told about the file afterwards.
    dialogs.clear();
    ASSERT_TRUE(QDir(window->folder()).mkdir("OrderExecutionResponse.xml"));
    Script({Soap(AckResult(QStringLiteral("MSG-KEPT")))});
    dialogs.answerYesNo(false);
    Press("buOrderSend");
    EXPECT_EQ(Text("edPackage2"), "MSG-KEPT");
    EXPECT_EQ(Status(), "Отправлено.");
    ASSERT_EQ(Shown().size(), 2);
    EXPECT_EQ(Shown()[0].kind, Kind::Warning);
    EXPECT_TRUE(Shown()[0].text.contains(QDir::toNativeSeparators(Debug("OrderExecutionResponse"))))
        << Shown()[0].text.toStdString();
    EXPECT_EQ(Shown()[1].kind, Kind::Question);

    // A request file that cannot be written stops the operation before anything is sent.
    dialogs.clear();
    ASSERT_TRUE(QDir(window->folder()).mkdir("PaymentRequest.xml"));
    Press("buPaymentSend");
    EXPECT_EQ(server.requestCount(), 3);
    EXPECT_EQ(Status(), "Ошибка.");
    ASSERT_EQ(ShownTexts(Kind::Error).size(), 1);
    EXPECT_TRUE(ShownTexts(Kind::Error)[0].contains(QDir::toNativeSeparators(Debug("PaymentRequest"))));

    // A full disk: the previous request file stays whole and nothing is sent.
    dialogs.clear();
    const QByteArray previous = FileBytes(Debug("GetStateRequest"));
    {
        ScopedFileSizeLimit disk(8);
        Press("buGetState");
    }
    EXPECT_EQ(server.requestCount(), 3);
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_EQ(ShownTexts(Kind::Error),
              QStringList{QStringLiteral("Ошибка записи в файл \"%1\".\nFile too large")
                              .arg(QDir::toNativeSeparators(Debug("GetStateRequest")))});
    EXPECT_EQ(FileBytes(Debug("GetStateRequest")), previous);
}

TEST_F(Flows, CancelBeforeSendingSendsNothingAndAfterItTellsWhatIsKnown)
{
    using namespace std::chrono_literals;
    Open({QStringLiteral("-debug")});
    // The payment waits for a time stamp that never comes: its request has not left yet.
    TLoopbackHttpServer stamps;
    stamps.setReply(TScriptedReply::hangForever());
    Control<QCheckBox>("ckTimeStamp")->setChecked(true);
    Control<QComboBox>("cbTimeStamp")->setEditText(stamps.url());
    Press("buPaymentSend", PressWait::no);
    ASSERT_TRUE(QTest::qWaitFor([&] { return stamps.requestCount() == 1; }, 30000));
    Press("buCancelOperation");
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(Status(), "Отменено.");
    EXPECT_EQ(ShownTexts(Kind::Warning), QStringList{"Операция отменена. Запрос не отправлен."});
    EXPECT_EQ(Shown().size(), 1);

    // The payment is taken, and the status request it is followed by never answered.
    dialogs.clear();
    Control<QCheckBox>("ckTimeStamp")->setChecked(false);
    Script({Soap(ImportResult(QStringLiteral("PKG-7"))), TScriptedReply::hangForever()});
    dialogs.answerYesNo(true);
    Press("buPaymentSend", PressWait::no);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() == 2; }, 30000));
    Press("buCancelOperation");
    EXPECT_EQ(Status(), "Отменено.");
    EXPECT_EQ(Text("edPackage"), "PKG-7");
    EXPECT_EQ(
        ShownTexts(Kind::Warning),
        QStringList{QStringLiteral("Операция отменена после отправки запроса: ГИС ГМП могла его получить. "
                                   "Прежде чем отправлять его снова, узнайте, получен ли он.\n"
                                   "Идентификатор пакета: PKG-7\nЗапрос сохранен в файле \"%1\".")
                        .arg(QDir::toNativeSeparators(Debug("PaymentStatusRequest")))});
    EXPECT_EQ(FileBytes(Debug("PaymentStatusRequest")), Bom + server.requests()[1].Body);
    EXPECT_FALSE(QFile::exists(Debug("PaymentStatusResponse")));
    EXPECT_TRUE(Control<QPushButton>("buPaymentSend")->isEnabled());
}

TEST_F(Flows, ClosingDuringAnExchangeAsksFirst)
{
    using namespace std::chrono_literals;
    Open();
    TScriptedReply slow = Soap(StateResult(QStringLiteral("T")));
    slow.Delay = 1500ms;
    Script({slow});
    Press("buGetState", PressWait::no);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() == 1; }, 30000));
    dialogs.answerYesNo(false);
    (*window)->close();
    EXPECT_TRUE((*window)->isVisible());
    WaitUntilIdle(*window);
    EXPECT_EQ(Status(), "Статус сообщения получен.");
    EXPECT_EQ(ShownTexts(Kind::Question), QStringList{"Идет обмен с сервером. Прервать его и закрыть окно?"});
    EXPECT_TRUE((*window)->isVisible());

    // Closed all the same: the exchange is given up, the operator told, and then the window goes.
    dialogs.clear();
    Script({TScriptedReply::hangForever()});
    Press("buGetState", PressWait::no);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() == 2; }, 30000));
    dialogs.answerYesNo(true);
    (*window)->close();
    WaitUntilIdle(*window);
    EXPECT_FALSE((*window)->isVisible());
    ASSERT_EQ(ShownTexts(Kind::Warning).size(), 1);
    EXPECT_TRUE(ShownTexts(Kind::Warning)[0].startsWith(
        "Операция отменена после отправки запроса: ГИС ЖКХ могла его получить."));

    // Taken down without the question (the session ends): the exchange is stopped first.
    Open();
    Press("buGetState", PressWait::no);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() == 3; }, 30000));
    window.reset();
}

TEST_F(Flows, EveryFailureEndsWithErrorAndTheNextOperationWorks)
{
    Open();
    const QString address = server.url(QStringLiteral("/gisgkx/payment"));
    TScriptedReply notFound = Xml("<html/>", 404);
    TScriptedReply page;
    page.ContentType = "text/html";
    page.Body = "<html><body>Proxy</body></html>";
    struct TCase {
        const char* what;
        TScriptedReply reply;
        QString message; // empty: any message
    };
    const TCase cases[] = {
        {"HTTP 404", notFound, QStringLiteral("Not Found (404) - '%1'").arg(address)},
        {"text/html with 200", page,
         "Received content of invalid Content-Type setting: text/html - SOAP expects \"text/xml\""},
        {"fault with 500",
         Xml(Envelope(
                 "<soap:Fault><faultcode>soap:Server</faultcode><faultstring>SMEV-100003: Сервис недоступен"
                 "</faultstring><detail><nested><fault><location><node>n</node></location><reason>r</reason>"
                 "<errorCode>1</errorCode></fault></nested></detail></soap:Fault>"),
             500),
         "soap:Server SMEV-100003: Сервис недоступен"},
        {"nested fault",
         Xml(Envelope(
                 "<soap:Fault><detail><nested><fault><location><node>Узел</node></location><reason>Причина"
                 "</reason><errorCode>E1</errorCode></fault></nested></detail></soap:Fault>"),
             500),
         "E1 Узел: Причина"},
        {"empty fault", Xml(Envelope("<soap:Fault/>"), 500), "Fault Unknown error"},
        {"root other than Envelope", Xml(Envelope(StateResult("T"), "soap:Body")), "Invalid name: Body"},
        {"negative acknowledgement", Soap(AckResult("M", "REJECT")), "Error Status <REJECT>"},
        {"missing node", Soap("<ackResult><Message><Status>ACCEPT</Status></Message></ackResult>"), {}},
        {"not XML", Xml("this is not XML"), {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        dialogs.clear();
        Script({c.reply});
        Press("buOrderSend");
        EXPECT_EQ(Status(), "Ошибка.");
        const QStringList errors = ShownTexts(Kind::Error);
        ASSERT_EQ(errors.size(), 1);
        if (c.message.isEmpty()) {
            EXPECT_FALSE(errors[0].isEmpty());
        } else {
            EXPECT_EQ(errors[0], c.message);
        }
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(Text("edPackage2"), "");
    }

    // Nobody listening at all.
    dialogs.clear();
    Control<QComboBox>("cbServicePaymentGISGKX")
        ->setEditText(QStringLiteral("http://127.0.0.1:%1/gisgkx/payment").arg(UnusedLoopbackPort()));
    Press("buGetState");
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_EQ(ShownTexts(Kind::Error).size(), 1);

    // And the window still works.
    dialogs.clear();
    Control<QComboBox>("cbServicePaymentGISGKX")->setEditText(address);
    Script({Soap(StateResult(QStringLiteral("T-OK")))});
    Press("buGetState");
    EXPECT_EQ(Status(), "Статус сообщения получен.");
    EXPECT_EQ(ShownTexts(Kind::Info), QStringList{"Извещение принято."});

    // A silent server, given up after a short wait; the replies above must not race a loaded machine.
    limits.SilenceMs = 500;
    Open();
    dialogs.clear();
    Script({TScriptedReply::hangForever()});
    Press("buOrderSend");
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_EQ(ShownTexts(Kind::Error).size(), 1);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(Flows, TheWindowStaysAliveAndCountsTheSecondsWhileTheExchangeRuns)
{
    using namespace std::chrono_literals;
    Open();
    PaintedTexts painted(window->get()->findChild<QLabel*>(QStringLiteral("sbMainPanel3")));
    std::atomic<int> cursorDuringExchange{-1};
    server.setHandler([&](const TRecordedRequest&) {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        cursorDuringExchange = cursor ? int(cursor->shape()) : -2;
        TScriptedReply reply = Soap(StateResult(QStringLiteral("T")));
        reply.Delay = 1600ms;
        return reply;
    });
    Press("buGetState", PressWait::no);
    // Painted while the server still holds its answer back; the operator may go on typing.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return painted.texts.contains("Получение статуса обработки сообщения... 1 с"); }, 30000));
    EXPECT_TRUE(window->busy());
    QTest::keyClicks(Control<QLineEdit>("edPayerName"), "typed");
    EXPECT_EQ(Text("edPayerName"), "typed");
    for (const char* name : {"buGetState", "buPaymentSend", "buGetCharge", "buOrderOpen", "buChargeClear"})
        EXPECT_FALSE(Control<QPushButton>(name)->isEnabled()) << name;
    EXPECT_TRUE(Control<QPushButton>("buCancelOperation")->isVisible());

    WaitUntilIdle(*window);
    EXPECT_EQ(cursorDuringExchange, int(Qt::BusyCursor));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(painted.texts.contains("Получение статуса обработки сообщения..."));
    EXPECT_EQ(Status(), "Статус сообщения получен.");
    EXPECT_TRUE(Control<QPushButton>("buGetState")->isEnabled());
    EXPECT_FALSE(Control<QPushButton>("buCancelOperation")->isVisible());
}

TEST_F(Flows, PressesMadeWhileTheWindowWaitsAreNotActedOnAfterwards)
{
    Open();
    auto* button = Control<QPushButton>("buOrderSend");
    Control<QComboBox>("cbChangeStatus2")->setCurrentIndex(0);
    const QPointF centre = QRectF(button->rect()).center();
    server.setHandler([&](const TRecordedRequest&) {
        // The operator, impatient, presses the button again while the exchange runs.
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(button,
                                        new QMouseEvent(type, centre, button->mapToGlobal(centre),
                                                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        return Soap(AckResult(QStringLiteral("MSG-ONCE")));
    });
    dialogs.answerYesNo(false);
    Press("buOrderSend");
    QCoreApplication::processEvents();
    EXPECT_EQ(server.requestCount(), 1) << "the notification must go out once";
    EXPECT_EQ(Text("edPackage2"), "MSG-ONCE");

    // The window still answers presses made after the exchange; the notification is sent again
    // only because the operator says so.
    dialogs.answerYesNo(true);
    dialogs.answerYesNo(false);
    Press("buOrderSend");
    EXPECT_EQ(server.requestCount(), 2);
}

// The window against an encrypted container: every password dialog is answered as the operator
// would answer it, with the right password and the "remember" box as the test says.
class PasswordQuestions : public Flows {
  protected:
    const QString Locked = QStringLiteral("Locked signer");
    const QString Password = QStringLiteral("пароль");
    bool remember = false;
    int asked = 0;
    QTimer poll;

    void SetUp() override
    {
        Flows::SetUp();
        TestKeyOptions options;
        options.password = Password;
        keys.addContainer(Locked, options);
        Open();
        auto* container = Control<QComboBox>("cbContainer");
        container->addItem(Locked);
        Choose(Locked);
        QObject::connect(&poll, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<TfmPassword*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            ++asked;
            dialog->findChild<QLineEdit*>(QStringLiteral("edPassword"))->setText(Password);
            auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("ckRemember"));
            EXPECT_TRUE(box->isVisible());
            EXPECT_FALSE(box->isChecked());
            if (remember)
                QTest::mouseClick(box, Qt::LeftButton);
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("buOK")), Qt::LeftButton);
        });
        poll.start(10);
    }

    void Choose(const QString& name)
    {
        auto* container = Control<QComboBox>("cbContainer");
        container->setCurrentIndex(container->findText(name));
    }

    // A payment with its follow-up: three signatures in one operation.
    int Payment()
    {
        asked = 0;
        Script({Soap(ImportResult(QStringLiteral("PKG-1"))), Soap(PackageStatus(QStringLiteral("0")))});
        dialogs.answerYesNo(true);
        Press("buPaymentSend");
        EXPECT_EQ(Status(), "Статус пакета получен.");
        return asked;
    }

    // Ten pages, each request signed.
    int Charges()
    {
        asked = 0;
        const int before = server.requestCount();
        Script({Soap(ExportCharges(QStringLiteral("hasMore=\"true\""), {ChargeInfo("1", "100")}))});
        Press("buGetCharge");
        EXPECT_EQ(server.requestCount() - before, 10);
        EXPECT_EQ(Status(), "Получено начислений: 10");
        return asked;
    }
};

TEST_F(PasswordQuestions, AskedOncePerOperationNotWhileRememberedAndAgainForAnotherContainer)
{
    const int payment = Payment();
    EXPECT_EQ(payment, 1);
    RecordProperty("payment_password_questions", payment);
    EXPECT_TRUE(Verified(CheckEnvelopeSignature(server.requests()[0].Body)));
    EXPECT_TRUE(Verified(CheckPaymentSignature(server.requests()[0].Body)));
    const int charges = Charges();
    EXPECT_EQ(charges, 1);
    RecordProperty("charges_password_questions", charges);
    // Not remembered: the next operation asks again.
    EXPECT_EQ(Payment(), 1);

    remember = true;
    EXPECT_EQ(Charges(), 1);
    remember = false;
    EXPECT_EQ(Payment(), 0);
    EXPECT_EQ(Charges(), 0);
    EXPECT_TRUE(Verified(CheckEnvelopeSignature(server.requests().last().Body)));

    // Another container chosen forgets the key, even when the operator comes back to this one.
    Choose(Signer);
    EXPECT_EQ(Payment(), 0);
    Choose(Locked);
    EXPECT_EQ(Payment(), 1);
}

TEST(RecordDisplay, OnlyTheTwoChargeRequestsShowTheRecordsTheyKeep)
{
    using enum TValuesType;
    QMainWindow window;
    auto* charges = new QPlainTextEdit(&window);
    auto* documents = new QPlainTextEdit(&window);
    ScriptedDialogs dialogs;
    OperationView view(*window.statusBar(), window, *charges, *documents, dialogs);
    QTemporaryDir data;
    SessionOptions options;
    options.dataOption = data.path();
    Session session(std::move(options));
    const Form controls;
    OperationRunner runner(session.inputs(ClientSettings()), controls, view);
    const XmlDocument document;
    for (TValuesType type : {vtGISGMPPayment, vtGISGKXPayment, vtGISGKXCancel, vtGISGKXGetState}) {
        runner.setValuesType(type);
        QStringList lines{QStringLiteral("TotalAmount=100")};
        runner.DisplayRecord(document, lines);
        EXPECT_EQ(lines, QStringList{"TotalAmount=100"});
    }
    EXPECT_EQ(charges->toPlainText(), "");
    EXPECT_EQ(documents->toPlainText(), "");

    // Those records were kept all the same: the numbering counts them.
    runner.setValuesType(vtGISGMPCharges);
    QStringList lines;
    runner.DisplayRecord(document, lines);
    lines = QStringList{QStringLiteral("TotalAmount=100")};
    runner.DisplayRecord(document, lines);
    EXPECT_EQ(charges->toPlainText(), "Начисление #5\n\nНачисление #6\nСумма=1.00\n");

    // A value that does not convert leaves the memo as it was.
    lines = QStringList{QStringLiteral("TotalAmount=сто")};
    EXPECT_THROW(runner.DisplayRecord(document, lines), EConvertError);
    EXPECT_EQ(charges->toPlainText(), "Начисление #5\n\nНачисление #6\nСумма=1.00\n");

    runner.setValuesType(vtGISGKXCharges);
    lines =
        QStringList{QStringLiteral("Charge\\ExecutorInformation\\INN=1"), QStringLiteral("TotalAmount=100")};
    runner.DisplayRecord(document, lines);
    EXPECT_EQ(documents->toPlainText(), "Начисление #8\nИНН исполнителя=1\nTotalAmount=100\n");
}

TEST(FirstStart, WithoutAKeyContainerTheOperatorIsToldHowToMakeOneAndNothingIsSent)
{
    TestKeyStore keys;
    TLoopbackHttpServer server;
    ScriptedDialogs dialogs;
    TestWindow window(TestWindowSetup().dialogs(dialogs).keyStore(keys.path()));
    window->show();
    auto* guidance = window.control<QLabel>("laNoContainer");
    EXPECT_FALSE(guidance->isHidden());
    EXPECT_TRUE(guidance->text().contains(QDir::toNativeSeparators(keys.path())))
        << guidance->text().toStdString();
    EXPECT_TRUE(guidance->text().contains(QStringLiteral("zelvan-keytool new")));
    EXPECT_TRUE(guidance->text().contains(QStringLiteral("zelvan-keytool import")));
    window.control<QComboBox>("cbServiceChargesGISGMP")->setEditText(server.url(QStringLiteral("/charges")));

    // A send, a query and the certificate button each show the guidance, not the provider's text.
    for (const char* name : {"buPaymentSend", "buGetCharge", "buSertShow"}) {
        SCOPED_TRACE(name);
        dialogs.clear();
        PressButton(window, QLatin1String(name));
        const QList<ScriptedDialogs::Shown> shown = dialogs.shown();
        ASSERT_EQ(shown.size(), 1);
        EXPECT_EQ(shown[0].kind, Kind::Warning);
        EXPECT_EQ(shown[0].text, guidance->text());
    }
    EXPECT_EQ(server.requestCount(), 0);

    // A container made while the window is open is taken up by the next press.
    keys.addContainer(Signer);
    dialogs.clear();
    PressButton(window, QStringLiteral("buGetCharge"));
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_EQ(window.control<QComboBox>("cbContainer")->currentText(), Signer);
    EXPECT_TRUE(guidance->isHidden());
    for (const ScriptedDialogs::Shown& shown : dialogs.shown())
        EXPECT_NE(shown.text, guidance->text());
}
