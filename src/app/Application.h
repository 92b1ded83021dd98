#pragma once

#include <QApplication>

#include <memory>

class QTranslator;

// Qt's own texts (standard buttons, file dialogs) in Russian, like the rest of the window: the
// translation Debian's qt6-translations-l10n installs beside Qt. Installed into the application
// for the returned object's lifetime; nullptr when the translation is not there (Qt then speaks
// English, which is no reason to refuse to start).
std::unique_ptr<QTranslator> InstallQtTranslation();

// The application object. Every event handler of the window runs inside its event dispatch, so
// this is the one place where an error that leaves a handler is caught and shown.
class TApplication final : public QApplication {
  public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

  private:
    std::unique_ptr<QTranslator> FQtTranslation;
};
