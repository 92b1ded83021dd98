#pragma once

#include <QApplication>

// The application object. Every event handler of the window runs inside its event dispatch, so
// this is the one place where an error that leaves a handler is caught and shown.
class TApplication final : public QApplication {
  public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
