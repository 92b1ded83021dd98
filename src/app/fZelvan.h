#pragma once

#include "app/Dialogs.h"
#include "app/WindowControls.h"
#include "app/WindowState.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class OperationController;
class JournalTab;
class OperationRunner;
class OperationView;
class QPushButton;
class Session;
class SettingsTab;
class TabFieldFiles;

namespace Ui {
class TfmZelvan;
}

// The main window: one page control with a tab per exchange, the settings and the information
// tab, and a status bar that tells what the last operation did. It composes the tabs and shows
// what an operation reports; running it is the operation controller's.
class TfmZelvan final : public QMainWindow, public DialogsOwner {
    Q_OBJECT

  public:
    // The session outlives the window; every question and message goes through `dialogs`.
    explicit TfmZelvan(Session& session, IDialogs& dialogs = ScreenDialogs(), QWidget* parent = nullptr);
    ~TfmZelvan() override;

    IDialogs& dialogs() const override { return dialogs_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void FormCreate();
    void FormDestroy();
    void PrepareDataFolderOnStart();
    // Opens the session's journal and shows it on its tab; says what the operator must know of it.
    void OpenJournalOnStart();
    void PrepareEditableCombos();
    void FillFixedLists();

    // The six operations behind the send and query buttons, each on the controls as they stand.
    void ConnectOperations();
    void RunOperation(std::function<void(OperationRunner&)> run);
    void SetOperationButtonsEnabled(bool enabled);
    void buPaymentSendClick();
    void buPackageStatusClick();
    void buGetChargeClick();
    void buGetDocumentDetailsClick();
    void buOrderSendClick();
    void buGetStateClick();

    std::unique_ptr<Ui::TfmZelvan> ui;
    Session& session_;
    IDialogs& dialogs_;
    WindowControls controls_;
    WindowState windowState_;
    std::unique_ptr<OperationView> view_;
    std::unique_ptr<OperationController> controller_;
    std::unique_ptr<SettingsTab> settings_;
    std::unique_ptr<TabFieldFiles> fieldFiles_;
    QPushButton* buCancel_ = nullptr;
    JournalTab* journalTab_ = nullptr;
    // False when the data folder could not be made or written: the window state is then not stored.
    bool dataFolderReady_ = false;
    bool closeAfterOperation_ = false;
};
