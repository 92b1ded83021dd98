// The six operations behind the send and query buttons, as the window shows them. Each runs off the
// window's thread (OperationThread.cpp) from the press of its button to its last message; what it
// reports arrives here on the window's thread.
#include "app/Dialogs.h"
#include "app/Handler.h"
#include "app/PasswordDialog.h"
#include "app/fZelvan.h"

#include "foundation/Clock.h"
#include "ui_fZelvan.h"

#include "app/DataTabs.h"
#include "ui_ChargesTab.h"
#include "ui_DocumentDetailsTab.h"
#include "ui_OrderTab.h"
#include "ui_PaymentTab.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <utility>

void TfmZelvan::ConnectFlows()
{
    const std::pair<QPushButton*, void (TfmZelvan::*)()> buttons[] = {
        {ui->tsGISGMPPayment->ui->buPaymentSend, &TfmZelvan::buPaymentSendClick},
        {ui->tsGISGMPPayment->ui->buPackageStatus, &TfmZelvan::buPackageStatusClick},
        {ui->tsGISGMPCharges->ui->buGetCharge, &TfmZelvan::buGetChargeClick},
        {ui->tsGISGKXCharges->ui->buGetDocumentDetails, &TfmZelvan::buGetDocumentDetailsClick},
        {ui->tsGISGKXPayment->ui->buOrderSend, &TfmZelvan::buOrderSendClick},
        {ui->tsGISGKXPayment->ui->buGetState, &TfmZelvan::buGetStateClick},
    };
    for (const auto& [button, handler] : buttons)
        ConnectHandler(button, &QPushButton::clicked, this, [this, handler] {
            if (KeyContainerReady())
                (this->*handler)();
        });
}

ClientSettings TfmZelvan::CurrentSettings() const
{
    ClientSettings settings;
    settings.serviceChargesGisGmp = ui->cbServiceChargesGISGMP->currentText();
    settings.servicePaymentGisGmp = ui->cbServicePaymentGISGMP->currentText();
    settings.serviceChargesGisGkx = ui->cbServiceChargesGISGKX->currentText();
    settings.servicePaymentGisGkx = ui->cbServicePaymentGISGKX->currentText();
    settings.systemName = ui->edName->text();
    settings.smevCode = ui->edSMEVCode->text();
    settings.gisGmpCode = ui->edGISGMPCode->text();
    settings.gisGkxCode = ui->edGISGKXCode->text();
    settings.timeStampServer = ui->cbTimeStamp->currentText();
    settings.testMode = ui->ckTest->isChecked();
    settings.timeStampEnable = ui->ckTimeStamp->isChecked();
    settings.container = ui->cbContainer->currentText();
    settings.verifyReplySignature = ui->ckVerifyReplySignature->isChecked();
    settings.verifyServerCertificate = ui->ckVerifyServerCertificate->isChecked();
    settings.trustedCertificates = ui->edTrustedCertificates->text();
    settings.acceptIssuedReplySigners = ui->ckAcceptIssuedReplySigners->isChecked();
    return settings;
}

OperationInputs TfmZelvan::Inputs() const
{
    OperationInputs inputs;
    inputs.settings = CurrentSettings();
    inputs.debugFolder = debug_ ? appPath_ : QString();
    inputs.clock = Now;
    inputs.http = http_.get();
    return inputs;
}

OperationRunner TfmZelvan::Runner()
{
    return OperationRunner(Inputs(), *this, *this);
}

std::shared_ptr<ContainerKey> TfmZelvan::SigningKey(const QString& container)
{
    if (rememberedKey_ && rememberedKey_->containerName() == container)
        return rememberedKey_;
    // Told on whatever thread the key is unlocked; read when the operation finishes.
    auto remember = std::make_shared<std::atomic<bool>>(false);
    auto key = std::make_shared<ContainerKey>(container, [this, remember](const QString& name) {
        bool keep = false;
        std::optional<QString> password;
        // The key is unlocked on the operation's thread; the dialog belongs on the window's.
        RunOnThreadOf(this, [&] { password = AskContainerPassword(name, this, &keep); });
        *remember = password && keep;
        return password;
    });
    // Only a weak hold: an operation's key goes with the operation unless it is remembered.
    keyOffer_ = {key, remember};
    return key;
}

void TfmZelvan::ForgetKey(const QString& container)
{
    if (rememberedKey_ && rememberedKey_->containerName() != container)
        rememberedKey_.reset();
}

