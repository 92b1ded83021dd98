#pragma once

#include "foundation/CertificateInfo.h"
#include "foundation/CryptHelper.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TfmCertificate;
}

class QWidget;

// The certificate of a key container as the operator checks it before sending: who it names,
// who issued it, how long it is valid, the key and its fingerprint, and the full text.
class TfmCertificate final : public QDialog {
    Q_OBJECT

  public:
    TfmCertificate(const TCertificateInfo& info, QWidget* owner);
    ~TfmCertificate() override;

  private:
    std::unique_ptr<Ui::TfmCertificate> ui;
};

// Reads the container's certificate afresh (never its private key) and shows it modally.
void ShowContainerCertificate(const KeyStore& store, const QString& containerName, QWidget* parent);
