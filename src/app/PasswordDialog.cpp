#include "app/PasswordDialog.h"

#include "ui_PasswordDialog.h"

#include "app/Handler.h"
#include "foundation/CryptHelper.h"

#include <QApplication>

TfmPassword::TfmPassword(const QString& containerName, QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TfmPassword>())
{
    ui->setupUi(this);
    ui->laPassword->setText(QStringLiteral("Пароль ключевого контейнера «%1»:").arg(containerName));
}

TfmPassword::~TfmPassword() = default;

QString TfmPassword::password() const
{
    return ui->edPassword->text();
}

std::optional<QString> AskContainerPassword(const QString& containerName, QWidget* owner)
{
    TfmPassword dialog(containerName, owner);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.password();
}

void InstallPasswordDialog()
{
    SetPasswordProvider([](const QString& containerName) {
        // A key is opened on the operation's thread; the dialog belongs on the window's.
        std::optional<QString> password;
        RunOnThreadOf(qApp, [&] {
            QWidget* owner = QApplication::activeModalWidget();
            if (!owner)
                owner = QApplication::activeWindow();
            password = AskContainerPassword(containerName, owner);
        });
        return password;
    });
}
