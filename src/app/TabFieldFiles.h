#pragma once

#include "client/FieldFiles.h"

#include <QString>

class IDialogs;
class OperationView;
class QWidget;
class Session;
class WindowControls;

namespace Ui {
class TfmZelvan;
}

// The field files of the four data tabs as the window loads, shows and saves them: each tab's
// save, open and clear buttons, and the tabs' files in the current folder at start-up. An empty
// path reads or writes nothing.
class TabFieldFiles final {
  public:
    TabFieldFiles(Ui::TfmZelvan& ui, QWidget& window, const WindowControls& controls, Session& session,
                  OperationView& view, IDialogs& dialogs);

    // The four tabs from their files in the current folder.
    void loadStartupFiles();

  private:
    void load(FieldFileKind kind, const QString& fileName);
    void save(FieldFileKind kind, const QString& fileName);
    // The name proposed for a payment or an order carries its identifier.
    QString proposedName(FieldFileKind kind);

    Ui::TfmZelvan& ui_;
    const WindowControls& controls_;
    Session& session_;
    OperationView& view_;
    IDialogs& dialogs_;
};
