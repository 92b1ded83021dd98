// The six operations behind the send and query buttons, and the steps they share. Each runs on the
// window's thread from the press of its button to its last message; the window is blocked while
// the exchange runs, so whatever the operator should see meanwhile is painted before it starts.
#include "app/Dialogs.h"
#include "app/fZelvan.h"

#include "foundation/Clock.h"
#include "gisgkx/GisGkxRequests.h"
#include "gisgmp/SoapPayment.h"
#include "smev/SmevEnvelope.h"
#include "smev/SoapConstants.h"
#include "smev/SoapReply.h"
#include "smev/SoapTransport.h"
#include "tsp/TimeStamp.h"
#include "ui_fZelvan.h"
#include "values/ResultDisplay.h"

#include <QApplication>
#include <QDir>
#include <QSaveFile>
#include <QTextCursor>
#include <QTextDocument>

namespace {

using enum TValuesType;

// A debug file that cannot be written.
ZELVAN_DECLARE_EXCEPTION(EDebugFileError, Exception);

const QString ErrorResult = QStringLiteral("Ошибка.");
const QString NotProcessedCode = QStringLiteral("50");

// The charges loop asks for pages 0, 2, 3 … 10: at most ten requests in one operation.
constexpr qint32 LastPageNumber = 10;

QString GisGmpSoapAction()
{
    return GISGMP_SERVICE_NS + QStringLiteral("GISGMPTransferMsg");
}

QString ChargesCountText(qsizetype count)
{
    return QStringLiteral("Получено начислений: ") + QString::number(count);
}

QString AskFetchResultText(const QString& identifierCaption, const QString& identifier)
{
    return QStringLiteral("Сообщение отправлено успешно.\n") + identifierCaption + identifier +
           QStringLiteral("\n\nПолучить результат обработки сейчас?");
}

// The wait cursor for as long as an exchange runs, taken back before anything is shown to the
// operator (the closing message, a warning or the error box).
class TBusyCursor final {
  public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { end(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;

    void end()
    {
        if (FActive)
            QApplication::restoreOverrideCursor();
        FActive = false;
    }

  private:
    bool FActive = true;
};

// Drops the presses and keys that reached the window while an exchange blocked it. The windowing
// system queues them and would hand them over afterwards: a second press on "Отправить" made while
// waiting would send the same payment again once the first had gone through.
class TQueuedInputDiscarder final : public QObject {
  public:
    static void discard()
    {
        TQueuedInputDiscarder discarder;
        qApp->installEventFilter(&discarder);
        QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
        qApp->removeEventFilter(&discarder);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
            return true;
        default:
            return false;
        }
    }
};

} // namespace

// What one exchange of an operation posts where, and under which debug names.
struct TfmZelvan::TExchange {
    QString RequestName;
    QString ResponseName;
    QComboBox* Service;
    QString SoapAction;
};

void TfmZelvan::ConnectFlows()
{
    connect(ui->buPaymentSend, &QPushButton::clicked, this, &TfmZelvan::buPaymentSendClick);
    connect(ui->buPackageStatus, &QPushButton::clicked, this, &TfmZelvan::buPackageStatusClick);
    connect(ui->buGetCharge, &QPushButton::clicked, this, &TfmZelvan::buGetChargeClick);
    connect(ui->buGetDocumentDetails, &QPushButton::clicked, this, &TfmZelvan::buGetDocumentDetailsClick);
    connect(ui->buOrderSend, &QPushButton::clicked, this, &TfmZelvan::buOrderSendClick);
    connect(ui->buGetState, &QPushButton::clicked, this, &TfmZelvan::buGetStateClick);
}

QString TfmZelvan::ContainerName() const
{
    return ui->cbContainer->currentText();
}

void TfmZelvan::BeginOperation(TValuesType kind, const QString& startText)
{
    // Painted now: the window handles no events until the exchange is over.
    SetStatus(startText, true);
    SoapTestMode = ui->ckTest->isChecked();
    TimeStampEnable = ui->ckTimeStamp->isChecked();
    TimeStampServer = ui->cbTimeStamp->currentText();
    FValuesType = kind;
    // One moment for every date of the operation, all pages of a charges request included.
    FExecuteDateTime = Now();
    ClearCharges();
    FPagingPageLength = 0;
    FPagingPageNumber = 0;
}

void TfmZelvan::SaveDebugFile(const QString& content, const QString& name)
{
    if (!FDebug || content.isEmpty())
        return;
    const QString path = FAppPath + name + QStringLiteral(".xml");
    QByteArray bytes("\xEF\xBB\xBF");
    bytes += content.toUtf8();
    // Replaced as a whole: a failure leaves the previous exchange's file, never a cut one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EDebugFileError(QStringLiteral("Невозможно создать файл \"%1\".\n%2")
                                  .arg(QDir::toNativeSeparators(path), file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw EDebugFileError(
            QStringLiteral("Ошибка записи в файл \"%1\".\n%2").arg(QDir::toNativeSeparators(path), reason));
    }
}

void TfmZelvan::ClearCharges()
{
    Charges.clear();
}

void TfmZelvan::DisplayRecord(const XmlDocument& /*document*/, QStringList& lines)
{
    // The reader reuses its list for the next record; the copy is what stays.
    Charges.append(lines);

    TRecordTable table = TRecordTable::rtNone;
    QPlainTextEdit* memo = nullptr;
    if (FValuesType == vtGISGMPCharges) {
        table = TRecordTable::rtCharges;
        memo = ui->mmCharges;
    } else if (FValuesType == vtGISGKXCharges) {
        table = TRecordTable::rtPaymentDocuments;
        memo = ui->mmDocumentDetails;
    }
    if (!memo)
        return;
    LabelRecordLines(table, lines);
    // Inserted at the end, never re-set: a long reply must not lay out the whole memo again for
    // every record. The view stays where it is, on the first records unless the operator scrolled.
    QTextCursor end(memo->document());
    end.movePosition(QTextCursor::End);
    const QString block = RecordBlockText(Charges.size(), lines);
    end.insertText(memo->document()->isEmpty() ? block : u'\n' + block);
}

template <class Steps> void TfmZelvan::RunOperation(Steps steps)
{
    // The status bar tells the outcome in every case, before any message about it.
    QString result = ErrorResult;
    FDebugFileWarnings.clear();
    TBusyCursor busy;
    const auto finish = [&] {
        TQueuedInputDiscarder::discard();
        busy.end();
        SetStatus(result);
        for (const QString& warning : std::exchange(FDebugFileWarnings, {}))
            ShowWarning(warning);
    };
    try {
        result = steps();
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

XmlDocument TfmZelvan::Exchange(const TExchange& exchange, const QString& body)
{
    const QString envelope = BuildSignedEnvelope(ContainerName(), body);
    // Written before anything is sent, so a failure here stops the operation harmlessly.
    SaveDebugFile(envelope, exchange.RequestName);
    XmlDocument reply = PostSoapRequest(envelope, exchange.Service->currentText(), exchange.SoapAction);
    if (FDebug) {
        // The state system has taken the request by now: losing its answer over a debug copy would
        // lose the identifier and invite sending the payment twice. The operator hears of it after.
        try {
            SaveDebugFile(QString::fromUtf8(reply.toXml()), exchange.ResponseName);
        } catch (const EDebugFileError& e) {
            FDebugFileWarnings << e.message();
        }
    }
    return reply;
}

void TfmZelvan::buPaymentSendClick()
{
    RunOperation([this] {
        BeginOperation(vtGISGMPPayment, QStringLiteral("Отправка информации о платеже..."));
        const QString body = SoapCreateImportRequest(ContainerName(), *this);
        const XmlDocument reply =
            Exchange({QStringLiteral("PaymentRequest"), QStringLiteral("PaymentResponse"),
                      ui->cbServicePaymentGISGMP, GisGmpSoapAction()},
                     body);
        ui->edPackage->setText(ReadImportResult(reply));
        return QStringLiteral("Отправлено.");
    });
    if (AskYesNo(AskFetchResultText(QStringLiteral("Идентификатор пакета: "), ui->edPackage->text())))
        buPackageStatusClick();
}

void TfmZelvan::buPackageStatusClick()
{
    bool notProcessed = false;
    RunOperation([this, &notProcessed] {
        BeginOperation(vtGISGMPPayment, QStringLiteral("Получение статуса обработки пакета..."));
        try {
            const QString body = SoapCreatePackageStatusRequest(*this);
            const XmlDocument reply =
                Exchange({QStringLiteral("PaymentStatusRequest"), QStringLiteral("PaymentStatusResponse"),
                          ui->cbServicePaymentGISGMP, GisGmpSoapAction()},
                         body);
            ReadPackageStatus(reply);
        } catch (const ESOAPException& e) {
            // The one answer that is not a failure: the package is still being processed.
            if (e.ResultCode() != NotProcessedCode)
                throw;
            notProcessed = true;
        }
        return QStringLiteral("Статус пакета получен.");
    });
    if (notProcessed)
        ShowWarning(QStringLiteral("Обработка пакета еще не завершена."));
    else
        ShowInfo(QStringLiteral("Информация о платеже принята."));
}

void TfmZelvan::buGetChargeClick()
{
    bool limitReached = false;
    RunOperation([this, &limitReached] {
        ui->mmCharges->clear();
        BeginOperation(vtGISGMPCharges, QStringLiteral("Запрос начислений..."));
        bool hasMore = true;
        while (hasMore && FPagingPageNumber <= LastPageNumber) {
            // The builder reads the page number and length of this request from the window.
            const QString body = SoapCreateExportRequest(*this);
            const XmlDocument reply =
                Exchange({QStringLiteral("ChargeRequest"), QStringLiteral("ChargeResponse"),
                          ui->cbServiceChargesGISGMP, GisGmpSoapAction()},
                         body);
            const TExportChargesResult page = ReadExportCharges(reply, this);
            hasMore = page.HasMore;
            FPagingPageLength = page.Count;
            FPagingPageNumber = FPagingPageNumber == 0 ? 2 : FPagingPageNumber + 1;
        }
        // Stopping at the limit while the system still has pages must not pass for the whole list.
        limitReached = hasMore;
        return ChargesCountText(Charges.size());
    });
    if (limitReached)
        ShowWarning(QStringLiteral("Получены не все начисления: достигнут предел в 10 запросов. "
                                   "Уточните условия поиска."));
    if (Charges.isEmpty())
        ShowWarning(QStringLiteral("Начислений не найдено."));
    ClearCharges();
}

void TfmZelvan::buGetDocumentDetailsClick()
{
    RunOperation([this] {
        ui->mmDocumentDetails->clear();
        BeginOperation(vtGISGKXCharges, QStringLiteral("Запрос начислений..."));
        const QString body = SoapCreateExportPaymentDocumentDetailsRequest(ContainerName(), *this);
        const XmlDocument reply =
            Exchange({QStringLiteral("DocumentDetailsRequest"), QStringLiteral("DocumentDetailsResponse"),
                      ui->cbServiceChargesGISGKX, QStringLiteral("urn:#export_payment_document_details")},
                     body);
        ReadPaymentDocumentDetails(reply, this);
        return ChargesCountText(Charges.size());
    });
    if (Charges.isEmpty())
        ShowWarning(QStringLiteral("Начислений не найдено."));
    ClearCharges();
}

void TfmZelvan::buOrderSendClick()
{
    RunOperation([this] {
        // With no status chosen the tab looks like a new order; guessing either way could send the
        // operator's order as its own cancellation.
        const int status = ui->cbChangeStatus2->currentIndex();
        if (status < 0)
            throw Exception(QStringLiteral("Не выбран статус данных платежа."));
        QString body;
        XmlDocument reply;
        if (status == 0) {
            BeginOperation(vtGISGKXPayment, QStringLiteral("Отправка информации о платеже..."));
            body = SoapCreateImportNotificationsOfOrderExecutionRequest(ContainerName(), *this);
            reply = Exchange({QStringLiteral("OrderExecutionRequest"),
                              QStringLiteral("OrderExecutionResponse"), ui->cbServicePaymentGISGKX,
                              QStringLiteral("urn:async_getId_import_notifications_of_order_execution")},
                             body);
        } else {
            BeginOperation(vtGISGKXCancel,
                           QStringLiteral("Отправка информации об аннулировании распоряжения..."));
            body = SoapCreateImportNotificationsOfOrderExecutionCancellationRequest(ContainerName(), *this);
            reply = Exchange(
                {QStringLiteral("CancellationRequest"), QStringLiteral("CancellationResponse"),
                 ui->cbServicePaymentGISGKX,
                 QStringLiteral("urn:async_getId_import_notifications_of_order_execution_cancellation")},
                body);
        }
        ui->edPackage2->setText(ReadAckResult(reply));
        return QStringLiteral("Отправлено.");
    });
    if (AskYesNo(AskFetchResultText(QStringLiteral("Идентификатор сообщения: "), ui->edPackage2->text())))
        buGetStateClick();
}

void TfmZelvan::buGetStateClick()
{
    RunOperation([this] {
        BeginOperation(vtGISGKXGetState, QStringLiteral("Получение статуса обработки сообщения..."));
        const QString body = SoapCreateGetStateRequest(ContainerName(), *this);
        const XmlDocument reply =
            Exchange({QStringLiteral("GetStateRequest"), QStringLiteral("GetStateResponse"),
                      ui->cbServicePaymentGISGKX, QStringLiteral("urn:async_getResult")},
                     body);
        ReadStateResult(reply);
        return QStringLiteral("Статус сообщения получен.");
    });
    ShowInfo(QStringLiteral("Извещение принято."));
}
