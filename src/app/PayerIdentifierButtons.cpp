// The three buttons of the main window that open the payer identifier dialog.

#include "app/fZelvan.h"

#include "ui_fZelvan.h"

#include "app/DataTabs.h"
#include "ui_ChargesTab.h"
#include "ui_DocumentDetailsTab.h"
#include "ui_OrderTab.h"
#include "ui_PaymentTab.h"

#include "app/Handler.h"
#include "app/fPayerIdentifier.h"
#include "foundation/TextHelper.h"

void TfmZelvan::ConnectPayerIdentifierButtons()
{
    ConnectHandler(ui->tsGISGMPPayment->ui->buPayerIdentifier, &QPushButton::clicked, this,
                   [this] { buPayerIdentifierClick(); });
    ConnectHandler(ui->tsGISGKXPayment->ui->buSupplierID, &QPushButton::clicked, this,
                   [this] { buSupplierIDClick(); });
    ConnectHandler(ui->tsGISGMPCharges->ui->buAddIdentifier, &QPushButton::clicked, this,
                   [this] { buAddIdentifierClick(); });
}

void TfmZelvan::buPayerIdentifierClick()
{
    TfmPayerIdentifier dialog(this);
    if (dialog.Execute())
        ui->tsGISGMPPayment->ui->cbPayerIdentifier->setEditText(dialog.PayerIdentifiers().value(0));
}

void TfmZelvan::buSupplierIDClick()
{
    TfmPayerIdentifier dialog(this);
    if (dialog.Execute())
        ui->tsGISGKXPayment->ui->cbSupplierID->setEditText(dialog.PayerIdentifiers().value(0));
}

void TfmZelvan::buAddIdentifierClick()
{
    TfmPayerIdentifier dialog(this);
    if (!dialog.Execute())
        return;
    // The identifiers gather in the field, separated by ";".
    const QString added = dialog.PayerIdentifiers()
                              .join(QStringLiteral("\r\n"))
                              .trimmed()
                              .replace(QStringLiteral("\r\n"), QStringLiteral(";"));
    ui->tsGISGMPCharges->ui->edPayerIdentifiers->setText(
        JoinNonEmpty(QStringLiteral(";"), ui->tsGISGMPCharges->ui->edPayerIdentifiers->text(), added));
}
