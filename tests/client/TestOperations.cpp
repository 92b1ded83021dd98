// The operations without a window: an OperationRunner over a form of the test's own, signing with
// a test key container, against a loopback server standing in for the state systems. What is
// checked is what the runner tells its sink (the texts the window shows), what the server
// received, and the debug files.
#include "client/Form.h"
#include "client/Operations.h"
#include "client/Session.h"
#include "foundation/Exceptions.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlHelper.h"
#include "journal/Exchange.h"
#include "support/FileSizeLimit.h"
#include "support/LoopbackHttpServer.h"
#include "support/MessageAssertions.h"
#include "support/StateSystemReplies.h"
#include "support/TestKeys.h"
#include "support/TestTimeStampAuthority.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>

namespace {

const QString Signer = QStringLiteral("Operation signer");
const QByteArray Bom("\xEF\xBB\xBF");
const QByteArray GisGmpAction = "\"http://roskazna.ru/gisgmp/02000000/SmevGISGMPService/GISGMPTransferMsg\"";

QString TextOf(const QByteArray& request, const QString& path)
{
    return FindNodeByPath(XmlDocument::parse(request).documentElement(), path, true).text();
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Everything the runner tells, in order, as "what: text"; the records as the memo of their tab
// shows them; an identifier goes into the form for the follow-up, as the window puts it there.
class RecordingSink final : public OperationSink {
  public:
    explicit RecordingSink(Form& form) : form_(form) {}

    QStringList told;
    QString memo;
    bool followUp = false;
    bool repeat = false;

    void started(const QString& text) override { told << QStringLiteral("started: ") + text; }
    void record(TRecordTable table, qsizetype number, const QStringList& lines) override
    {
        if (table == TRecordTable::rtNone)
            return;
        if (!memo.isEmpty())
            memo += u'\n';
        AppendRecordBlockText(memo, number, lines);
    }
    void identifier(const QString& control, const QString& caption, const QString& value) override
    {
        form_.set(control, value);
        told << QStringLiteral("identifier: %1 %2: %3").arg(control, caption, value);
    }
    void finished(const QString& result) override { told << QStringLiteral("finished: ") + result; }
    void warning(const QString& text) override { told << QStringLiteral("warning: ") + text; }
    void information(const QString& text) override { told << QStringLiteral("information: ") + text; }
    bool askFollowUp(const QString& question) override
    {
        told << QStringLiteral("question: ") + question;
        return followUp;
    }
    bool confirmRepeat(const QString& question) override
    {
        told << QStringLiteral("repeat: ") + question;
        return repeat;
    }

    // What was told under that heading, in order.
    QStringList all(const QString& what) const
    {
        QStringList texts;
        for (const QString& each : told)
            if (each.startsWith(what + QStringLiteral(": ")))
                texts << each.mid(what.size() + 2);
        return texts;
    }

  private:
    Form& form_;
};

class Operations : public ::testing::Test {
  protected:
    TestKeyStore keys;
    ReplyScript replies;
    TLoopbackHttpServer server;
    QTemporaryDir data;
    // What the session takes from the test; read when the first operation runs.
    std::function<QDateTime()> clock;
    THttpLimits limits;
    bool debug = false;
    ClientSettings settings = DefaultSettings();
    Form form;
    std::atomic<bool> cancel{false};
    RecordingSink sink{form};
    // ErrorText of what the last run raised; empty when it ended well.
    QString error;

    void SetUp() override
    {
        keys.addContainer(Signer);
        server.setHandler([this](const TRecordedRequest&) { return replies.next(); });
        settings.container = Signer;
        settings.servicePaymentGisGmp = server.url(QStringLiteral("/gisgmp/payment"));
        settings.serviceChargesGisGmp = server.url(QStringLiteral("/gisgmp/charges"));
        settings.servicePaymentGisGkx = server.url(QStringLiteral("/gisgkx/payment"));
        settings.serviceChargesGisGkx = server.url(QStringLiteral("/gisgkx/charges"));
        settings.timeStampEnable = false;
        for (FieldFileKind kind : {FieldFileKind::Payment, FieldFileKind::Charge, FieldFileKind::Order,
                                   FieldFileKind::DocumentDetails})
            LoadFieldLines(kind, {}, form, QDate::currentDate());
    }

    Session& session()
    {
        if (!session_) {
            SessionOptions options;
            options.dataOption = data.path();
            options.keyStoreOption = keys.path();
            if (debug)
                options.debugFolder = data.path();
            options.clock = [this] { return clock ? clock() : QDateTime::currentDateTime(); };
            options.httpLimits = limits;
            session_ = std::make_unique<Session>(std::move(options));
        }
        return *session_;
    }

    // Runs on a sink of its own and returns what it was told; the error goes to `error`.
    template <class Run> QStringList RunWith(Run run)
    {
        sink.told.clear();
        sink.memo.clear();
        error.clear();
        AddSettingsFields(settings, form);
        OperationInputs inputs = session().inputs(settings);
        inputs.cancel = &cancel;
        OperationRunner runner(std::move(inputs), form, sink);
        try {
            run(runner);
        } catch (...) {
            error = ErrorText(std::current_exception());
        }
        return sink.told;
    }
    QStringList Run(Operation operation)
    {
        return RunWith([operation](OperationRunner& runner) { runner.run(operation); });
    }
    QStringList RunOrder(int changeStatus)
    {
        return RunWith([changeStatus](OperationRunner& runner) { runner.runOrder(changeStatus); });
    }

    void Script(std::initializer_list<TScriptedReply> list) { replies.set(list); }

    QString Debug(const QString& name) const
    {
        return QDir(data.path()).filePath(name + QStringLiteral(".xml"));
    }
    QStringList DebugFiles() const
    {
        return QDir(data.path()).entryList({QStringLiteral("*.xml")}, QDir::Files);
    }
    void RemoveDebugFiles() const
    {
        for (const QString& name : DebugFiles())
            QFile::remove(Debug(QFileInfo(name).completeBaseName()));
    }

  private:
    std::unique_ptr<Session> session_;
};

const QString PaymentSent = QStringLiteral("started: Отправка информации о платеже...");
const QString StatusAsked = QStringLiteral("started: Получение статуса обработки пакета...");
const QString ChargesAsked = QStringLiteral("started: Запрос начислений...");
const QString StateAsked = QStringLiteral("started: Получение статуса обработки сообщения...");

QString FollowUpQuestion(const QString& caption, const QString& identifier)
{
    return QStringLiteral(
               "question: Сообщение отправлено успешно.\n%1: %2\n\nПолучить результат обработки сейчас?")
        .arg(caption, identifier);
}

} // namespace

TEST_F(Operations, APaymentIsSentSignedAndItsStatusFetchedOnYes)
{
    debug = true;
    LoadFieldLines(FieldFileKind::Payment, {QStringLiteral("PayerName=Иванов Иван Иванович")}, form,
                   QDate::currentDate());
    Script({Soap(ImportResult(QStringLiteral("PKG-0001"))), Soap(PackageStatus(QStringLiteral("0")))});
    sink.followUp = true;
    EXPECT_EQ(Run(Operation::Payment),
              QStringList({PaymentSent, "identifier: edPackage Идентификатор пакета: PKG-0001",
                           "finished: Отправлено.", FollowUpQuestion("Идентификатор пакета", "PKG-0001"),
                           StatusAsked, "finished: Статус пакета получен.",
                           "information: Информация о платеже принята."}));
    EXPECT_EQ(error, "");

    const QList<TRecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    const TRecordedRequest& payment = requests[0];
    EXPECT_EQ(payment.Method, "POST");
    EXPECT_EQ(payment.Path, "/gisgmp/payment");
    EXPECT_EQ(payment.header("SOAPAction"), GisGmpAction);
    EXPECT_EQ(payment.header("Content-Type"), "text/xml; charset=utf-8");
    EXPECT_TRUE(payment.Body.contains(QStringLiteral("Иванов Иван Иванович").toUtf8()));
    EXPECT_EQ(payment.header("Content-Length"), QByteArray::number(payment.Body.size()));
    EXPECT_TRUE(Verified(CheckEnvelopeSignature(payment.Body)));
    EXPECT_TRUE(Verified(CheckPaymentSignature(payment.Body)));
    // The follow-up asks for the package the first reply named.
    EXPECT_EQ(requests[1].Path, "/gisgmp/payment");
    EXPECT_EQ(requests[1].header("SOAPAction"), GisGmpAction);
    EXPECT_TRUE(requests[1].Body.contains("PKG-0001"));
    EXPECT_TRUE(Verified(CheckEnvelopeSignature(requests[1].Body)));

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

TEST_F(Operations, NoToTheFollowUpEndsThereAndWithoutADebugFolderNoFileIsWritten)
{
    Script({Soap(ImportResult(QStringLiteral("PKG-0002")))});
    EXPECT_EQ(Run(Operation::Payment),
              QStringList({PaymentSent, "identifier: edPackage Идентификатор пакета: PKG-0002",
                           "finished: Отправлено.", FollowUpQuestion("Идентификатор пакета", "PKG-0002")}));
    EXPECT_EQ(server.requestCount(), 1);

    Script({Soap(AckResult(QStringLiteral("MSG-1")))});
    EXPECT_EQ(RunOrder(1).mid(2, 1), QStringList{"finished: Отправлено."});
    EXPECT_EQ(error, "");
    EXPECT_EQ(DebugFiles(), QStringList());
}

TEST_F(Operations, APackageStillInProcessingIsNoFailure)
{
    // The status of the answering system is read without regard to letter case.
    Script({Soap(
        GisGmpReply(QStringLiteral("<Ticket><PackageProcessResult><EntityProcessResult><ResultCode>50"
                                   "</ResultCode><ResultDescription>Пакет в обработке</ResultDescription>"
                                   "</EntityProcessResult></PackageProcessResult></Ticket>"),
                    QStringLiteral("result")))});
    EXPECT_EQ(Run(Operation::PackageStatus), QStringList({StatusAsked, "finished: Статус пакета получен.",
                                                          "warning: Обработка пакета еще не завершена."}));
    EXPECT_EQ(error, "");

    Script({Soap(PackageStatus(QStringLiteral("1"), QStringLiteral("Платеж отклонен")))});
    EXPECT_EQ(Run(Operation::PackageStatus), QStringList({StatusAsked, "finished: Ошибка."}));
    EXPECT_EQ(error, "ResultCode=1 Платеж отклонен");
}

TEST_F(Operations, ChargesArePagedUpToTenRequestsAndAnIncompleteListIsSaidToBeOne)
{
    debug = true;
    // The clock moves on between reads; every page must still carry the operation's one moment.
    int ticks = 0;
    clock = [&ticks] { return QDateTime(QDate(2016, 2, 1), QTime(10, 0).addSecs(ticks++)); };
    Script({Soap(ExportCharges(QStringLiteral("hasMore=\"true\""),
                               {ChargeInfo("1", "100"), ChargeInfo("2", "200")})),
            Soap(ExportCharges(QStringLiteral("hasMore=\"true\""), {ChargeInfo("3", "300")}))});
    EXPECT_EQ(Run(Operation::Charges),
              QStringList({ChargesAsked, "finished: Получено начислений: 11",
                           "warning: Получены не все начисления: достигнут предел в 10 запросов. Уточните "
                           "условия поиска."}));

    const QList<TRecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 10);
    QStringList numbers, lengths;
    for (const TRecordedRequest& request : requests) {
        EXPECT_EQ(request.Path, "/gisgmp/charges");
        EXPECT_EQ(request.header("SOAPAction"), GisGmpAction);
        numbers << AttributeValue(request.Body, "Paging", "pageNumber");
        lengths << AttributeValue(request.Body, "Paging", "pageLength");
        EXPECT_EQ(TextOf(request.Body, "Body\\GISGMPTransferMsg\\Message\\Date"),
                  TextOf(requests[0].Body, "Body\\GISGMPTransferMsg\\Message\\Date"));
    }
    // The first request asks without paging; then page 2 onwards with the previous reply's length.
    EXPECT_EQ(numbers, QStringList({"", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
    EXPECT_EQ(lengths, QStringList({"", "2", "1", "1", "1", "1", "1", "1", "1", "1"}));
    // Numbering runs on across pages; the debug files hold the last page.
    EXPECT_TRUE(sink.memo.startsWith("Начисление #1\nУИН=1\nДата начисления=01.02.2016 7:00:00\n"
                                     "Назначение=Штраф\nСумма=1.00\n\nНачисление #2\nУИН=2\n"));
    EXPECT_TRUE(sink.memo.endsWith("Начисление #11\nУИН=3\nДата начисления=01.02.2016 7:00:00\n"
                                   "Назначение=Штраф\nСумма=3.00\n"));
    EXPECT_EQ(FileBytes(Debug("ChargeRequest")), Bom + requests.last().Body);

    // "1" announces more pages just as "true" does; "false" ends them.
    Script({Soap(ExportCharges(QStringLiteral("hasMore=\"1\""), {ChargeInfo("1", "123450")})),
            Soap(ExportCharges(QStringLiteral("hasMore=\"false\""), {ChargeInfo("2", "0")}))});
    EXPECT_EQ(Run(Operation::Charges), QStringList({ChargesAsked, "finished: Получено начислений: 2"}));
    EXPECT_EQ(server.requestCount(), 12);
    EXPECT_EQ(sink.memo,
              QString("Начисление #1\nУИН=1\nДата начисления=01.02.2016 7:00:00\nНазначение=Штраф\n"
                      "Сумма=1234.50\n\nНачисление #2\nУИН=2\nДата начисления=01.02.2016 7:00:00\n"
                      "Назначение=Штраф\nСумма=0.00\n"));

    // One request without paging when the first reply has no more.
    Script({Soap(ExportCharges(QString(), {ChargeInfo("7", "5")}))});
    EXPECT_EQ(Run(Operation::Charges), QStringList({ChargesAsked, "finished: Получено начислений: 1"}));
    EXPECT_EQ(server.requestCount(), 13);
    EXPECT_EQ(AttributeValue(server.requests().last().Body, "Paging", "pageNumber"), "");
    EXPECT_TRUE(sink.memo.startsWith("Начисление #1\nУИН=7\n"));

    // Nothing found: no Charges element at all.
    Script({Soap(GisGmpReply(QStringLiteral("<ExportChargesResponse/>")))});
    EXPECT_EQ(Run(Operation::Charges), QStringList({ChargesAsked, "finished: Получено начислений: 0",
                                                    "warning: Начислений не найдено."}));
    EXPECT_EQ(sink.memo, "");
}

TEST_F(Operations, DamagedChargesEndTheOperationWithWhatWasShownKept)
{
    struct Case {
        const char* what;
        TScriptedReply reply;
        QString error; // empty: any message
        QString memo;
    };
    const QString first = QStringLiteral(
        "Начисление #1\nУИН=1\nДата начисления=01.02.2016 7:00:00\nНазначение=Штраф\nСумма=1.00\n");
    const Case cases[] = {
        {"a charge document that is no Base64",
         Soap(ExportCharges(QStringLiteral("hasMore=\"true\""),
                            {ChargeInfo("1", "100"), QStringLiteral("<ChargeInfo><ChargeData>@@@</ChargeData>"
                                                                    "</ChargeInfo>")})),
         {},
         first},
        // Raised before any record is shown.
        {"needReRequest",
         Soap(ExportCharges(QStringLiteral("needReRequest=\"TRUE\""), {ChargeInfo("1", "100")})),
         "ResultCode=needReRequest Требуется повторный запрос (внешняя система недоступна либо получена "
         "ошибка).",
         ""},
        // An amount that is no number stops the display of that record.
        {"an amount that is no number",
         Soap(ExportCharges(QString(), {ChargeInfo("1", "100"), ChargeInfo("2", "12,5")})),
         "'12,5' is not a valid floating point value", first},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = server.requestCount();
        Script({c.reply});
        EXPECT_EQ(Run(Operation::Charges), QStringList({ChargesAsked, "finished: Ошибка."}));
        EXPECT_EQ(server.requestCount(), before + 1);
        EXPECT_FALSE(error.isEmpty());
        if (!c.error.isEmpty()) {
            EXPECT_EQ(error, c.error);
        }
        EXPECT_EQ(sink.memo, c.memo);
    }
}

TEST_F(Operations, PaymentDocumentsAreShownOnePerDocumentAndService)
{
    debug = true;
    Script({Soap(DocumentDetails(QStringLiteral(
        "<Charge><UnifiedAccountNumber>ЕЛС-1</UnifiedAccountNumber><ExecutorInformation><INN>3525000000</INN>"
        "</ExecutorInformation><PaymentDocument><PaymentDocumentNumber>77</PaymentDocumentNumber>"
        "<PaymentDocumentDetails><Debt>123456</Debt><Reminder>99</Reminder></PaymentDocumentDetails>"
        "</PaymentDocument><PaymentDocument><PaymentDocumentNumber>78</PaymentDocumentNumber>"
        "</PaymentDocument><Service><ServiceID>S-1</ServiceID></Service></Charge>")))});
    EXPECT_EQ(Run(Operation::DocumentDetails),
              QStringList({ChargesAsked, "finished: Получено начислений: 3"}));
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests()[0].Path, "/gisgkx/charges");
    EXPECT_EQ(server.requests()[0].header("SOAPAction"), "\"urn:#export_payment_document_details\"");
    EXPECT_EQ(sink.memo,
              QString("Начисление #1\nЕдиный лицевой счет=ЕЛС-1\nИНН исполнителя=3525000000\n"
                      "Номер платежного документа=77\nЗадолженность=1234.56\nОстаток к оплате=99\n\n"
                      "Начисление #2\nЕдиный лицевой счет=ЕЛС-1\nИНН исполнителя=3525000000\n"
                      "Номер платежного документа=78\n\n"
                      "Начисление #3\nЕдиный лицевой счет=ЕЛС-1\nИНН исполнителя=3525000000\nКод ЖКУ=S-1\n"));
    EXPECT_EQ(DebugFiles(), QStringList({"DocumentDetailsRequest.xml", "DocumentDetailsResponse.xml"}));

    // The code that means "nothing found" is no error.
    Script({Soap(DocumentDetails(QStringLiteral("<ErrorMessage><ErrorCode>INT002012</ErrorCode>"
                                                "<Description>Нет данных</Description></ErrorMessage>")))});
    EXPECT_EQ(Run(Operation::DocumentDetails), QStringList({ChargesAsked, "finished: Получено начислений: 0",
                                                            "warning: Начислений не найдено."}));
    EXPECT_EQ(sink.memo, "");
}

TEST_F(Operations, OrderNotificationCancellationAndState)
{
    debug = true;
    Script({Soap(AckResult(QStringLiteral("MSG-NEW"))), Soap(StateResult(QStringLiteral("T-1")))});
    sink.followUp = true;
    EXPECT_EQ(
        RunOrder(0),
        QStringList({PaymentSent, "identifier: edPackage2 Идентификатор сообщения: MSG-NEW",
                     "finished: Отправлено.", FollowUpQuestion("Идентификатор сообщения", "MSG-NEW"),
                     StateAsked, "finished: Статус сообщения получен.", "information: Извещение принято."}));
    QList<TRecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].Path, "/gisgkx/payment");
    EXPECT_EQ(requests[0].header("SOAPAction"),
              "\"urn:async_getId_import_notifications_of_order_execution\"");
    EXPECT_EQ(requests[1].header("SOAPAction"), "\"urn:async_getResult\"");
    EXPECT_TRUE(requests[1].Body.contains("MSG-NEW"));

    RemoveDebugFiles();
    Script({Soap(AckResult(QStringLiteral("MSG-CANCEL")))});
    sink.followUp = false;
    EXPECT_EQ(RunOrder(1), QStringList({"started: Отправка информации об аннулировании распоряжения...",
                                        "identifier: edPackage2 Идентификатор сообщения: MSG-CANCEL",
                                        "finished: Отправлено.",
                                        FollowUpQuestion("Идентификатор сообщения", "MSG-CANCEL")}));
    ASSERT_EQ(server.requestCount(), 3);
    EXPECT_EQ(server.requests()[2].header("SOAPAction"),
              "\"urn:async_getId_import_notifications_of_order_execution_cancellation\"");
    EXPECT_EQ(DebugFiles(), QStringList({"CancellationRequest.xml", "CancellationResponse.xml"}));

    // With no status chosen nothing is sent: it may be meant as a new order.
    EXPECT_EQ(RunOrder(-1), QStringList({"finished: Ошибка."}));
    EXPECT_EQ(server.requestCount(), 3);
    EXPECT_EQ(error, "Не выбран статус данных платежа.");
}

TEST_F(Operations, DebugFilesAreReplacedAndOnlyTheRequestFileMayStopAnOperation)
{
    debug = true;
    Script({Soap(StateResult(QStringLiteral("T-1")))});
    Run(Operation::GetState);
    Script({Soap(StateResult(QStringLiteral("T-2")))});
    Run(Operation::GetState);
    ASSERT_EQ(server.requestCount(), 2);
    EXPECT_EQ(DebugFiles(), QStringList({"GetStateRequest.xml", "GetStateResponse.xml"}));
    EXPECT_EQ(FileBytes(Debug("GetStateRequest")), Bom + server.requests()[1].Body);
    EXPECT_TRUE(FileBytes(Debug("GetStateResponse")).contains("T-2"));

    // The reply has come: the identifier is kept and the operator told about the file afterwards.
    ASSERT_TRUE(QDir(data.path()).mkdir("OrderExecutionResponse.xml"));
    Script({Soap(AckResult(QStringLiteral("MSG-KEPT")))});
    const QStringList told = RunOrder(0);
    EXPECT_EQ(error, "");
    ASSERT_EQ(told.size(), 5);
    EXPECT_EQ(told.mid(1, 2), QStringList({"identifier: edPackage2 Идентификатор сообщения: MSG-KEPT",
                                           "finished: Отправлено."}));
    EXPECT_TRUE(told[3].startsWith("warning: "));
    EXPECT_TRUE(told[3].contains(QDir::toNativeSeparators(Debug("OrderExecutionResponse"))))
        << told[3].toStdString();
    EXPECT_TRUE(told[4].startsWith("question: "));

    // A request file that cannot be written stops the operation before anything is sent.
    ASSERT_TRUE(QDir(data.path()).mkdir("PaymentRequest.xml"));
    EXPECT_EQ(Run(Operation::Payment), QStringList({PaymentSent, "finished: Ошибка."}));
    EXPECT_EQ(server.requestCount(), 3);
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(Debug("PaymentRequest")))) << error.toStdString();

    // A full disk: the previous request file stays whole and nothing is sent.
    const QByteArray previous = FileBytes(Debug("GetStateRequest"));
    {
        ScopedFileSizeLimit disk(8);
        Run(Operation::GetState);
    }
    EXPECT_EQ(server.requestCount(), 3);
    EXPECT_EQ(sink.told.last(), "finished: Ошибка.");
    EXPECT_EQ(error, QStringLiteral("Ошибка записи в файл \"%1\".\nFile too large")
                         .arg(QDir::toNativeSeparators(Debug("GetStateRequest"))));
    EXPECT_EQ(FileBytes(Debug("GetStateRequest")), previous);
}

