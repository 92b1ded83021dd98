#include "app/PayerIdentifierButtons.h"

#include "ui_fZelvan.h"

#include "app/DataTabs.h"
#include "ui_ChargesTab.h"
#include "ui_DocumentDetailsTab.h"
#include "ui_OrderTab.h"
#include "ui_PaymentTab.h"

#include "app/Handler.h"
#include "app/fPayerIdentifier.h"
#include "foundation/TextHelper.h"

void ConnectPayerIdentifierButtons(Ui::TfmZelvan& ui, QWidget& window)
{
    QComboBox* payer = ui.tsGISGMPPayment->ui->cbPayerIdentifier;
    ConnectHandler(ui.tsGISGMPPayment->ui->buPayerIdentifier, &QPushButton::clicked, &window,
                   [payer, &window] {
                       TfmPayerIdentifier dialog(&window);
                       if (dialog.Execute())
                           payer->setEditText(dialog.PayerIdentifiers().value(0));
                   });
    QComboBox* supplier = ui.tsGISGKXPayment->ui->cbSupplierID;
    ConnectHandler(ui.tsGISGKXPayment->ui->buSupplierID, &QPushButton::clicked, &window, [supplier, &window] {
        TfmPayerIdentifier dialog(&window);
        if (dialog.Execute())
            supplier->setEditText(dialog.PayerIdentifiers().value(0));
    });
    QLineEdit* identifiers = ui.tsGISGMPCharges->ui->edPayerIdentifiers;
    ConnectHandler(ui.tsGISGMPCharges->ui->buAddIdentifier, &QPushButton::clicked, &window,
                   [identifiers, &window] {
                       TfmPayerIdentifier dialog(&window);
                       if (!dialog.Execute())
                           return;
                       // The identifiers gather in the field, separated by ";".
                       const QString added = dialog.PayerIdentifiers()
                                                 .join(QStringLiteral("\r\n"))
                                                 .trimmed()
                                                 .replace(QStringLiteral("\r\n"), QStringLiteral(";"));
                       identifiers->setText(JoinNonEmpty(QStringLiteral(";"), identifiers->text(), added));
                   });
}
