// The settings tab's file beside the executable, and the window's place, size and last data tab.

#include "app/fZelvan.h"

#include "ui_fZelvan.h"

#include "app/CertificateViewer.h"
#include "app/Dialogs.h"
#include "foundation/CryptHelper.h"
#include "foundation/KeyValueFile.h"

#include <QFileInfo>

namespace {

// The data tabs the window remembers, by the name in the window-state file. The payment tab is
// where an unknown name leads, so it needs no name of its own.
struct TRememberedPage {
    const char* name;
    QWidget* Ui::TfmZelvan::*page;
};

const TRememberedPage kRememberedPages[] = {
    {"GISGMPCharges", &Ui::TfmZelvan::tsGISGMPCharges},
    {"GISGKXPayment", &Ui::TfmZelvan::tsGISGKXPayment},
    {"GISGKXCharges", &Ui::TfmZelvan::tsGISGKXCharges},
};

QString Flag(bool checked)
{
    return checked ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

void TfmZelvan::ConnectSettingsHandlers()
{
    connect(ui->buSettingsSave, &QPushButton::clicked, this, &TfmZelvan::buSettingsSaveClick);
    connect(ui->buSertShow, &QPushButton::clicked, this, &TfmZelvan::buSertShowClick);
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

QStringList TfmZelvan::DefaultSettingsLines() const
{
    // The service addresses and the time-stamp server default to the first item of their lists.
    return {
        QStringLiteral("ServiceChargesGISGMP=") + ui->cbServiceChargesGISGMP->itemText(0),
        QStringLiteral("ServicePaymentGISGMP=") + ui->cbServicePaymentGISGMP->itemText(0),
        QStringLiteral("ServiceChargesGISGKX=") + ui->cbServiceChargesGISGKX->itemText(0),
        QStringLiteral("ServicePaymentGISGKX=") + ui->cbServicePaymentGISGKX->itemText(0),
        QStringLiteral("SystemName=MYBANK"),
        QStringLiteral("SMEVCode=AAAA11111"),
        QStringLiteral("GISGMPCode=111aa1"),
        QStringLiteral("GISGKXCode=111a1111-1a1a-1aaa-aa11-1aa11aaa1111"),
        QStringLiteral("TimeStampServer=") + ui->cbTimeStamp->itemText(0),
        QStringLiteral("SoapTestMode=0"),
        QStringLiteral("TimeStampEnable=0"),
        QStringLiteral("CryptContainer="),
    };
}

void TfmZelvan::LoadSettings()
{
    // Defaults only for a first start: a file that exists but lacks a key leaves that control empty.
    const QStringList lines =
        QFileInfo::exists(FIniFileName) ? ReadKeyValueFile(FIniFileName) : DefaultSettingsLines();
    const auto value = [&lines](const char* key) { return KeyValue(lines, QLatin1String(key)); };

    ui->cbServiceChargesGISGMP->setEditText(value("ServiceChargesGISGMP"));
    ui->cbServicePaymentGISGMP->setEditText(value("ServicePaymentGISGMP"));
    ui->cbServiceChargesGISGKX->setEditText(value("ServiceChargesGISGKX"));
    ui->cbServicePaymentGISGKX->setEditText(value("ServicePaymentGISGKX"));
    ui->edName->setText(value("SystemName"));
    ui->edSMEVCode->setText(value("SMEVCode"));
    ui->edGISGMPCode->setText(value("GISGMPCode"));
    ui->edGISGKXCode->setText(value("GISGKXCode"));
    ui->cbTimeStamp->setEditText(value("TimeStampServer"));
    ui->ckTimeStamp->setChecked(value("TimeStampEnable") == u"1");
    ui->ckTest->setChecked(value("SoapTestMode") == u"1");

    // A container that is no longer there gives way to the first one available.
    QComboBox* containers = ui->cbContainer;
    containers->setCurrentIndex(containers->findText(value("CryptContainer")));
    if (containers->count() > 0 && containers->currentIndex() < 0)
        containers->setCurrentIndex(0);

    SetStatus(QString());
}

void TfmZelvan::SaveSettings()
{
    WriteKeyValueFile(FIniFileName,
                      {
                          QStringLiteral("ServiceChargesGISGMP=") + ui->cbServiceChargesGISGMP->currentText(),
                          QStringLiteral("ServicePaymentGISGMP=") + ui->cbServicePaymentGISGMP->currentText(),
                          QStringLiteral("ServiceChargesGISGKX=") + ui->cbServiceChargesGISGKX->currentText(),
                          QStringLiteral("ServicePaymentGISGKX=") + ui->cbServicePaymentGISGKX->currentText(),
                          QStringLiteral("SystemName=") + ui->edName->text(),
                          QStringLiteral("SMEVCode=") + ui->edSMEVCode->text(),
                          QStringLiteral("GISGMPCode=") + ui->edGISGMPCode->text(),
                          QStringLiteral("GISGKXCode=") + ui->edGISGKXCode->text(),
                          QStringLiteral("TimeStampServer=") + ui->cbTimeStamp->currentText(),
                          QStringLiteral("SoapTestMode=") + Flag(ui->ckTest->isChecked()),
                          QStringLiteral("TimeStampEnable=") + Flag(ui->ckTimeStamp->isChecked()),
                          QStringLiteral("CryptContainer=") + ui->cbContainer->currentText(),
                      });
    SetStatus(QStringLiteral("Настройки сохранены."));
}

void TfmZelvan::LoadWindowState()
{
    if (!QFileInfo::exists(FPropFileName)) {
        setWindowState(windowState() | Qt::WindowMaximized);
        ui->pcMain->setCurrentWidget(ui->tsSettings);
        return;
    }
    const QStringList lines = ReadKeyValueFile(FPropFileName);

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
    for (const TRememberedPage& remembered : kRememberedPages)
        if (activePage == QLatin1String(remembered.name))
            page = (*ui).*remembered.page;
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
    for (const TRememberedPage& remembered : kRememberedPages)
        if (ui->pcMain->currentWidget() == (*ui).*remembered.page)
            lines << QStringLiteral("ActivePage=") + QLatin1String(remembered.name);
    WriteKeyValueFile(FPropFileName, lines);
}

void TfmZelvan::buSettingsSaveClick()
{
    SaveSettings();
}

void TfmZelvan::buSertShowClick()
{
    ShowContainerCertificate(ui->cbContainer->currentText(), this);
}
