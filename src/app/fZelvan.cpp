#include "app/fZelvan.h"

#include "app/ControlHelper.h"
#include "app/Handler.h"
#include "app/JournalTab.h"
#include "app/OperationController.h"
#include "app/OperationView.h"
#include "app/OperatorGuide.h"
#include "app/PayerIdentifierButtons.h"
#include "app/SettingsTab.h"
#include "app/TabFieldFiles.h"
#include "client/Session.h"
#include "foundation/DataFolder.h"
#include "ui_fZelvan.h"

#include "app/DataTabs.h"
#include "ui_ChargesTab.h"
#include "ui_DocumentDetailsTab.h"
#include "ui_JournalTab.h"
#include "ui_OrderTab.h"
#include "ui_PaymentTab.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

#include <utility>

namespace {

// What stands behind every hash and signature here: OpenSSL with its GOST engine.
const QString ProviderName = QStringLiteral("OpenSSL GOST engine (ГОСТ Р 34.10-2001 и 34.10-2012)");

// The charge kinds are whole sentences; the list has to be wider than the field to show them.
constexpr int ChargeKindDropDownWidth = 550;

QString InfoText(const Session& session)
{
    QStringList lines{
        QStringLiteral("Версия: 1.2"),
        QString(),
        QStringLiteral("Обмен сообщениями с ГИС ГМП и ГИС ЖКХ через СМЭВ 2."),
        QStringLiteral("Подпись: ") + ProviderName + u'.',
        QStringLiteral("Папка данных: ") + QDir::toNativeSeparators(session.dataFolder()),
        QStringLiteral("Файл настроек: ") + session.settingsFile(),
    };
    if (!session.debugFolder().isEmpty())
        lines << QStringLiteral("Режим отладки: запросы и ответы сохраняются в ") + session.debugFolder();
    return lines.join(u'\n');
}

} // namespace

TfmZelvan::TfmZelvan(Session& session, IDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfmZelvan>()), session_(session), dialogs_(dialogs),
      controls_(*this), windowState_(session.windowStateFile())
{
    ui->setupUi(this);
    view_ = std::make_unique<OperationView>(*ui->sbMain, *this, *ui->tsGISGMPCharges->ui->mmCharges,
                                            *ui->tsGISGKXCharges->ui->mmDocumentDetails, dialogs_);
    controller_ = std::make_unique<OperationController>(*view_, *this, dialogs_);
    settings_ = std::make_unique<SettingsTab>(*ui, *this, session_, *view_, dialogs_,
                                              [this](const QString& name) { controller_->forgetKey(name); });
    fieldFiles_ = std::make_unique<TabFieldFiles>(*ui, *this, controls_, session_, *view_, dialogs_);
    PrepareEditableCombos();
    FillFixedLists();
    ConnectOperations();
    // A status text belongs to the tab it was made on.
    ConnectHandler(ui->pcMain, &QTabWidget::currentChanged, this, [this] { view_->setStatus(QString()); });
    ConnectPayerIdentifierButtons(*ui, *this);
    // The journal comes after the tabs the window always had, so their places stay as they were.
    journalTab_ = new JournalTab(ui->pcMain);
    journalTab_->setObjectName(QStringLiteral("tsJournal"));
    ui->pcMain->addTab(journalTab_, QStringLiteral("Журнал"));
    connect(journalTab_, &JournalTab::packageStatusRequested, this, [this](const QString& packageId) {
        RunHandler(dialogs_, [&] {
            ui->tsGISGMPPayment->ui->edPackage->setText(packageId);
            buPackageStatusClick();
        });
    });
    // What an operation recorded is on the tab when it ends.
    ConnectHandler(controller_.get(), &OperationController::ended, journalTab_,
                   [this] { journalTab_->refresh(); });
    // F1 and the information tab's «Справка» open the guide at the chapter of the tab in use.
    new OperatorGuide(this, ui->pcMain, ui->tsInfo);

    // Until the window state says otherwise the window opens in the top left corner of the
    // screen, at the size of the form.
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().topLeft());

    FormCreate();
}

TfmZelvan::~TfmZelvan()
{
    // Nothing is taken apart while the operation's thread may still report to the window; the
    // report that would have taken the busy pointer back is dropped with it.
    controller_.reset();
    view_->idle();
    FormDestroy();
}

