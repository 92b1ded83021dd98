#pragma once

#include "client/Form.h"
#include "client/Operations.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

class IDialogs;
class QThread;
class QWidget;

// Runs the operations behind the send and query buttons on a thread of their own, one at a time,
// so the window keeps painting, shows how long the exchange has taken and can stop it. The
// operation reads the controls as they stood when it started; what it reports is handed to the
// view on this object's thread (the window's), and a container's password is asked there too.
class OperationController final : public QObject {
    Q_OBJECT

  public:
    // `window` owns the password dialog; `dialogs` shows the error an operation ends with.
    OperationController(OperationSink& view, QWidget& window, IDialogs& dialogs);
    // Stops the operation in flight and waits for its end; what it still reports is dropped.
    ~OperationController() override;

    // From the start of an operation until its last message has been shown.
    bool running() const { return running_; }

    // Runs `run` on a runner over `controls` and `inputs`, signing with the remembered key of the
    // container or a new one; nothing happens while another operation runs.
    void start(OperationInputs inputs, Form controls, std::function<void(OperationRunner&)> run);
    // Asks the operation in flight to stop: nothing more is sent, an exchange in flight is given up.
    void cancel();
    // A key remembered for another container than `container` is let go.
    void forgetKey(const QString& container);

  signals:
    void started();
    // The operation's thread has ended; its error is shown next.
    void stopped();
    // The error, if any, has been shown.
    void ended();

  private:
    class ViewOnWindowThread;
    struct KeyOffer {
        std::weak_ptr<ContainerKey> key;
        std::shared_ptr<std::atomic<bool>> remember;
    };

    std::shared_ptr<ContainerKey> signingKey(const KeyStore& store, const QString& container);
    void keepKeyIfAsked();
    void threadEnded();

    OperationSink& view_;
    QWidget& window_;
    IDialogs& dialogs_;
    QThread* thread_ = nullptr;
    std::exception_ptr error_;
    std::atomic<bool> cancel_{false};
    bool running_ = false;
    // The window is going away: what the operation still reports is dropped.
    bool abandoned_ = false;
    KeyOffer keyOffer_;
    std::shared_ptr<ContainerKey> rememberedKey_;
};
