// The operations behind the send and query buttons run on a thread of their own, so the window
// keeps painting, shows how long the exchange has taken and can stop it. The operation reads the
// controls as they stood when it started; what it reports is shown on the window's thread.
#include "app/fZelvan.h"

#include "app/Dialogs.h"
#include "app/Handler.h"
#include "ui_fZelvan.h"

#include "app/DataTabs.h"
#include "ui_ChargesTab.h"
#include "ui_DocumentDetailsTab.h"
#include "ui_OrderTab.h"
#include "ui_PaymentTab.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// Hands every report of the operation to the window on the window's thread and waits until it has
// been shown. Records are the exception: a reply holds thousands, and a wait for the window per
// record would cost more than showing it. They are queued and taken by the window in one go when
// it gets to them; every other report first has the window take what is queued, so the order
// stays the operation's. The snapshot the operation reads learns the identifiers the replies
// name, so that a follow-up asks for what was just sent.
class GuiThreadSink final : public OperationSink {
  public:
    GuiThreadSink(TfmZelvan& window, Form& form) : window_(window), form_(form) {}

    void started(const QString& text) override
    {
        onWindow([&] { window_.started(text); });
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
                &window_,
                [queue = queue_, &window = window_] {
                    try {
                        ShowQueuedRecords(window, *queue);
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
        onWindow([&] { window_.identifier(control, caption, value); });
    }
    void finished(const QString& result) override
    {
        onWindow([&] { window_.finished(result); });
    }
    void warning(const QString& text) override
    {
        onWindow([&] { window_.warning(text); });
    }
    void information(const QString& text) override
    {
        onWindow([&] { window_.information(text); });
    }
    bool askFollowUp(const QString& question) override
    {
        bool yes = false;
        onWindow([&] { yes = window_.askFollowUp(question); });
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

    static void ShowQueuedRecords(TfmZelvan& window, RecordQueue& queue)
    {
        std::vector<QueuedRecord> records;
        {
            const std::lock_guard lock(queue.mutex);
            records.swap(queue.records);
        }
        if (window.abandoned_)
            return;
        for (const QueuedRecord& record : records)
            window.record(record.table, record.number, record.lines);
    }

    // A window that is going away shows nothing more and asks nothing more.
    template <class Call> void onWindow(Call call)
    {
        {
            const std::lock_guard lock(queue_->mutex);
            if (queue_->error)
                std::rethrow_exception(std::exchange(queue_->error, nullptr));
        }
        RunOnThreadOf(&window_, [&] {
            ShowQueuedRecords(window_, *queue_);
            if (!window_.abandoned_)
                call();
        });
    }

    TfmZelvan& window_;
    Form& form_;
    std::shared_ptr<RecordQueue> queue_ = std::make_shared<RecordQueue>();
};

void TfmZelvan::CreateOperationControls()
{
    elapsed_ = std::make_unique<QElapsedTimer>();
    elapsedTimer_ = new QTimer(this);
    elapsedTimer_->setInterval(1000);
    ConnectHandler(elapsedTimer_, &QTimer::timeout, this, [this] { ShowElapsedTime(); });

    buCancel_ = new QPushButton(QStringLiteral("Отменить"), ui->sbMain);
    buCancel_->setObjectName(QStringLiteral("buCancelOperation"));
    buCancel_->hide();
    ui->sbMain->addPermanentWidget(buCancel_);
    ConnectHandler(buCancel_, &QPushButton::clicked, this, [this] {
        cancel_ = true;
        buCancel_->setEnabled(false);
    });
}

Form TfmZelvan::ControlsSnapshot() const
{
    Form form;
    const QList<QWidget*> controls = findChildren<QWidget*>();
    for (QWidget* control : controls) {
        const QString name = control->objectName();
        if (name.isEmpty() || form.contains(name))
            continue;
        if (auto* combo = qobject_cast<QComboBox*>(control))
            form.set(name, combo->currentText(), combo->currentIndex());
        else if (qobject_cast<QLineEdit*>(control) || qobject_cast<QPlainTextEdit*>(control))
            form.set(name, ControlText(name));
    }
    return form;
}

void TfmZelvan::SetOperationButtonsEnabled(bool enabled)
{
    // The send and query buttons, and the field-file buttons that would change the tab under the
    // operation's identifiers and records.
    const QList<QPushButton*> buttons{
        ui->tsGISGMPPayment->ui->buPaymentSend,         ui->tsGISGMPPayment->ui->buPackageStatus,
        ui->tsGISGMPCharges->ui->buGetCharge,           ui->tsGISGKXCharges->ui->buGetDocumentDetails,
        ui->tsGISGKXPayment->ui->buOrderSend,           ui->tsGISGKXPayment->ui->buGetState,
        ui->tsGISGMPPayment->ui->buPaymentOpen,         ui->tsGISGMPPayment->ui->buPaymentClear,
        ui->tsGISGMPCharges->ui->buChargeOpen,          ui->tsGISGMPCharges->ui->buChargeClear,
        ui->tsGISGKXPayment->ui->buOrderOpen,           ui->tsGISGKXPayment->ui->buOrderClear,
        ui->tsGISGKXCharges->ui->buDocumentDetailsOpen, ui->tsGISGKXCharges->ui->buDocumentDetailsClear,
    };
    for (QPushButton* button : buttons)
        button->setEnabled(enabled);
}

void TfmZelvan::StartOperation(std::function<void(OperationRunner&)> run)
{
    if (running_)
        return;
    if (worker_.joinable())
        worker_.join();
    OperationInputs inputs = Inputs();
    inputs.cancel = &cancel_;
    inputs.key = SigningKey(inputs.settings.container);
    auto form = std::make_unique<Form>(ControlsSnapshot());
    cancel_ = false;
    running_ = true;
    workerDone_ = false;
    SetOperationButtonsEnabled(false);
    buCancel_->setEnabled(true);
    buCancel_->show();
    worker_ = std::thread([this, inputs = std::move(inputs), form = std::move(form), run = std::move(run)] {
        std::exception_ptr error;
        try {
            GuiThreadSink sink(*this, *form);
            OperationRunner runner(inputs, *form, sink);
            run(runner);
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(
            this, [this, error] { OperationEnded(error); }, Qt::QueuedConnection);
        workerDone_ = true;
    });
}

void TfmZelvan::OperationEnded(const std::exception_ptr& error)
{
    if (worker_.joinable())
        worker_.join();
    elapsedTimer_->stop();
    buCancel_->hide();
    SetOperationButtonsEnabled(true);
    if (busy_)
        QApplication::restoreOverrideCursor();
    busy_ = false;
    if (!abandoned_ && error) {
        RunHandler([&] {
            try {
                std::rethrow_exception(error);
            } catch (const EOperationCancelled& e) {
                // Stopping is the operator's own doing, not a failure of the program.
                ShowWarning(e.message());
            }
        });
    }
    running_ = false;
    if (closeAfterOperation_)
        close();
}

void TfmZelvan::ShowElapsedTime()
{
    if (!running_)
        return;
    const qint64 seconds = (elapsed_->elapsed() + 500) / 1000;
    SetStatus(startText_ + QStringLiteral(" %1 с").arg(seconds));
}

void TfmZelvan::WaitForOperation()
{
    if (!worker_.joinable())
        return;
    abandoned_ = true;
    cancel_ = true;
    // The worker may be waiting for this thread to take a report; those are taken (and dropped)
    // until it has ended.
    while (!workerDone_) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    worker_.join();
    // The report that would have taken the busy pointer back was dropped.
    if (busy_)
        QApplication::restoreOverrideCursor();
    busy_ = false;
}

void TfmZelvan::closeEvent(QCloseEvent* event)
{
    if (!running_) {
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    if (closeAfterOperation_)
        return;
    RunHandler([this] {
        if (!AskYesNo(QStringLiteral("Идет обмен с сервером. Прервать его и закрыть окно?")))
            return;
        closeAfterOperation_ = true;
        cancel_ = true;
        // The operation may have ended while the question was open.
        if (!running_)
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    });
}