void TfmZelvan::FormCreate()
{
    // The steps run in this order; an error in one of them is shown and skips the rest, and the
    // window opens all the same.
    try {
        PrepareDataFolderOnStart();
        OpenJournalOnStart();

        ui->gbProvider->setTitle(ProviderName);
        ui->tsGISGMPCharges->ui->cbChargeKind->view()->setMinimumWidth(ChargeKindDropDownWidth);

        WindowControls::ResetViews({ui->tsGISGMPCharges->ui->mmCharges, ui->cbContainer,
                                    ui->tsGISGMPPayment->ui->sbPayment, ui->tsGISGMPCharges->ui->sbCharge,
                                    ui->tsGISGKXPayment->ui->sbOrder,
                                    ui->tsGISGKXCharges->ui->sbDocumentDetails, ui->sbSettings});

        // The charges search fields match the search type from the start.
        ui->tsGISGMPCharges->cbChargeSearchTypeChange();

        ui->mmInfo->setPlainText(InfoText(session_));

        // A failure to list the containers is reported and creation goes on.
        settings_->listContainers();
        settings_->load();
        windowState_.restore(*this, *ui->pcMain, *ui->tsSettings);
        fieldFiles_->loadStartupFiles();
    } catch (...) {
        ShowException(dialogs_, std::current_exception());
    }
}

void TfmZelvan::PrepareDataFolderOnStart()
{
    // A folder that cannot be made or written was named to the operator at start; the window
    // opens all the same, on the defaults, and writes nothing there on closing.
    try {
        PrepareDataFolder(session_.dataFolder());
        dataFolderReady_ = true;
    } catch (...) {
        ShowException(dialogs_, std::current_exception());
        return;
    }
    if (const QString warning = KeyStoreExposureWarning(session_.dataFolder()); !warning.isEmpty())
        ShowWarning(dialogs_, warning);
}

void TfmZelvan::OpenJournalOnStart()
{
    const QString notice = session_.openJournal();
    journalTab_->setJournal(session_.journal());
    // A data folder that cannot be used was named already; its journal failing too is no news.
    if (!notice.isEmpty() && dataFolderReady_)
        ShowWarning(dialogs_, notice);
    // How many exchanges of unknown outcome wait to be looked into, whenever they were left so.
    view_->setStatus(journalTab_->ui->laUnknown->text());
}

void TfmZelvan::FormDestroy()
{
    // Runs from the destructor, where nothing may escape.
    try {
        if (dataFolderReady_)
            windowState_.store(*this, *ui->pcMain);
    } catch (...) {
        ShowException(dialogs_, std::current_exception());
    }
}

void TfmZelvan::PrepareEditableCombos()
{
    // An editable combo box takes whatever the operator types and only offers its items. Qt's
    // default completion would finish "0" into "00.00.0000" in place, or turn "пд" into "ПД"
    // when the field is left, so the suggestions are shown in a list and chosen on purpose.
    const QList<QComboBox*> combos = findChildren<QComboBox*>();
    for (QComboBox* combo : combos) {
        if (!combo->isEditable() || !combo->completer())
            continue;
        combo->completer()->setCompletionMode(QCompleter::PopupCompletion);
        combo->completer()->setCaseSensitivity(Qt::CaseSensitive);
    }
}

void TfmZelvan::FillFixedLists()
{
    for (const QString& name : FixedListNames()) {
        auto* list = findChild<QComboBox*>(name);
        if (!list)
            continue;
        list->addItems(ListItems(name, session_.now().date()));
        // Nothing is chosen until the field files have been read.
        list->setCurrentIndex(-1);
    }
}

