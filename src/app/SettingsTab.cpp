#include "app/SettingsTab.h"

#include "ui_fZelvan.h"

#include "app/CertificateViewer.h"
#include "app/Dialogs.h"
#include "app/Handler.h"
#include "app/OperationView.h"
#include "client/Session.h"
#include "foundation/CryptHelper.h"
#include "journal/Journal.h"

#include <QApplication>
#include <QScopeGuard>

#include <QDir>

SettingsTab::SettingsTab(Ui::TfmZelvan& ui, QWidget& window, Session& session, OperationView& view,
                         IDialogs& dialogs, std::function<void(const QString&)> containerChosen)
    : ui_(ui), window_(window), session_(session), view_(view), dialogs_(dialogs)
{
    ConnectHandler(ui_.buSettingsSave, &QPushButton::clicked, &window_, [this] { save(); });
    ConnectHandler(ui_.buSertShow, &QPushButton::clicked, &window_, [this] { showCertificate(); });
    ConnectHandler(ui_.buTrustedCertificates, &QPushButton::clicked, &window_,
                   [this] { chooseTrustedCertificates(); });
    ConnectHandler(ui_.buJournalDatabaseCheck, &QPushButton::clicked, &window_, [this] { checkJournal(); });
    ConnectHandler(ui_.cbContainer, &QComboBox::currentTextChanged, &window_,
                   [this, chosen = std::move(containerChosen)] { chosen(ui_.cbContainer->currentText()); });
}

void SettingsTab::listContainers()
{
    QStringList names;
    try {
        EnumKeyContainers(session_.keyStore(), names);
    } catch (Exception& e) {
        // Reported once; the window opens with whatever containers were found before the failure.
        e.setMessage(QStringLiteral("Ошибка получения списка контейнеров закрытых ключей.\r") + e.message());
        ShowException(dialogs_, std::current_exception());
    }
    ui_.cbContainer->addItems(names);
    ui_.laNoContainer->setText(noContainerText());
    ui_.laNoContainer->setVisible(ui_.cbContainer->count() == 0);
}

QString SettingsTab::noContainerText() const
{
    // The key tool finds the same data folder by itself unless the window was pointed elsewhere.
    const QString data =
        session_.dataFolderGiven()
            ? QStringLiteral(" --data \"%1\"").arg(QDir::toNativeSeparators(session_.dataFolder()))
            : QString();
    return QStringLiteral("Контейнер закрытого ключа не найден.\n"
                          "Хранилище ключей: %1\n"
                          "Создайте контейнер командой:\n"
                          "zelvan-keytool new \"Банк\" --subject \"/CN=Подписант/O=Банк\"%2\n"
                          "или импортируйте ключ и сертификат:\n"
                          "zelvan-keytool import \"Банк\" --key ключ.pem --cert сертификат.cer%2")
        .arg(QDir::toNativeSeparators(session_.keyStore().path), data);
}

bool SettingsTab::keyContainerReady()
{
    QComboBox* containers = ui_.cbContainer;
    if (containers->count() == 0) {
        // The operator may have made one with the key tool after reading the guidance.
        listContainers();
        if (containers->count() > 0)
            containers->setCurrentIndex(0);
    }
    if (containers->count() > 0)
        return true;
    ShowWarning(dialogs_, noContainerText());
    return false;
}