TEST_F(Operations, CancelBeforeSendingSendsNothingAndAfterItTellsWhatIsKnown)
{
    debug = true;
    // The payment waits for a time stamp that never comes, and is stopped there: its request has
    // not left yet.
    TLoopbackHttpServer stamps([this](const TRecordedRequest&) {
        cancel = true;
        return TScriptedReply::hangForever();
    });
    settings.timeStampEnable = true;
    settings.timeStampServer = stamps.url();
    EXPECT_EQ(Run(Operation::Payment), QStringList({PaymentSent, "finished: Отменено."}));
    EXPECT_EQ(stamps.requestCount(), 1);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(error, "Операция отменена. Запрос не отправлен.");

    // The payment is taken, and the status request it is followed by stopped while unanswered.
    cancel = false;
    settings.timeStampEnable = false;
    server.setHandler([this](const TRecordedRequest& request) {
        if (!request.Body.contains("PackageID"))
            return Soap(ImportResult(QStringLiteral("PKG-7")));
        cancel = true;
        return TScriptedReply::hangForever();
    });
    sink.followUp = true;
    sink.repeat = true;
    EXPECT_EQ(
        Run(Operation::Payment).mid(1),
        QStringList({"identifier: edPackage Идентификатор пакета: PKG-7", "finished: Отправлено.",
                     FollowUpQuestion("Идентификатор пакета", "PKG-7"), StatusAsked, "finished: Отменено."}));
    ASSERT_EQ(server.requestCount(), 2);
    EXPECT_EQ(error, QStringLiteral("Операция отменена после отправки запроса: ГИС ГМП могла его получить. "
                                    "Прежде чем отправлять его снова, узнайте, получен ли он.\n"
                                    "Идентификатор пакета: PKG-7\nЗапрос сохранен в файле \"%1\".")
                         .arg(QDir::toNativeSeparators(Debug("PaymentStatusRequest"))));
    EXPECT_EQ(FileBytes(Debug("PaymentStatusRequest")), Bom + server.requests()[1].Body);
    EXPECT_FALSE(QFile::exists(Debug("PaymentStatusResponse")));
}