void TfmZelvan::started(const QString& text)
{
    // A busy pointer, not a wait cursor: the window still answers, and "Отменить" can be pressed.
    if (!busy_)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    busy_ = true;
    SetStatus(text, true);
    // The seconds are added to the start text while the exchange runs.
    startText_ = text;
    elapsed_->start();
    elapsedTimer_->start();
}

void TfmZelvan::record(TRecordTable table, qsizetype number, const QStringList& lines)
{
    QPlainTextEdit* memo = nullptr;
    if (table == TRecordTable::rtCharges)
        memo = ui->tsGISGMPCharges->ui->mmCharges;
    else if (table == TRecordTable::rtPaymentDocuments)
        memo = ui->tsGISGKXCharges->ui->mmDocumentDetails;
    if (!memo)
        return;
    if (memo != pendingMemo_)
        FlushRecords();
    pendingMemo_ = memo;
    // Blocks are separated by a line feed, the first one in an empty memo stands alone.
    if (!pendingRecords_.isEmpty() || !memo->document()->isEmpty())
        pendingRecords_ += u'\n';
    AppendRecordBlockText(pendingRecords_, number, lines);
    // Outside an operation nobody would flush later. The first records go in one by one: the
    // memo's scroll bar appears while it is short, and the narrower view makes it lay out every
    // block it holds anew. After them, a long reply goes in in large pieces.
    constexpr int FirstBlocks = 1000;
    constexpr qsizetype FlushLength = 256 * 1024;
    if (!busy_ || memo->document()->blockCount() < FirstBlocks || pendingRecords_.size() >= FlushLength)
        FlushRecords();
}

void TfmZelvan::FlushRecords()
{
    QPlainTextEdit* memo = std::exchange(pendingMemo_, nullptr);
    const QString text = std::exchange(pendingRecords_, QString());
    if (!memo || text.isEmpty())
        return;
    // Inserted at the end, never re-set: the view stays where it is, on the first records unless
    // the operator scrolled. The records are no edit of the operator's to undo.
    QTextDocument* document = memo->document();
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    QTextCursor end(document);
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    document->setUndoRedoEnabled(undo);
    // The memo shows or hides its scroll bar on a queued call; taken now, while it is short.
    QCoreApplication::sendPostedEvents(memo, QEvent::MetaCall);
}

void TfmZelvan::identifier(const QString& control, const QString& /*caption*/, const QString& value)
{
    if (auto* edit = findChild<QLineEdit*>(control))
        edit->setText(value);
}

void TfmZelvan::finished(const QString& result)
{
    FlushRecords();
    // The operator asked to keep the key once it is unlocked; the operation still holds it here.
    if (const std::shared_ptr<ContainerKey> key = keyOffer_.key.lock();
        key && keyOffer_.remember && *keyOffer_.remember && key->unlocked())
        rememberedKey_ = key;
    // The busy pointer is taken back before anything is shown to the operator.
    elapsedTimer_->stop();
    if (busy_)
        QApplication::restoreOverrideCursor();
    busy_ = false;
    SetStatus(result);
}

void TfmZelvan::warning(const QString& text)
{
    ShowWarning(text);
}

void TfmZelvan::information(const QString& text)
{
    ShowInfo(text);
}

bool TfmZelvan::askFollowUp(const QString& question)
{
    return AskYesNo(question);
}

void TfmZelvan::buPaymentSendClick()
{
    StartOperation([](OperationRunner& runner) { runner.run(Operation::Payment); });
}

void TfmZelvan::buPackageStatusClick()
{
    StartOperation([](OperationRunner& runner) { runner.run(Operation::PackageStatus); });
}

void TfmZelvan::buGetChargeClick()
{
    ui->tsGISGMPCharges->ui->mmCharges->clear();
    StartOperation([](OperationRunner& runner) { runner.run(Operation::Charges); });
}

void TfmZelvan::buGetDocumentDetailsClick()
{
    ui->tsGISGKXCharges->ui->mmDocumentDetails->clear();
    StartOperation([](OperationRunner& runner) { runner.run(Operation::DocumentDetails); });
}

void TfmZelvan::buOrderSendClick()
{
    const int changeStatus = ui->tsGISGKXPayment->ui->cbChangeStatus2->currentIndex();
    StartOperation([changeStatus](OperationRunner& runner) { runner.runOrder(changeStatus); });
}

void TfmZelvan::buGetStateClick()
{
    StartOperation([](OperationRunner& runner) { runner.run(Operation::GetState); });
}
