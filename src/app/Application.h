#pragma once

#include <QApplication>

#include <memory>

class QTranslator;

// Qt's own texts (standard buttons, file dialogs) in Russian, like the rest of the window: the
// translation Debian's qt6-translations-l10n installs beside Qt. Installed into the application
// for the returned object's lifetime; nullptr when the translation is not there (Qt then speaks
// English, which is no reason to refuse to start).
std::unique_ptr<QTranslator> InstallQtTranslation();

// The application object. Errors are caught where each handler of the windows starts (see
// Handler.h), so nothing here has to catch what Qt's event dispatch must never see.
class TApplication final : public QApplication {
  public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

  private:
    std::unique_ptr<QTranslator> qtTranslation_;
};
