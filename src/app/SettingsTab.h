#pragma once

#include "client/Settings.h"

#include <QString>

#include <functional>

class IDialogs;
class OperationView;
class QWidget;
class Session;

namespace Ui {
class TfmZelvan;
}

// The settings tab: the file of the session's settings shown and saved, the key containers of
// its key store, the certificate of the chosen one and the trust file.
class SettingsTab final {
  public:
    // `containerChosen` is told the container the operator picks.
    SettingsTab(Ui::TfmZelvan& ui, QWidget& window, Session& session, OperationView& view, IDialogs& dialogs,
                std::function<void(const QString&)> containerChosen);

    // The key store's containers into the list; a failure to list them is reported and the rest
    // goes on.
    void listContainers();
    // The settings file (or the defaults) into the tab; a damaged file is told once it shows.
    void load();
    // The tab's run-time settings.
    ClientSettings current() const;
    // Every operation signs: without a container the operator is told how to make one, instead of
    // the provider's bare failure, and nothing is sent. A container made meanwhile is taken up.
    bool keyContainerReady();

  private:
    QString noContainerText() const;
    void save();
    void showCertificate();
    void chooseTrustedCertificates();
    // Opens the journal the field names and says what it holds, or why it cannot be opened.
    void checkJournal();

    Ui::TfmZelvan& ui_;
    QWidget& window_;
    Session& session_;
    OperationView& view_;
    IDialogs& dialogs_;
};
