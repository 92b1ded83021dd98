#pragma once

#include "client/FieldFiles.h"
#include "client/Operations.h"
#include "values/ControlReader.h"
#include "values/ValuesType.h"

#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

class QElapsedTimer;
class QLabel;
class QPushButton;
class QTimer;
class QPlainTextEdit;
class THttpClient;

namespace Ui {
class TfmZelvan;
}

// Where the window believes it was started from. The settings, window-state and debug files sit
// in the data folder (see DataFolder.h): beside the executable for a portable copy, so a test that
// names an executable in a temporary folder holding "zelvan.ini" or "keys" keeps them there.
struct StartupOptions {
    QString executablePath; // full path of the executable
    QStringList arguments;  // the command line without the program name
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    static StartupOptions fromApplication();

    // The value of "--data DIR" (or "--data=DIR"), empty without the switch.
    QString dataOption() const;
    // The data folder these options lead to; nothing is made on disk.
    QString dataFolder() const;
};

// The main window: one page control with a tab per exchange, the settings and the information
// tab, and a status bar that tells what the last operation did. It is a view over the operations:
// it hands them its controls as named values and shows what they report.
class TfmZelvan final : public QMainWindow, public IControlReader, public OperationSink {
    Q_OBJECT

  public:
    explicit TfmZelvan(const StartupOptions& options = StartupOptions::fromApplication(),
                       QWidget* parent = nullptr);
    ~TfmZelvan() override;

    // Puts the text into the status bar's third panel; `repaint` shows it at once.
    void SetStatus(const QString& text, bool repaint = false);
    QString StatusText() const;

    // True when an argument is "-" or "/" followed by `name`, in any letter case.
    bool HasDebugSwitch(const QString& name) const;

    // Brings views back to their empty state: scroll boxes to their origin, memos emptied,
    // combo boxes' item lists emptied. Other controls are left alone.
    static void ResetViews(const QList<QWidget*>& controls);

    // Controls by object name, for the value provider. A name the window does not have is a
    // fault of the caller and raises the general exception.
    QString ControlText(const QString& name) const override;
    int ControlIndex(const QString& name) const override;

    // What the operations report, shown as the operator has always seen it.
    void started(const QString& text) override;
    void record(TRecordTable table, qsizetype number, const QStringList& lines) override;
    void identifier(const QString& control, const QString& caption, const QString& value) override;
    void finished(const QString& result) override;
    void warning(const QString& text) override;
    void information(const QString& text) override;
    bool askFollowUp(const QString& question) override;

    // The settings tab's run-time settings and what an operation runs from.
    ClientSettings CurrentSettings() const;
    OperationInputs Inputs() const;
    // Runs operations on the controls as they stand and reports to the window.
    OperationRunner Runner();
    // True from the press of a send or query button until the operation's last message.
    bool IsBusy() const { return running_; }

    const QString& IniFileName() const { return iniFileName_; }
    const QString& PropFileName() const { return propFileName_; }
    const QString& AppPath() const { return appPath_; }
    const QString& DataFolder() const { return dataFolder_; }
    bool IsDebug() const { return debug_; }

    // The six operations behind the send and query buttons.
    void buPaymentSendClick();
    void buPackageStatusClick();
    void buGetChargeClick();
    void buGetDocumentDetailsClick();
    void buOrderSendClick();
    void buGetStateClick();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void FormCreate();
    void FormDestroy();
    void pcMainChange();

    void CreateStatusPanels();
    void PrepareEditableCombos();
    void FillFixedLists();
    void ConnectFlows();
    QWidget* Control(const QString& name) const;
    QString InfoText() const;
    void PrepareDataFolderOnStart();

    // An operation off the window's thread (OperationThread.cpp): the window keeps painting and
    // answering while the exchange runs; one operation at a time.
    void CreateOperationControls();
    void StartOperation(std::function<void(OperationRunner&)> run);
    void OperationEnded(const std::exception_ptr& error);
    void SetOperationButtonsEnabled(bool enabled);
    void ShowElapsedTime();
    void WaitForOperation();
    // The named controls' texts and positions as they stand when the operation starts.
    Form ControlsSnapshot() const;

    // Settings and window state (Settings.cpp).
    void ConnectSettingsHandlers();
    void ListKeyContainers();
    // Every operation signs: without a container the operator is told how to make one, instead of
    // the provider's bare failure, and nothing is sent. A container made meanwhile is taken up.
    bool KeyContainerReady();
    QString NoContainerText() const;
    void LoadSettings();
    void SaveSettings();
    void LoadWindowState();
    void SaveWindowState();
    void buSettingsSaveClick();
    void buSertShowClick();
    void buTrustedCertificatesClick();

    // The payer identifier dialog's buttons (PayerIdentifierButtons.cpp).
    void ConnectPayerIdentifierButtons();
    void buPayerIdentifierClick();
    void buSupplierIDClick();
    void buAddIdentifierClick();

    // Field files of the four data tabs (FieldFiles.cpp). An empty path reads or writes nothing.
    void ConnectFieldFileButtons();
    void LoadFieldFiles();
    void LoadFieldFile(FieldFileKind kind, const QString& fileName);
    void SaveFieldFile(FieldFileKind kind, const QString& fileName);
    void ShowForm(const Form& form);
    QString FieldFileName(FieldFileKind kind, TValuesType type, const QString& identifierKey);

    std::unique_ptr<Ui::TfmZelvan> ui;
    std::array<QLabel*, 3> statusPanels_{};

    QString executablePath_;
    QStringList arguments_;
    QString dataOption_;
    QString dataFolder_;
    // False when the data folder could not be made or written: the window state is then not stored.
    bool dataFolderReady_ = false;

    QString iniFileName_;
    QString propFileName_;
    // The shared journal the settings file names: the tab has no field for it, and saving keeps it.
    QString journalDatabase_;
    QString appPath_;
    bool debug_ = false;

    // Kept from one operation to the next, so the connection to a service stays open.
    std::unique_ptr<THttpClient> http_;
    // The busy pointer is shown from an operation's start until it has finished.
    bool busy_ = false;

    // The operation in progress.
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> workerDone_{true};
    bool running_ = false;
    // The window is going away: what the operation still reports is dropped.
    bool abandoned_ = false;
    bool closeAfterOperation_ = false;
    QString startText_;
    std::unique_ptr<QElapsedTimer> elapsed_;
    QTimer* elapsedTimer_ = nullptr;
    QPushButton* buCancel_ = nullptr;

    friend class GuiThreadSink;
    // The record blocks of the operation in progress, put into their memo in one go as it finishes:
    // a memo takes one long text far more cheaply than many short ones.
    void FlushRecords();
    QPlainTextEdit* pendingMemo_ = nullptr;
    QString pendingRecords_;

    // The key an operation signs with (Flows.cpp): the remembered one, or one for this operation
    // that is remembered when the operator asks so in the password dialog.
    std::shared_ptr<ContainerKey> SigningKey(const QString& container);
    void ForgetKey(const QString& container);
    struct KeyOffer {
        std::weak_ptr<ContainerKey> key;
        std::shared_ptr<std::atomic<bool>> remember;
    };
    KeyOffer keyOffer_;
    std::shared_ptr<ContainerKey> rememberedKey_;
};