void SettingsTab::load()
{
    QString damage;
    const ClientSettings& settings = session_.readSettings(&damage);
    ui_.cbServiceChargesGISGMP->setEditText(settings.serviceChargesGisGmp);
    ui_.cbServicePaymentGISGMP->setEditText(settings.servicePaymentGisGmp);
    ui_.cbServiceChargesGISGKX->setEditText(settings.serviceChargesGisGkx);
    ui_.cbServicePaymentGISGKX->setEditText(settings.servicePaymentGisGkx);
    ui_.edName->setText(settings.systemName);
    ui_.edSMEVCode->setText(settings.smevCode);
    ui_.edGISGMPCode->setText(settings.gisGmpCode);
    ui_.edGISGKXCode->setText(settings.gisGkxCode);
    ui_.cbTimeStamp->setEditText(settings.timeStampServer);
    ui_.ckTimeStamp->setChecked(settings.timeStampEnable);
    ui_.ckTest->setChecked(settings.testMode);
    ui_.ckVerifyReplySignature->setChecked(settings.verifyReplySignature);
    ui_.ckVerifyServerCertificate->setChecked(settings.verifyServerCertificate);
    ui_.edTrustedCertificates->setText(settings.trustedCertificates);
    ui_.ckAcceptIssuedReplySigners->setChecked(settings.acceptIssuedReplySigners);
    ui_.edJournalDatabase->setText(settings.journalDatabase);

    // A container that is no longer there gives way to the first one available.
    QComboBox* containers = ui_.cbContainer;
    containers->setCurrentIndex(containers->findText(settings.container));
    if (containers->count() > 0 && containers->currentIndex() < 0)
        containers->setCurrentIndex(0);

    view_.setStatus(QString());
    // Told once it shows what was read, so the operator can compare and put it right.
    if (!damage.isEmpty())
        ShowWarning(dialogs_, damage);
}

ClientSettings SettingsTab::current() const
{
    ClientSettings settings;
    settings.serviceChargesGisGmp = ui_.cbServiceChargesGISGMP->currentText();
    settings.servicePaymentGisGmp = ui_.cbServicePaymentGISGMP->currentText();
    settings.serviceChargesGisGkx = ui_.cbServiceChargesGISGKX->currentText();
    settings.servicePaymentGisGkx = ui_.cbServicePaymentGISGKX->currentText();
    settings.systemName = ui_.edName->text();
    settings.smevCode = ui_.edSMEVCode->text();
    settings.gisGmpCode = ui_.edGISGMPCode->text();
    settings.gisGkxCode = ui_.edGISGKXCode->text();
    settings.timeStampServer = ui_.cbTimeStamp->currentText();
    settings.testMode = ui_.ckTest->isChecked();
    settings.timeStampEnable = ui_.ckTimeStamp->isChecked();
    settings.container = ui_.cbContainer->currentText();
    settings.verifyReplySignature = ui_.ckVerifyReplySignature->isChecked();
    settings.verifyServerCertificate = ui_.ckVerifyServerCertificate->isChecked();
    settings.trustedCertificates = ui_.edTrustedCertificates->text();
    settings.acceptIssuedReplySigners = ui_.ckAcceptIssuedReplySigners->isChecked();
    settings.journalDatabase = ui_.edJournalDatabase->text().trimmed();
    return settings;
}

void SettingsTab::save()
{
    session_.writeSettings(current());
    view_.setStatus(QStringLiteral("Настройки сохранены."));
}

void SettingsTab::checkJournal()
{
    const QString database = ui_.edJournalDatabase->text().trimmed();
    QString text;
    {
        // Connecting may take the server's whole timeout; the window says it is busy meanwhile.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        const Journal journal(session_.dataFolder(),
                              Journal::Options{QCoreApplication::applicationVersion(), {}, database});
        JournalFilter unknown;
        unknown.outcome = ExchangeOutcome::unknown;
        text = (database.isEmpty() ? QStringLiteral("Журнал обменов в файле \"%1\" открыт.")
                                   : QStringLiteral("Общий журнал обменов \"%1\" открыт."))
                   .arg(QDir::toNativeSeparators(journal.fileName())) +
               QStringLiteral("\nОбменов в нем: %1, с неизвестным исходом: %2.")
                   .arg(journal.count({}))
                   .arg(journal.count(unknown));
    }
    // The session keeps the journal it opened at start until the program is started again.
    if (database != session_.settings().journalDatabase)
        text +=
            QStringLiteral("\nПрограмма будет записывать в него после сохранения настроек и перезапуска.");
    ShowInfo(dialogs_, text);
}

void SettingsTab::chooseTrustedCertificates()
{
    ui_.edTrustedCertificates->setText(
        AskOpenFileName(dialogs_, ui_.edTrustedCertificates->text(),
                        QStringLiteral("Сертификаты|*.pem;*.crt;*.cer;*.der|Все файлы|*")));
}

void SettingsTab::showCertificate()
{
    if (!keyContainerReady())
        return;
    ShowContainerCertificate(session_.keyStore(), ui_.cbContainer->currentText(), &window_);
}
