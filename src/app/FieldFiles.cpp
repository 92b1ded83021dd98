// The field files of the four data tabs as the window loads, shows and saves them.

#include "app/fZelvan.h"

#include "ui_fZelvan.h"

#include "app/DataTabs.h"
#include "ui_ChargesTab.h"
#include "ui_DocumentDetailsTab.h"
#include "ui_OrderTab.h"
#include "ui_PaymentTab.h"

#include "app/Dialogs.h"
#include "app/Handler.h"
#include "foundation/KeyValueFile.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <utility>

namespace {

const QString FieldFileFilter = QStringLiteral("Текстовые файлы|*.txt");

// Read first, so that a file that cannot be read leaves every control as it was.
QStringList ReadFieldFile(FieldFileKind kind, const QString& fileName, QString& damage)
{
    damage.clear();
    return fileName.isEmpty() ? QStringList() : ReadKeyValueFile(fileName, FieldFileKeys(kind), damage);
}

// The default file of a tab in the current directory, or no file when it is not there.
QString ExistingFile(const QString& fileName)
{
    return QFileInfo::exists(fileName) ? fileName : QString();
}

void SetMemoText(QPlainTextEdit* memo, const QString& text)
{
    memo->setPlainText(MemoText(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

} // namespace

void TfmZelvan::ConnectFieldFileButtons()
{
    using enum FieldFileKind;
    const std::tuple<FieldFileKind, QPushButton*, QPushButton*, QPushButton*> tabs[] = {
        {Payment, ui->tsGISGMPPayment->ui->buPaymentSave, ui->tsGISGMPPayment->ui->buPaymentOpen,
         ui->tsGISGMPPayment->ui->buPaymentClear},
        {Charge, ui->tsGISGMPCharges->ui->buChargeSave, ui->tsGISGMPCharges->ui->buChargeOpen,
         ui->tsGISGMPCharges->ui->buChargeClear},
        {Order, ui->tsGISGKXPayment->ui->buOrderSave, ui->tsGISGKXPayment->ui->buOrderOpen,
         ui->tsGISGKXPayment->ui->buOrderClear},
        {DocumentDetails, ui->tsGISGKXCharges->ui->buDocumentDetailsSave,
         ui->tsGISGKXCharges->ui->buDocumentDetailsOpen, ui->tsGISGKXCharges->ui->buDocumentDetailsClear},
    };
    for (const auto& [kind, save, open, clear] : tabs) {
        ConnectHandler(save, &QPushButton::clicked, this, [this, kind] {
            // The proposed name of a payment or an order carries its identifier.
            QString name = StartupFieldFile(kind);
            if (kind == Payment)
                name = FieldFileName(kind, TValuesType::vtGISGMPPayment,
                                     QStringLiteral("PaymentSystemIdentifier"));
            else if (kind == Order)
                name = FieldFileName(kind, TValuesType::vtGISGKXPayment, QStringLiteral("OrderID"));
            SaveFieldFile(kind, AskSaveFileName(name, FieldFileFilter));
        });
        ConnectHandler(open, &QPushButton::clicked, this, [this, kind] {
            LoadFieldFile(kind, AskOpenFileName(StartupFieldFile(kind), FieldFileFilter));
        });
        ConnectHandler(clear, &QPushButton::clicked, this, [this, kind] { LoadFieldFile(kind, QString()); });
    }
}

QString TfmZelvan::FieldFileName(FieldFileKind kind, TValuesType type, const QString& identifierKey)
{
    OperationRunner runner = Runner();
    runner.setValuesType(type);
    const QString stem = QFileInfo(StartupFieldFile(kind)).completeBaseName();
    return stem + runner.GetFieldValue(identifierKey) + QStringLiteral(".txt");
}

void TfmZelvan::ShowForm(const Form& form)
{
    for (auto it = form.fields().cbegin(); it != form.fields().cend(); ++it) {
        QWidget* control = Control(it.key());
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            edit->setText(it->text);
        } else if (auto* memo = qobject_cast<QPlainTextEdit*>(control)) {
            SetMemoText(memo, it->text);
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            if (combo->isEditable())
                combo->setEditText(it->text);
            else
                combo->setCurrentIndex(it->index);
        }
    }
}

void TfmZelvan::LoadFieldFile(FieldFileKind kind, const QString& fileName)
{
    QString damage;
    const QStringList lines = ReadFieldFile(kind, fileName, damage);
    Form form;
    LoadFieldLines(kind, lines, form, session_.now().date());
    ShowForm(form);
    switch (kind) {
    case FieldFileKind::Payment:
        break;
    case FieldFileKind::Charge:
        ui->tsGISGMPCharges->cbChargeSearchTypeChange();
        break;
    case FieldFileKind::Order:
        ui->tsGISGKXPayment->cbChangeStatus2Change();
        break;
    case FieldFileKind::DocumentDetails:
        ui->tsGISGKXCharges->cbChargeSearchType2Change();
        break;
    }
    if (const QString memo = TailMemoName(kind); !memo.isEmpty())
        SetMemoText(qobject_cast<QPlainTextEdit*>(Control(memo)), FieldFileTail(lines));
    SetStatus(QString());
    if (!damage.isEmpty())
        ShowWarning(damage);
}

void TfmZelvan::SaveFieldFile(FieldFileKind kind, const QString& fileName)
{
    QStringList lines = FieldFileLines(kind, *this);
    if (const QString memo = TailMemoName(kind); !memo.isEmpty())
        AppendFieldFileTail(lines, ControlText(memo));
    if (fileName.isEmpty())
        return;
    WriteKeyValueFile(fileName, lines);
    SetStatus(QStringLiteral("Данные записаны в файл ") +
              QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath()));
}

void TfmZelvan::LoadFieldFiles()
{
    for (FieldFileKind kind : {FieldFileKind::Charge, FieldFileKind::Payment, FieldFileKind::Order,
                               FieldFileKind::DocumentDetails})
        LoadFieldFile(kind, ExistingFile(StartupFieldFile(kind)));
}
