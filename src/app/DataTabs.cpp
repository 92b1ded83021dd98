#include "app/DataTabs.h"

#include "ui_ChargesTab.h"
#include "ui_DocumentDetailsTab.h"
#include "ui_OrderTab.h"
#include "ui_PaymentTab.h"

#include "app/ControlHelper.h"
#include "app/Handler.h"
#include "foundation/TextHelper.h"

PaymentTab::PaymentTab(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::PaymentTab>())
{
    ui->setupUi(this);
}

PaymentTab::~PaymentTab() = default;

ChargesTab::ChargesTab(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::ChargesTab>())
{
    ui->setupUi(this);
    ConnectHandler(ui->cbChargeSearchType, &QComboBox::currentIndexChanged, this,
                   [this] { cbChargeSearchTypeChange(); });
}

ChargesTab::~ChargesTab() = default;

OrderTab::OrderTab(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::OrderTab>())
{
    ui->setupUi(this);
    ConnectHandler(ui->cbOrderType, &QComboBox::currentIndexChanged, this, [this] { cbOrderTypeChange(); });
    ConnectHandler(ui->cbChangeStatus2, &QComboBox::currentIndexChanged, this,
                   [this] { cbChangeStatus2Change(); });
}

OrderTab::~OrderTab() = default;

DocumentDetailsTab::DocumentDetailsTab(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::DocumentDetailsTab>())
{
    ui->setupUi(this);
    ConnectHandler(ui->cbChargeSearchType2, &QComboBox::currentIndexChanged, this,
                   [this] { cbChargeSearchType2Change(); });
}

DocumentDetailsTab::~DocumentDetailsTab() = default;

void ChargesTab::cbChargeSearchTypeChange()
{
    const int k = SelectedIndex(ui->cbChargeSearchType->currentIndex(), 0);
    SetControlsEnabled({ui->edSupplierBillID}, k == 0 || k == 1);
    SetControlsEnabled({ui->edPayerIdentifiers, ui->buAddIdentifier}, k == 0 || k == 2);
}

void DocumentDetailsTab::cbChargeSearchType2Change()
{
    const int k = SelectedIndex(ui->cbChargeSearchType2->currentIndex(), 0);
    SetControlsEnabled({ui->edPaymentDocumentID}, k == 0 || k == 1);
    SetControlsEnabled({ui->cbYear, ui->cbMonth}, k == 0 || k == 2 || k == 3 || k == 4);
    SetControlsEnabled({ui->edUnifiedAccountNumber}, k == 0 || k == 2);
    SetControlsEnabled({ui->edFIASHouseGuid, ui->edPaymentDocumentNumber, ui->edAccountNumber},
                       k == 0 || k == 3);
    SetControlsEnabled({ui->edServiceID}, k == 0 || k == 4);
}

void OrderTab::cbOrderTypeChange()
{
    // A cancellation needs only the order identifier; the order type does not matter then.
    if (ui->cbChangeStatus2->currentIndex() == 1)
        return;
    const int k = SelectedIndex(ui->cbOrderType->currentIndex(), 0);
    SetControlsEnabled({ui->cbPaymentDocumentID}, k == 0 || k == 1);
    SetControlsEnabled({ui->cbYear2, ui->cbMonth2}, k == 0 || k == 2 || k == 4 || k == 5 || k == 6);
    SetControlsEnabled({ui->edUnifiedAccountNumber2}, k == 0 || k == 2);
    SetControlsEnabled({ui->edPaymentDocumentNumber2}, k == 0 || k == 3);
    SetControlsEnabled({ui->edAccountNumber2}, k == 0 || k == 4);
    SetControlsEnabled({ui->edServiceID2}, k == 0 || k == 5);
    SetControlsEnabled({ui->gbConsumer}, k == 0 || k == 6);
}

void OrderTab::cbChangeStatus2Change()
{
    const bool cancel = ui->cbChangeStatus2->currentIndex() == 1;
    // The order identifier is made of the order date, number and subsystem code.
    SetControlsEnabled({ui->gbOrder, ui->gbPaymentRecipient, ui->gbSupplier, ui->gbConsumer, ui->gbExecutor},
                       !cancel, {ui->edOrderDate, ui->edOrderNum, ui->edSubSystem2});
    SetControlsEnabled({ui->edChangeStatusReason2}, cancel);
    cbOrderTypeChange();
}
