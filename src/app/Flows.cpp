// The six operations behind the send and query buttons, as the window shows them. Each runs off the
// window's thread (OperationThread.cpp) from the press of its button to its last message; what it
// reports arrives here on the window's thread.
#include "app/Dialogs.h"
#include "app/Handler.h"
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
    return settings;
}

OperationInputs TfmZelvan::Inputs() const
{
    return {CurrentSettings(), debug_ ? appPath_ : QString(), Now, http_.get()};
}

OperationRunner TfmZelvan::Runner()
{
    return OperationRunner(Inputs(), *this, *this);
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
    // Inserted at the end, never re-set: a long reply must not lay out the whole memo again for
    // every record. The view stays where it is, on the first records unless the operator scrolled.
    QTextCursor end(memo->document());
    end.movePosition(QTextCursor::End);
    const QString block = RecordBlockText(number, lines);
    end.insertText(memo->document()->isEmpty() ? block : u'\n' + block);
}

void TfmZelvan::identifier(const QString& control, const QString& /*caption*/, const QString& value)
{
    if (auto* edit = findChild<QLineEdit*>(control))
        edit->setText(value);
}

void TfmZelvan::finished(const QString& result)
{
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
