#pragma once

#include "foundation/XmlDocument.h"
#include "smev/SoapValues.h"
#include "values/ControlReader.h"
#include "values/ValuesType.h"

#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

class QLabel;

namespace Ui {
class TfmZelvan;
}

// Where the window believes it was started from. The settings, window-state and debug files sit
// beside the executable, so a test that names an executable in a temporary folder keeps them there.
struct StartupOptions {
    QString executablePath; // full path of the executable
    QStringList arguments;  // the command line without the program name

    static StartupOptions fromApplication();
};

// The main window: one page control with a tab per exchange, the settings and the information
// tab, and a status bar that tells what the last operation did.
class TfmZelvan final : public QMainWindow, public ISOAPValues, public IControlReader {
    Q_OBJECT

  public:
    explicit TfmZelvan(const StartupOptions& options = StartupOptions::fromApplication(),
                       QWidget* parent = nullptr);
    ~TfmZelvan() override;

    // Puts the text into the status bar's third panel; `repaint` shows it at once, for an
    // operation that blocks the window right after.
    void SetStatus(const QString& text, bool repaint = false);
    QString StatusText() const;

    // True when an argument is "-" or "/" followed by `name`, in any letter case.
    bool HasDebugSwitch(const QString& name) const;

    // Brings views back to their empty state: scroll boxes to their origin, memos emptied,
    // combo boxes' item lists emptied. Other controls are left alone.
    static void ResetViews(const QList<QWidget*>& controls);

    // The value of a key for the operation in progress (see ValueProvider.h).
    QString GetFieldValue(const QString& name) override;
    // Keeps a copy of a returned record in Charges and, under the two charge requests, shows it
    // labelled and numbered in the memo of the operation in progress.
    void DisplayRecord(const XmlDocument& document, QStringList& lines) override;

    // Controls by object name, for the value provider. A name the window does not have is a
    // fault of the caller and raises the general exception.
    QString ControlText(const QString& name) const override;
    int ControlIndex(const QString& name) const override;

    TValuesType ValuesType() const { return FValuesType; }
    void SetValuesType(TValuesType valuesType) { FValuesType = valuesType; }

    // The dependent-field handlers: fields that do not apply to the chosen search type, order
    // type or change status are taken out of the Tab order and shown in the form's colour. They
    // follow the combo boxes by themselves; a loader that fills the combo boxes may call them.
    void cbChargeSearchTypeChange();
    void cbChargeSearchType2Change();
    void cbOrderTypeChange();
    void cbChangeStatus2Change();

    const QString& IniFileName() const { return FIniFileName; }
    const QString& PropFileName() const { return FPropFileName; }
    const QString& AppPath() const { return FAppPath; }
    bool IsDebug() const { return FDebug; }

    // The shared steps of the operations (Flows.cpp). BeginOperation shows the start text at once,
    // copies the run-time settings and starts from a clean state; SaveDebugFile keeps a copy of a
    // request or reply beside the executable in debug mode; ClearCharges lets the records go.
    void BeginOperation(TValuesType kind, const QString& startText);
    void SaveDebugFile(const QString& content, const QString& name);
    void ClearCharges();

    // The six operations behind the send and query buttons.
    void buPaymentSendClick();
    void buPackageStatusClick();
    void buGetChargeClick();
    void buGetDocumentDetailsClick();
    void buOrderSendClick();
    void buGetStateClick();

  private:
    struct TExchange;

    void FormCreate();
    void FormDestroy();
    void pcMainChange(int index);

    void CreateStatusPanels();
    void PrepareEditableCombos();
    void PrepareYearLists();
    void ConnectDependentFields();
    void ConnectFlows();
    QString ContainerName() const;
    template <class Steps> void RunOperation(Steps steps);
    XmlDocument Exchange(const TExchange& exchange, const QString& body);
    QWidget* Control(const QString& name) const;
    QString InfoText() const;

    // Settings and window state (Settings.cpp).
    void ConnectSettingsHandlers();
    void ListKeyContainers();
    QStringList DefaultSettingsLines() const;
    void LoadSettings();
    void SaveSettings();
    void LoadWindowState();
    void SaveWindowState();
    void buSettingsSaveClick();
    void buSertShowClick();

    // The payer identifier dialog's buttons (PayerIdentifierButtons.cpp).
    void ConnectPayerIdentifierButtons();
    void buPayerIdentifierClick();
    void buSupplierIDClick();
    void buAddIdentifierClick();

    // Field files of the four data tabs (FieldFiles.cpp). An empty path reads or writes nothing.
    void ConnectFieldFileButtons();
    void LoadFieldFiles();
    void LoadPaymentFile(const QString& fileName);
    void LoadChargeFile(const QString& fileName);
    void LoadOrderFile(const QString& fileName);
    void LoadDocumentDetailsFile(const QString& fileName);
    void SavePaymentFile(const QString& fileName);
    void SaveChargeFile(const QString& fileName);
    void SaveOrderFile(const QString& fileName);
    void SaveDocumentDetailsFile(const QString& fileName);
    void WriteFieldFile(const QString& fileName, const QStringList& lines);
    void buPaymentSaveClick();
    void buPaymentOpenClick();
    void buPaymentClearClick();
    void buChargeSaveClick();
    void buChargeOpenClick();
    void buChargeClearClick();
    void buOrderSaveClick();
    void buOrderOpenClick();
    void buOrderClearClick();
    void buDocumentDetailsSaveClick();
    void buDocumentDetailsOpenClick();
    void buDocumentDetailsClearClick();

    std::unique_ptr<Ui::TfmZelvan> ui;
    std::array<QLabel*, 3> FStatusPanels{};

    QString FExecutablePath;
    QStringList FArguments;

    QString FIniFileName;
    QString FPropFileName;
    QString FAppPath;
    bool FDebug = false;

    // The operation in progress and its paging state, set by the operation flows.
    TValuesType FValuesType = TValuesType::vtGISGMPPayment;
    QDateTime FExecuteDateTime;
    qint32 FPagingPageLength = 0;
    qint32 FPagingPageNumber = 0;

    // One list of "path=value" lines per record returned by the current operation.
    QList<QStringList> Charges;

    // Debug files of the operation in progress that could not be written after the reply came;
    // the operator is told once the operation is over.
    QStringList FDebugFileWarnings;
};
