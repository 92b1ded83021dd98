#pragma once

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
class TfmZelvan final : public QMainWindow {
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

    const QString& IniFileName() const { return FIniFileName; }
    const QString& PropFileName() const { return FPropFileName; }
    const QString& AppPath() const { return FAppPath; }
    bool IsDebug() const { return FDebug; }

  private:
    void FormCreate();
    void FormDestroy();
    void pcMainChange(int index);

    void CreateStatusPanels();
    void PrepareEditableCombos();
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

    std::unique_ptr<Ui::TfmZelvan> ui;
    std::array<QLabel*, 3> FStatusPanels{};

    QString FExecutablePath;
    QStringList FArguments;

    QString FIniFileName;
    QString FPropFileName;
    QString FAppPath;
    bool FDebug = false;

    // One list of "path=value" lines per record returned by the current operation.
    QList<QStringList> Charges;
};
