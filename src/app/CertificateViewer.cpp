#include "app/CertificateViewer.h"

#include "ui_CertificateViewer.h"

#include "foundation/CryptHelper.h"

#include <QFontDatabase>

namespace {

// Local time, as the operator compares it with the clock on the wall.
QString DateText(const QDateTime& moment)
{
    return moment.isValid() ? moment.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
                            : QString();
}

} // namespace

TfmCertificate::TfmCertificate(const TCertificateInfo& info, QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TfmCertificate>())
{
    ui->setupUi(this);
    ui->edSubject->setText(info.subject);
    ui->edIssuer->setText(info.issuer);
    ui->edSerialNumber->setText(info.serialNumber);
    ui->edValidFrom->setText(DateText(info.validFrom));
    ui->edValidTo->setText(DateText(info.validTo));
    ui->edPublicKeyAlgorithm->setText(info.publicKeyAlgorithm);
    ui->edParameterSet->setText(info.parameterSet);
    ui->edThumbprint->setText(info.thumbprint);
    ui->mmText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    ui->mmText->setPlainText(info.text);
    // Long names are read from their start.
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->setCursorPosition(0);
}

TfmCertificate::~TfmCertificate() = default;

void ShowContainerCertificate(const KeyStore& store, const QString& containerName, QWidget* parent)
{
    QByteArray certificate;
    ContainerCrypt(store, containerName, nullptr, &certificate, nullptr, nullptr);
    TfmCertificate dialog(DescribeCertificate(certificate), parent);
    dialog.exec();
}
