#pragma once

#include <QWidget>

#include <memory>

// The four data tabs of the main window, each a widget with its own form. The main window
// composes them and reaches their controls through `ui`; object names are those of the forms.

namespace Ui {
class PaymentTab;
class ChargesTab;
class OrderTab;
class DocumentDetailsTab;
} // namespace Ui

// GIS GMP: the payment and its package status.
class PaymentTab final : public QWidget {
    Q_OBJECT

  public:
    explicit PaymentTab(QWidget* parent = nullptr);
    ~PaymentTab() override;

    std::unique_ptr<Ui::PaymentTab> ui;
};

// GIS GMP: the charges request and the charges it returned.
class ChargesTab final : public QWidget {
    Q_OBJECT

  public:
    explicit ChargesTab(QWidget* parent = nullptr);
    ~ChargesTab() override;

    // Fields that do not apply to the chosen search type are taken out of the Tab order and shown in the
    // form's colour. They follow the combo box by themselves; a loader that fills it may call them.
    void cbChargeSearchTypeChange();

    std::unique_ptr<Ui::ChargesTab> ui;
};

// GIS ZhKH: the notification of order execution, its cancellation and its state.
class OrderTab final : public QWidget {
    Q_OBJECT

  public:
    explicit OrderTab(QWidget* parent = nullptr);
    ~OrderTab() override;

    // Fields that do not apply to the chosen order type or change status are taken out of the Tab order and
    // shown in the form's colour. They follow the combo box by themselves; a loader that fills it may call
    // them.
    void cbOrderTypeChange();
    void cbChangeStatus2Change();

    std::unique_ptr<Ui::OrderTab> ui;
};

// GIS ZhKH: the payment document details request and the documents it returned.
class DocumentDetailsTab final : public QWidget {
    Q_OBJECT

  public:
    explicit DocumentDetailsTab(QWidget* parent = nullptr);
    ~DocumentDetailsTab() override;

    // Fields that do not apply to the chosen search type are taken out of the Tab order and shown in the
    // form's colour. They follow the combo box by themselves; a loader that fills it may call them.
    void cbChargeSearchType2Change();

    std::unique_ptr<Ui::DocumentDetailsTab> ui;
};
