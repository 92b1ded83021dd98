#pragma once

#include "foundation/CryptHelper.h"

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
    // The "remember" box is offered only where the caller can keep the key.
    TfmPassword(const QString& containerName, QWidget* owner, bool offerRemember = false);
    ~TfmPassword() override;

    QString password() const;
    bool remember() const;

  private:
    std::unique_ptr<Ui::TfmPassword> ui;
};

// Shows the dialog over the given window; no value when the operator cancelled. With `remember`
// the dialog offers to keep the key until the program closes and tells whether the operator chose to.
std::optional<QString> AskContainerPassword(const QString& containerName, QWidget* owner,
                                            bool* remember = nullptr);

// The dialog as a password source, shown over the active window of the moment.
TPasswordProvider ContainerPasswordDialog();
