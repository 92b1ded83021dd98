// The settings tab's file in the data folder, and the window's place, size and last data tab.

#include "app/fZelvan.h"

#include "ui_fZelvan.h"

#include "app/CertificateViewer.h"
#include "app/Dialogs.h"
#include "app/Handler.h"
#include "client/Settings.h"
#include "foundation/CryptHelper.h"
#include "foundation/KeyValueFile.h"

#include <QDir>
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
    ConnectHandler(ui->buTrustedCertificates, &QPushButton::clicked, this,
                   [this] { buTrustedCertificatesClick(); });
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
    ui->laNoContainer->setText(NoContainerText());
    ui->laNoContainer->setVisible(ui->cbContainer->count() == 0);
}

QString TfmZelvan::NoContainerText() const
{
    // The key tool finds the same data folder by itself unless the window was pointed elsewhere.
    const QString data = dataOption_.isEmpty()
                             ? QString()
                             : QStringLiteral(" --data \"%1\"").arg(QDir::toNativeSeparators(dataFolder_));
    return QStringLiteral("Контейнер закрытого ключа не найден.\n"
                          "Хранилище ключей: %1\n"
                          "Создайте контейнер командой:\n"
                          "zelvan-keytool new \"Банк\" --subject \"/CN=Подписант/O=Банк\"%2\n"
                          "или импортируйте ключ и сертификат:\n"
                          "zelvan-keytool import \"Банк\" --key ключ.pem --cert сертификат.cer%2")
        .arg(QDir::toNativeSeparators(KeyStorePath()), data);
}

bool TfmZelvan::KeyContainerReady()
{
    QComboBox* containers = ui->cbContainer;
    if (containers->count() == 0) {
        // The operator may have made one with the key tool after reading the guidance.
        ListKeyContainers();
        if (containers->count() > 0)
            containers->setCurrentIndex(0);
    }
    if (containers->count() > 0)
        return true;
    ShowWarning(NoContainerText());
    return false;
}

void TfmZelvan::LoadSettings()
{
    QString damage;
    const ClientSettings settings = ReadSettingsFile(iniFileName_, &damage);
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
    ui->ckVerifyReplySignature->setChecked(settings.verifyReplySignature);
    ui->ckVerifyServerCertificate->setChecked(settings.verifyServerCertificate);
    ui->edTrustedCertificates->setText(settings.trustedCertificates);
    ui->ckAcceptIssuedReplySigners->setChecked(settings.acceptIssuedReplySigners);

    // A container that is no longer there gives way to the first one available.
    QComboBox* containers = ui->cbContainer;
    containers->setCurrentIndex(containers->findText(settings.container));
    if (containers->count() > 0 && containers->currentIndex() < 0)
        containers->setCurrentIndex(0);

    SetStatus(QString());
    // Told once it shows what was read, so the operator can compare and put it right.
    if (!damage.isEmpty())
        ShowWarning(damage);
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

void TfmZelvan::buTrustedCertificatesClick()
{
    ui->edTrustedCertificates->setText(
        AskOpenFileName(ui->edTrustedCertificates->text(),
                        QStringLiteral("Сертификаты|*.pem;*.crt;*.cer;*.der|Все файлы|*")));
}

void TfmZelvan::buSertShowClick()
{
    if (!KeyContainerReady())
        return;
    ShowContainerCertificate(ui->cbContainer->currentText(), this);
}
