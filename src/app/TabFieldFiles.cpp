#include "app/TabFieldFiles.h"

#include "ui_fZelvan.h"

#include "app/DataTabs.h"
#include "ui_ChargesTab.h"
#include "ui_DocumentDetailsTab.h"
#include "ui_OrderTab.h"
#include "ui_PaymentTab.h"

#include "app/Dialogs.h"
#include "app/Handler.h"
#include "app/OperationView.h"
#include "app/WindowControls.h"
#include "client/Session.h"
#include "foundation/KeyValueFile.h"

#include <QDir>
#include <QFileInfo>

#include <tuple>

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

} // namespace

TabFieldFiles::TabFieldFiles(Ui::TfmZelvan& ui, QWidget& window, const WindowControls& controls,
                             Session& session, OperationView& view, IDialogs& dialogs)
    : ui_(ui), controls_(controls), session_(session), view_(view), dialogs_(dialogs)
{
    using enum FieldFileKind;
    const std::tuple<FieldFileKind, QPushButton*, QPushButton*, QPushButton*> tabs[] = {
        {Payment, ui.tsGISGMPPayment->ui->buPaymentSave, ui.tsGISGMPPayment->ui->buPaymentOpen,
         ui.tsGISGMPPayment->ui->buPaymentClear},
        {Charge, ui.tsGISGMPCharges->ui->buChargeSave, ui.tsGISGMPCharges->ui->buChargeOpen,
         ui.tsGISGMPCharges->ui->buChargeClear},
        {Order, ui.tsGISGKXPayment->ui->buOrderSave, ui.tsGISGKXPayment->ui->buOrderOpen,
         ui.tsGISGKXPayment->ui->buOrderClear},
        {DocumentDetails, ui.tsGISGKXCharges->ui->buDocumentDetailsSave,
         ui.tsGISGKXCharges->ui->buDocumentDetailsOpen, ui.tsGISGKXCharges->ui->buDocumentDetailsClear},
    };
    for (const auto& [kind, saveButton, openButton, clearButton] : tabs) {
        ConnectHandler(saveButton, &QPushButton::clicked, &window, [this, kind] {
            save(kind, AskSaveFileName(dialogs_, proposedName(kind), FieldFileFilter));
        });
        ConnectHandler(openButton, &QPushButton::clicked, &window, [this, kind] {
            load(kind, AskOpenFileName(dialogs_, StartupFieldFile(kind), FieldFileFilter));
        });
        ConnectHandler(clearButton, &QPushButton::clicked, &window, [this, kind] { load(kind, QString()); });
    }
}

QString TabFieldFiles::proposedName(FieldFileKind kind)
{
    QString identifierKey;
    TValuesType type = TValuesType::vtGISGMPPayment;
    if (kind == FieldFileKind::Payment) {
        identifierKey = QStringLiteral("PaymentSystemIdentifier");
    } else if (kind == FieldFileKind::Order) {
        identifierKey = QStringLiteral("OrderID");
        type = TValuesType::vtGISGKXPayment;
    } else {
        return StartupFieldFile(kind);
    }
    SilentOperationSink reports;
    OperationRunner runner(session_.inputs(ClientSettings()), controls_, reports);
    runner.setValuesType(type);
    const QString stem = QFileInfo(StartupFieldFile(kind)).completeBaseName();
    return stem + runner.GetFieldValue(identifierKey) + QStringLiteral(".txt");
}

void TabFieldFiles::load(FieldFileKind kind, const QString& fileName)
{
    QString damage;
    const QStringList lines = ReadFieldFile(kind, fileName, damage);
    Form form;
    LoadFieldLines(kind, lines, form, session_.now().date());
    controls_.show(form);
    switch (kind) {
    case FieldFileKind::Payment:
        break;
    case FieldFileKind::Charge:
        ui_.tsGISGMPCharges->cbChargeSearchTypeChange();
        break;
    case FieldFileKind::Order:
        ui_.tsGISGKXPayment->cbChangeStatus2Change();
        break;
    case FieldFileKind::DocumentDetails:
        ui_.tsGISGKXCharges->cbChargeSearchType2Change();
        break;
    }
    if (const QString memo = TailMemoName(kind); !memo.isEmpty())
        SetMemoText(controls_.control(memo), FieldFileTail(lines));
    view_.setStatus(QString());
    if (!damage.isEmpty())
        ShowWarning(dialogs_, damage);
}

void TabFieldFiles::save(FieldFileKind kind, const QString& fileName)
{
    QStringList lines = FieldFileLines(kind, controls_);
    if (const QString memo = TailMemoName(kind); !memo.isEmpty())
        AppendFieldFileTail(lines, controls_.ControlText(memo));
    if (fileName.isEmpty())
        return;
    WriteKeyValueFile(fileName, lines);
    view_.setStatus(QStringLiteral("Данные записаны в файл ") +
                    QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath()));
}

void TabFieldFiles::loadStartupFiles()
{
    for (FieldFileKind kind : {FieldFileKind::Charge, FieldFileKind::Payment, FieldFileKind::Order,
                               FieldFileKind::DocumentDetails})
        load(kind, ExistingFile(StartupFieldFile(kind)));
}
