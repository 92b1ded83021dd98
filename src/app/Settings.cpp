// The settings tab's file beside the executable, and the window's place, size and last data tab.

#include "app/fZelvan.h"

#include "ui_fZelvan.h"

#include "app/CertificateViewer.h"
#include "app/Dialogs.h"
#include "app/Handler.h"
#include "client/Settings.h"
#include "foundation/CryptHelper.h"
#include "foundation/KeyValueFile.h"

#include <QFileInfo>

namespace {

// The data tabs the window remembers, by the name in the window-state file. The payment tab is
// where an unknown name leads, so it needs no name of its own.
struct RememberedPage {
    const char* name;
    const char* page; // the tab's object name
};

const RememberedPage RememberedPages[] = {
    {"GISGMPCharges", "tsGISGMPCharges"},
    {"GISGKXPayment", "tsGISGKXPayment"},
    {"GISGKXCharges", "tsGISGKXCharges"},
};

} // namespace

void TfmZelvan::ConnectSettingsHandlers()
{
    ConnectHandler(ui->buSettingsSave, &QPushButton::clicked, this, [this] { buSettingsSaveClick(); });
    ConnectHandler(ui->buSertShow, &QPushButton::clicked, this, [this] { buSertShowClick(); });
    ConnectHandler(ui->cbContainer, &QComboBox::currentTextChanged, this,
                   [this] { ForgetKey(ui->cbContainer->currentText()); });
}

void TfmZelvan::ListKeyContainers()
{
    QStringList names;
    try {
        EnumKeyContainers(names);
    } catch (Exception& e) {
        // Reported once; the window opens with whatever containers were found before the failure.
        e.setMessage(QStringLiteral("Ошибка получения списка контейнеров закрытых ключей.\r") + e.message());
        ShowException(std::current_exception());
    }
    ui->cbContainer->addItems(names);
}

void TfmZelvan::LoadSettings()
{
    const ClientSettings settings = ReadSettingsFile(iniFileName_);
    ui->cbServiceChargesGISGMP->setEditText(settings.serviceChargesGisGmp);
    ui->cbServicePaymentGISGMP->setEditText(settings.servicePaymentGisGmp);
    ui->cbServiceChargesGISGKX->setEditText(settings.serviceChargesGisGkx);
    ui->cbServicePaymentGISGKX->setEditText(settings.servicePaymentGisGkx);
    ui->edName->setText(settings.systemName);
    ui->edSMEVCode->setText(settings.smevCode);
    ui->edGISGMPCode->setText(settings.gisGmpCode);
    ui->edGISGKXCode->setText(settings.gisGkxCode);
    ui->cbTimeStamp->setEditText(settings.timeStampServer);
    ui->ckTimeStamp->setChecked(settings.timeStampEnable);
    ui->ckTest->setChecked(settings.testMode);

    // A container that is no longer there gives way to the first one available.
    QComboBox* containers = ui->cbContainer;
    containers->setCurrentIndex(containers->findText(settings.container));
    if (containers->count() > 0 && containers->currentIndex() < 0)
        containers->setCurrentIndex(0);

    SetStatus(QString());
}

void TfmZelvan::SaveSettings()
{
    WriteSettingsFile(iniFileName_, CurrentSettings());
    SetStatus(QStringLiteral("Настройки сохранены."));
}

void TfmZelvan::LoadWindowState()
{
    if (!QFileInfo::exists(propFileName_)) {
        setWindowState(windowState() | Qt::WindowMaximized);
        ui->pcMain->setCurrentWidget(ui->tsSettings);
        return;
    }
    const QStringList lines = ReadKeyValueFile(propFileName_);

    // From here on a value that cannot be used ends the restore without a word: the window then
    // opens where and as it would have without the file.
    if (KeyValue(lines, QStringLiteral("WindowState")) == u"Maximized") {
        setWindowState(windowState() | Qt::WindowMaximized);
    } else {
        int bounds[4] = {};
        const char* const keys[4] = {"Left", "Top", "Width", "Height"};
        for (int i = 0; i < 4; ++i) {
            bool ok = false;
            bounds[i] = KeyValue(lines, QLatin1String(keys[i])).toInt(&ok, 10);
            if (!ok)
                return;
        }
        move(bounds[0], bounds[1]);
        resize(bounds[2], bounds[3]);
    }

    const QString activePage = KeyValue(lines, QStringLiteral("ActivePage"));
    QWidget* page = ui->tsGISGMPPayment;
    for (const RememberedPage& remembered : RememberedPages)
        if (activePage == QLatin1String(remembered.name))
            page = findChild<QWidget*>(QLatin1String(remembered.page));
    ui->pcMain->setCurrentWidget(page);
}

void TfmZelvan::SaveWindowState()
{
    QStringList lines;
    if (isMaximized()) {
        lines << QStringLiteral("WindowState=Maximized");
    } else {
        lines << QStringLiteral("Left=%1").arg(x()) << QStringLiteral("Top=%1").arg(y())
              << QStringLiteral("Width=%1").arg(width()) << QStringLiteral("Height=%1").arg(height());
    }
    for (const RememberedPage& remembered : RememberedPages)
        if (ui->pcMain->currentWidget()->objectName() == QLatin1String(remembered.page))
            lines << QStringLiteral("ActivePage=") + QLatin1String(remembered.name);
    WriteKeyValueFile(propFileName_, lines);
}

void TfmZelvan::buSettingsSaveClick()
{
    SaveSettings();
}

void TfmZelvan::buSertShowClick()
{
    ShowContainerCertificate(ui->cbContainer->currentText(), this);
}
