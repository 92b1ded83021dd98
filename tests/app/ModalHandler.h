#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Acts on the next modal window that opens (other than `except`), from inside its own event loop,
// the way an operator answers a real dialog.
class ModalHandler final {
  public:
    explicit ModalHandler(std::function<void(QWidget*)> act, QWidget* except = nullptr)
        : FAct(std::move(act)), FExcept(except)
    {
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == FExcept || !modal->isVisible())
                return;
            FTimer.stop();
            FDone = true;
            FAct(modal);
        });
        FTimer.start(10);
    }

    bool done() const { return FDone; }

  private:
    std::function<void(QWidget*)> FAct;
    QWidget* FExcept;
    QTimer FTimer;
    bool FDone = false;
};
