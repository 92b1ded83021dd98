#include "app/OperationController.h"

#include "app/Dialogs.h"
#include "app/Handler.h"
#include "app/PasswordDialog.h"

#include <QEventLoop>
#include <QThread>
#include <QWidget>

#include <mutex>
#include <utility>
#include <vector>

// Hands every report of the operation to the view on the window's thread and waits until it has
// been shown. Records are the exception: a reply holds thousands, and a wait for the window per
// record would cost more than showing it. They are queued and taken by the window in one go when
// it gets to them; every other report first has the window take what is queued, so the order
// stays the operation's. The snapshot the operation reads learns the identifiers the replies
// name, so that a follow-up asks for what was just sent.
class OperationController::ViewOnWindowThread final : public OperationSink {
  public:
    ViewOnWindowThread(OperationController& controller, Form& form) : controller_(controller), form_(form) {}

    void started(const QString& text) override
    {
        onWindow([&] { controller_.view_.started(text); });
    }
    void record(TRecordTable table, qsizetype number, const QStringList& lines) override
    {
        bool post = false;
        {
            const std::lock_guard lock(queue_->mutex);
            if (queue_->error)
                std::rethrow_exception(std::exchange(queue_->error, nullptr));
            post = queue_->records.empty();
            queue_->records.push_back({table, number, lines});
        }
        // One call on the window's thread at a time takes whatever has been queued meanwhile.
        // It holds the queue, not the sink: the operation may end before the window gets to it.
        if (post)
            QMetaObject::invokeMethod(
                &controller_,
                [queue = queue_, &controller = controller_] {
                    try {
                        ShowQueuedRecords(controller, *queue);
                    } catch (...) {
                        // Raised on the operation's thread with its next report.
                        const std::lock_guard lock(queue->mutex);
                        queue->error = std::current_exception();
                    }
                },
                Qt::QueuedConnection);
    }
    void identifier(const QString& control, const QString& caption, const QString& value) override
    {
        form_.set(control, value);
        onWindow([&] { controller_.view_.identifier(control, caption, value); });
    }
    void finished(const QString& result) override
    {
        onWindow([&] {
            // The operator asked to keep the key once it is unlocked; the operation still holds it here.
            controller_.keepKeyIfAsked();
            controller_.view_.finished(result);
        });
    }
    void warning(const QString& text) override
    {
        onWindow([&] { controller_.view_.warning(text); });
    }
    void information(const QString& text) override
    {
        onWindow([&] { controller_.view_.information(text); });
    }
    bool askFollowUp(const QString& question) override
    {
        bool yes = false;
        onWindow([&] { yes = controller_.view_.askFollowUp(question); });
        return yes;
    }
    bool confirmRepeat(const QString& question) override
    {
        bool yes = false;
        onWindow([&] { yes = controller_.view_.confirmRepeat(question); });
        return yes;
    }

  private:
    struct QueuedRecord {
        TRecordTable table;
        qsizetype number;
        QStringList lines;
    };
    struct RecordQueue {
        std::mutex mutex;
        std::vector<QueuedRecord> records;
        std::exception_ptr error;
    };

    static void ShowQueuedRecords(OperationController& controller, RecordQueue& queue)
    {
        std::vector<QueuedRecord> records;
        {
            const std::lock_guard lock(queue.mutex);
            records.swap(queue.records);
        }
        if (controller.abandoned_)
            return;
        for (const QueuedRecord& record : records)
            controller.view_.record(record.table, record.number, record.lines);
    }

    // A window that is going away shows nothing more and asks nothing more.
    template <class Call> void onWindow(Call call)
    {
        {
            const std::lock_guard lock(queue_->mutex);
            if (queue_->error)
                std::rethrow_exception(std::exchange(queue_->error, nullptr));
        }
        RunOnThreadOf(&controller_, [&] {
            ShowQueuedRecords(controller_, *queue_);
            if (!controller_.abandoned_)
                call();
        });
    }

    OperationController& controller_;
    Form& form_;
    std::shared_ptr<RecordQueue> queue_ = std::make_shared<RecordQueue>();
};

OperationController::OperationController(OperationSink& view, QWidget& window, IDialogs& dialogs)
    : view_(view), window_(window), dialogs_(dialogs)
{
}

OperationController::~OperationController()
{
    if (!thread_)
        return;
    abandoned_ = true;
    cancel_ = true;
    // The operation may be waiting for this thread to take a report; those are taken (and dropped)
    // until it has ended.
    if (!thread_->isFinished()) {
        QEventLoop loop;
        connect(thread_, &QThread::finished, &loop, &QEventLoop::quit);
        if (!thread_->isFinished())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    thread_->wait();
    delete thread_;
}

void OperationController::start(OperationInputs inputs, Form controls,
                                std::function<void(OperationRunner&)> run)
{
    if (running_)
        return;
    inputs.cancel = &cancel_;
    inputs.key = signingKey(inputs.keys, inputs.settings.container);
    cancel_ = false;
    running_ = true;
    emit started();
    thread_ = QThread::create([this, inputs = std::move(inputs),
                               form = std::make_shared<Form>(std::move(controls)), run = std::move(run)] {
        try {
            ViewOnWindowThread sink(*this, *form);
            OperationRunner runner(inputs, *form, sink);
            run(runner);
        } catch (...) {
            // Read on the window's thread once this thread has finished.
            error_ = std::current_exception();
        }
    });
    connect(thread_, &QThread::finished, this, [this] { threadEnded(); });
    thread_->start();
}

void OperationController::threadEnded()
{
    if (!thread_ || abandoned_)
        return;
    thread_->wait();
    delete std::exchange(thread_, nullptr);
    emit stopped();
    if (const std::exception_ptr error = std::exchange(error_, nullptr)) {
        RunHandler(dialogs_, [&] {
            try {
                std::rethrow_exception(error);
            } catch (const EOperationCancelled& e) {
                // Stopping is the operator's own doing, not a failure of the program.
                ShowWarning(dialogs_, e.message());
            }
        });
    }
    running_ = false;
    emit ended();
}

void OperationController::cancel()
{
    cancel_ = true;
}

std::shared_ptr<ContainerKey> OperationController::signingKey(const KeyStore& store, const QString& container)
{
    if (rememberedKey_ && rememberedKey_->containerName() == container)
        return rememberedKey_;
    // Told on whatever thread the key is unlocked; read when the operation finishes.
    auto remember = std::make_shared<std::atomic<bool>>(false);
    const KeyStore asking{store.path, [this, remember](const QString& name) {
                              bool keep = false;
                              std::optional<QString> password;
                              // The key is unlocked on the operation's thread; the dialog belongs on
                              // the window's.
                              RunOnThreadOf(this,
                                            [&] { password = AskContainerPassword(name, &window_, &keep); });
                              *remember = password && keep;
                              return password;
                          }};
    auto key = std::make_shared<ContainerKey>(asking, container);
    // Only a weak hold: an operation's key goes with the operation unless it is remembered.
    keyOffer_ = {key, remember};
    return key;
}

void OperationController::keepKeyIfAsked()
{
    if (const std::shared_ptr<ContainerKey> key = keyOffer_.key.lock();
        key && keyOffer_.remember && *keyOffer_.remember && key->unlocked())
        rememberedKey_ = key;
}

void OperationController::forgetKey(const QString& container)
{
    if (rememberedKey_ && rememberedKey_->containerName() != container)
        rememberedKey_.reset();
}