void TfmZelvan::ConnectOperations()
{
    const std::pair<QPushButton*, void (TfmZelvan::*)()> buttons[] = {
        {ui->tsGISGMPPayment->ui->buPaymentSend, &TfmZelvan::buPaymentSendClick},
        {ui->tsGISGMPPayment->ui->buPackageStatus, &TfmZelvan::buPackageStatusClick},
        {ui->tsGISGMPCharges->ui->buGetCharge, &TfmZelvan::buGetChargeClick},
        {ui->tsGISGKXCharges->ui->buGetDocumentDetails, &TfmZelvan::buGetDocumentDetailsClick},
        {ui->tsGISGKXPayment->ui->buOrderSend, &TfmZelvan::buOrderSendClick},
        {ui->tsGISGKXPayment->ui->buGetState, &TfmZelvan::buGetStateClick},
    };
    for (const auto& [button, handler] : buttons)
        ConnectHandler(button, &QPushButton::clicked, this, [this, handler] {
            if (settings_->keyContainerReady())
                (this->*handler)();
        });

    buCancel_ = new QPushButton(QStringLiteral("Отменить"), ui->sbMain);
    buCancel_->setObjectName(QStringLiteral("buCancelOperation"));
    buCancel_->hide();
    ui->sbMain->addPermanentWidget(buCancel_);
    ConnectHandler(buCancel_, &QPushButton::clicked, this, [this] {
        controller_->cancel();
        buCancel_->setEnabled(false);
    });
    ConnectHandler(controller_.get(), &OperationController::started, this, [this] {
        SetOperationButtonsEnabled(false);
        buCancel_->setEnabled(true);
        buCancel_->show();
    });
    ConnectHandler(controller_.get(), &OperationController::stopped, this, [this] {
        view_->idle();
        buCancel_->hide();
        SetOperationButtonsEnabled(true);
    });
    ConnectHandler(controller_.get(), &OperationController::ended, this, [this] {
        if (closeAfterOperation_)
            close();
    });
}

void TfmZelvan::RunOperation(std::function<void(OperationRunner&)> run)
{
    controller_->start(session_.inputs(settings_->current()), controls_.snapshot(), std::move(run));
}

void TfmZelvan::SetOperationButtonsEnabled(bool enabled)
{
    // The send and query buttons, and the field-file buttons that would change the tab under the
    // operation's identifiers and records.
    const QList<QPushButton*> buttons{
        ui->tsGISGMPPayment->ui->buPaymentSend,         ui->tsGISGMPPayment->ui->buPackageStatus,
        ui->tsGISGMPCharges->ui->buGetCharge,           ui->tsGISGKXCharges->ui->buGetDocumentDetails,
        ui->tsGISGKXPayment->ui->buOrderSend,           ui->tsGISGKXPayment->ui->buGetState,
        ui->tsGISGMPPayment->ui->buPaymentOpen,         ui->tsGISGMPPayment->ui->buPaymentClear,
        ui->tsGISGMPCharges->ui->buChargeOpen,          ui->tsGISGMPCharges->ui->buChargeClear,
        ui->tsGISGKXPayment->ui->buOrderOpen,           ui->tsGISGKXPayment->ui->buOrderClear,
        ui->tsGISGKXCharges->ui->buDocumentDetailsOpen, ui->tsGISGKXCharges->ui->buDocumentDetailsClear,
    };
    for (QPushButton* button : buttons)
        button->setEnabled(enabled);
}

void TfmZelvan::closeEvent(QCloseEvent* event)
{
    if (!controller_->running()) {
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    if (closeAfterOperation_)
        return;
    RunHandler(dialogs_, [this] {
        if (!AskYesNo(dialogs_, QStringLiteral("Идет обмен с сервером. Прервать его и закрыть окно?")))
            return;
        closeAfterOperation_ = true;
        controller_->cancel();
        // The operation may have ended while the question was open.
        if (!controller_->running())
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    });
}

void TfmZelvan::buPaymentSendClick()
{
    RunOperation([](OperationRunner& runner) { runner.run(Operation::Payment); });
}

void TfmZelvan::buPackageStatusClick()
{
    RunOperation([](OperationRunner& runner) { runner.run(Operation::PackageStatus); });
}

void TfmZelvan::buGetChargeClick()
{
    ui->tsGISGMPCharges->ui->mmCharges->clear();
    RunOperation([](OperationRunner& runner) { runner.run(Operation::Charges); });
}

void TfmZelvan::buGetDocumentDetailsClick()
{
    ui->tsGISGKXCharges->ui->mmDocumentDetails->clear();
    RunOperation([](OperationRunner& runner) { runner.run(Operation::DocumentDetails); });
}

void TfmZelvan::buOrderSendClick()
{
    const int changeStatus = ui->tsGISGKXPayment->ui->cbChangeStatus2->currentIndex();
    RunOperation([changeStatus](OperationRunner& runner) { runner.runOrder(changeStatus); });
}

void TfmZelvan::buGetStateClick()
{
    RunOperation([](OperationRunner& runner) { runner.run(Operation::GetState); });
}
