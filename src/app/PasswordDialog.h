#pragma once

#include <QDialog>
#include <QString>

#include <memory>
#include <optional>

namespace Ui {
class TfmPassword;
}

class QWidget;

// Asks the operator for the password of an encrypted container key.
class TfmPassword final : public QDialog {
    Q_OBJECT

  public:
    TfmPassword(const QString& containerName, QWidget* owner);
    ~TfmPassword() override;

    QString password() const;

  private:
    std::unique_ptr<Ui::TfmPassword> ui;
};

// Shows the dialog over the given window; no value when the operator cancelled.
std::optional<QString> AskContainerPassword(const QString& containerName, QWidget* owner);

// Makes the dialog the provider's password source, shown over the active window of the moment.
void InstallPasswordDialog();
