#include "app/PasswordDialog.h"

#include "ui_PasswordDialog.h"

#include "app/Handler.h"
#include "foundation/CryptHelper.h"

#include <QApplication>

TfmPassword::TfmPassword(const QString& containerName, QWidget* owner, bool offerRemember)
    : QDialog(owner), ui(std::make_unique<Ui::TfmPassword>())
{
    ui->setupUi(this);
    ui->laPassword->setText(QStringLiteral("Пароль ключевого контейнера «%1»:").arg(containerName));
    ui->ckRemember->setVisible(offerRemember);
}

TfmPassword::~TfmPassword() = default;

QString TfmPassword::password() const
{
    return ui->edPassword->text();
}

bool TfmPassword::remember() const
{
    return !ui->ckRemember->isHidden() && ui->ckRemember->isChecked();
}

std::optional<QString> AskContainerPassword(const QString& containerName, QWidget* owner, bool* remember)
{
    TfmPassword dialog(containerName, owner, remember != nullptr);
    if (remember)
        *remember = false;
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    if (remember)
        *remember = dialog.remember();
    // The caller's copy is then the only one, which it can wipe once the key is decrypted.
    QString password = dialog.password();
    password.detach();
    return password;
}

TPasswordProvider ContainerPasswordDialog()
{
    return [](const QString& containerName) {
        // A key is opened on the operation's thread; the dialog belongs on the window's.
        std::optional<QString> password;
        RunOnThreadOf(qApp, [&] {
            QWidget* owner = QApplication::activeModalWidget();
            if (!owner)
                owner = QApplication::activeWindow();
            password = AskContainerPassword(containerName, owner);
        });
        return password;
    };
}
