// The three buttons of the main window that open the payer identifier dialog.

#include "app/fZelvan.h"

#include "ui_fZelvan.h"

#include "app/fPayerIdentifier.h"
#include "foundation/TextHelper.h"

void TfmZelvan::ConnectPayerIdentifierButtons()
{
    connect(ui->buPayerIdentifier, &QPushButton::clicked, this, &TfmZelvan::buPayerIdentifierClick);
    connect(ui->buSupplierID, &QPushButton::clicked, this, &TfmZelvan::buSupplierIDClick);
    connect(ui->buAddIdentifier, &QPushButton::clicked, this, &TfmZelvan::buAddIdentifierClick);
}

void TfmZelvan::buPayerIdentifierClick()
{
    TfmPayerIdentifier dialog(this);
    if (dialog.Execute())
        ui->cbPayerIdentifier->setEditText(dialog.PayerIdentifiers().value(0));
}

void TfmZelvan::buSupplierIDClick()
{
    TfmPayerIdentifier dialog(this);
    if (dialog.Execute())
        ui->cbSupplierID->setEditText(dialog.PayerIdentifiers().value(0));
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
    ui->edPayerIdentifiers->setText(JoinNonEmpty(QStringLiteral(";"), ui->edPayerIdentifiers->text(), added));
}