// Stopped while a charges page of tens of megabytes is read, after the transfer is over: the request
// has been taken, and nothing of the page is shown.
TEST_F(Operations, AStopWhileALargeReplyIsReadShowsNothingOfIt)
{
    TScriptedReply page = Soap(ExportCharges(QString(), QStringList(70'000, ChargeInfo("1", "100"))));
    page.ReadByClient = [this] { cancel = true; };
    Script({page});
    EXPECT_EQ(Run(Operation::Charges), QStringList({ChargesAsked, "finished: Отменено."}));
    EXPECT_EQ(error, "Операция отменена после отправки запроса: ГИС ГМП могла его получить. Прежде чем "
                     "отправлять его снова, узнайте, получен ли он.\nИдентификатор еще не получен.");
    EXPECT_EQ(sink.memo, "");
}

TEST_F(Operations, EveryFailureEndsWithErrorAndTheNextOperationWorks)
{
    const QString address = settings.servicePaymentGisGkx;
    TScriptedReply page;
    page.ContentType = "text/html";
    page.Body = "<html><body>Proxy</body></html>";
    struct Case {
        const char* what;
        TScriptedReply reply;
        QString message; // empty: any message
    };
    const Case cases[] = {
        {"HTTP 404", Xml("<html/>", 404), QStringLiteral("Not Found (404) - '%1'").arg(address)},
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Script({c.reply});
        EXPECT_EQ(RunOrder(0), QStringList({PaymentSent, "finished: Ошибка."}));
        EXPECT_FALSE(error.isEmpty());
        if (!c.message.isEmpty()) {
            EXPECT_EQ(error, c.message);
        }
    }

    // Nobody listening at all.
    settings.servicePaymentGisGkx =
        QStringLiteral("http://127.0.0.1:%1/gisgkx/payment").arg(UnusedLoopbackPort());
    EXPECT_EQ(Run(Operation::GetState), QStringList({StateAsked, "finished: Ошибка."}));
    EXPECT_FALSE(error.isEmpty());

    // And the next operation works.
    settings.servicePaymentGisGkx = address;
    Script({Soap(StateResult(QStringLiteral("T-OK")))});
    EXPECT_EQ(Run(Operation::GetState), QStringList({StateAsked, "finished: Статус сообщения получен.",
                                                     "information: Извещение принято."}));
}

TEST_F(Operations, ASilentServerIsGivenUp)
{
    limits.SilenceMs = 500;
    Script({TScriptedReply::hangForever()});
    EXPECT_EQ(RunOrder(0), QStringList({PaymentSent, "finished: Ошибка."}));
    EXPECT_FALSE(error.isEmpty());
}

// The command line, the journal and the exchange folders name the operations alike: a name the
// journal did not know would record rows its tab cannot show or filter.
TEST(OperationNames, EveryOperationHasOneNameTheJournalKnowsAndShows)
{
    QStringList names;
    for (const Operation operation :
         {Operation::Payment, Operation::PackageStatus, Operation::Charges, Operation::DocumentDetails,
          Operation::Order, Operation::Cancellation, Operation::GetState}) {
        const QString name = OperationCommandName(operation);
        EXPECT_EQ(OperationByCommandName(name), operation) << name.toStdString();
        EXPECT_FALSE(OperationCaption(name).isEmpty()) << name.toStdString();
        names << name;
    }
    EXPECT_EQ(names, JournalOperationNames());
    EXPECT_FALSE(OperationByCommandName(QStringLiteral("Payment")));
}
