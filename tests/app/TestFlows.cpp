// What only the window does while an operation runs: the real window, a test key container, and a
// loopback server standing in for the state systems. Buttons are pressed as the operator presses
// them; what is checked is what the operator sees (status bar, fields, memos, message boxes,
// buttons, the password dialog). What the operations send and report is tested without a window.
#include "PressButton.h"
#include "ScriptedDialogs.h"
#include "TestWindow.h"

#include "app/OperationView.h"
#include "app/PasswordDialog.h"

#include "foundation/Exceptions.h"
#include "foundation/XmlDocument.h"
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
#include <optional>

namespace {

using Kind = ScriptedDialogs::Kind;

const QString Signer = QStringLiteral("Flow signer");

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
  protected:
    TestKeyStore keys;
    ReplyScript replies;
    TLoopbackHttpServer server;
    ScriptedDialogs dialogs;
    std::unique_ptr<TestWindow> window;

    void SetUp() override
    {
        keys.addContainer(Signer);
        server.setHandler([this](const TRecordedRequest&) { return replies.next(); });
    }

    void Open(const QStringList& arguments = {})
    {
        window = std::make_unique<TestWindow>(
            TestWindowSetup().dialogs(dialogs).arguments(arguments).keyStore(keys.path()));
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

    // Presses the button on its own tab, as the operator would.
    void Press(const char* name, PressWait wait = PressWait::untilIdle)
    {
        PressButton(*window, QString::fromLatin1(name), wait);
    }

    void Script(std::initializer_list<TScriptedReply> list) { replies.set(list); }

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

TEST_F(Flows, APaymentShowsItsPackageAsksForItsStatusAndTellsTheOutcome)
{
    Open();
    Script({Soap(ImportResult(QStringLiteral("PKG-0001"))), Soap(PackageStatus(QStringLiteral("0")))});
    dialogs.answerYesNo(true);
    Press("buPaymentSend");

    ASSERT_EQ(server.requestCount(), 2);
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

TEST_F(Flows, TheCancelButtonStopsTheOperationAndSaysSo)
{
    Open();
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

TEST_F(Flows, AFailureIsShownAsAnErrorAndTheNextOperationWorks)
{
    Open();
    const QString address = server.url(QStringLiteral("/gisgkx/payment"));
    Script({Xml("<html/>", 404)});
    Press("buOrderSend");
    EXPECT_EQ(Status(), "Ошибка.");
    EXPECT_EQ(ShownTexts(Kind::Error), QStringList{QStringLiteral("Not Found (404) - '%1'").arg(address)});
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Text("edPackage2"), "");

    dialogs.clear();
    Script({Soap(StateResult(QStringLiteral("T-OK")))});
    Press("buGetState");
    EXPECT_EQ(Status(), "Статус сообщения получен.");
    EXPECT_EQ(ShownTexts(Kind::Info), QStringList{"Извещение принято."});
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
        EXPECT_EQ(Status(), "Статус пакета получен.") << ShownTexts(Kind::Error).join(u'|').toStdString();
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
        EXPECT_EQ(Status(), "Получено начислений: 10") << ShownTexts(Kind::Error).join(u'|').toStdString();
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
