// The two record-fetching operations end to end as the operator runs them: the press of the
// button in the real window (offscreen) until the last record is in the memo, against a server on
// 127.0.0.1 that hands out replies recorded beforehand. Each benchmark reports the peak memory of
// its process; scripts/bench runs each in a process of its own so that the peaks do not mix.
#include "BenchReplies.h"
#include "app/Dialogs.h"
#include "app/StartupOptions.h"
#include "app/fZelvan.h"
#include "foundation/XmlDocument.h"
#include "gisgmp/GisGmpReplies.h"
#include "support/LoopbackHttpServer.h"
#include "support/StateSystemReplies.h"
#include "support/TestKeys.h"
#include "values/ResultDisplay.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <functional>

namespace {

const QString Signer = QStringLiteral("bench");

// Made on the first benchmark's start, after its reply server has been forked off, and taken down
// by main() before the program's static objects are: Qt's input devices must not outlive it.
std::unique_ptr<QApplication>& ApplicationObject()
{
    static std::unique_ptr<QApplication> application;
    return application;
}

QApplication& Application()
{
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    if (!ApplicationObject()) {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        ApplicationObject() = std::make_unique<QApplication>(argc, argv);
    }
    return *ApplicationObject();
}

QList<QByteArray> DocumentPage(int total)
{
    return {DocumentPageReply(total)};
}

// The recorded replies are served by a child process, so that the peak memory measured is the
// client's own. The child is forked before this process starts any thread of its own.
class ReplyServer final {
  public:
    explicit ReplyServer(const std::function<QList<QByteArray>()>& record)
    {
        int ports[2];
        int stop[2];
        if (pipe(ports) != 0 || pipe(stop) != 0)
            std::abort();
        child_ = fork();
        if (child_ == 0) {
            close(ports[0]);
            close(stop[1]);
            const QList<QByteArray> replies = record();
            std::atomic<int> next{0};
            TLoopbackHttpServer server(
                [&](const TRecordedRequest& request) {
                    // The first request of an operation asks without paging; it starts the pages over.
                    const bool first = !request.Body.contains("pageNumber=");
                    const int index = first ? (next = 1, 0) : next++;
                    return Xml(replies.value(qMin(index, int(replies.size()) - 1)));
                },
                std::chrono::seconds(60));
            const int port = server.port();
            qint64 largest = 0;
            for (const QByteArray& reply : replies)
                largest = qMax(largest, qint64(reply.size()));
            if (write(ports[1], &port, sizeof port) != sizeof port ||
                write(ports[1], &largest, sizeof largest) != sizeof largest)
                _exit(1);
            char byte = 0;
            while (read(stop[0], &byte, 1) > 0) {
            }
            _exit(0);
        }
        close(ports[1]);
        close(stop[0]);
        stop_ = stop[1];
        if (read(ports[0], &port_, sizeof port_) != sizeof port_ ||
            read(ports[0], &largestReply_, sizeof largestReply_) != sizeof largestReply_)
            std::abort();
        close(ports[0]);
    }
    ~ReplyServer()
    {
        close(stop_);
        waitpid(child_, nullptr, 0);
    }
    ReplyServer(const ReplyServer&) = delete;
    ReplyServer& operator=(const ReplyServer&) = delete;

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(port_); }
    qint64 largestReply() const { return largestReply_; }

  private:
    pid_t child_ = -1;
    int stop_ = -1;
    int port_ = 0;
    qint64 largestReply_ = 0;
};

// What the window would put in front of the operator ends the benchmark with its text: a modal box
// would wait for ever.
class ReportedDialogs final : public IDialogs {
  public:
    QString shown;

    std::optional<QString> askOpenFileName(const QString&, const QString&) override { return {}; }
    std::optional<QString> askSaveFileName(const QString&, const QString&) override { return {}; }
    void showWarning(const QString& text, const QString&) override { shown += text; }
    void showInfo(const QString& text, const QString&) override { shown += text; }
    bool askYesNo(const QString& text, const QString&, bool) override
    {
        shown += text;
        return false;
    }
    void showError(const QString& text, const QString&) override { shown += text; }
};

// The window ready to fetch from the server, its container unencrypted.
struct Bench {
    ReportedDialogs dialogs;
    ReplyServer server;
    QTemporaryDir folder;
    TestKeyStore keys;
    std::unique_ptr<Session> session;
    std::unique_ptr<TfmZelvan> window;

    explicit Bench(const std::function<QList<QByteArray>()>& record) : server(record)
    {
        Application();
        keys.addContainer(Signer);
        // Its own data folder: the settings, window state and journal of the runs stay in it.
        SessionOptions options = StartupOptions{
            folder.filePath(QStringLiteral("zelvan")),
            {QStringLiteral("--data"),
             folder.path()}}.sessionOptions();
        options.keyStoreOption = keys.path();
        session = std::make_unique<Session>(std::move(options));
        window = std::make_unique<TfmZelvan>(*session, dialogs);
        window->show();
        auto* container = window->findChild<QComboBox*>(QStringLiteral("cbContainer"));
        container->addItem(Signer);
        container->setCurrentIndex(container->count() - 1);
        for (const char* name : {"cbServiceChargesGISGMP", "cbServiceChargesGISGKX"})
            window->findChild<QComboBox*>(QLatin1String(name))->setEditText(server.url());
        window->findChild<QCheckBox*>(QStringLiteral("ckTimeStamp"))->setChecked(false);
        QCoreApplication::processEvents();
    }

    void press(const char* button, const char* memoName, benchmark::State& state, qsizetype expected)
    {
        auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("pcMain"));
        auto* pressed = window->findChild<QPushButton*>(QLatin1String(button));
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->widget(i)->isAncestorOf(pressed))
                tabs->setCurrentIndex(i);
        QCoreApplication::processEvents();
        auto* memo = window->findChild<QPlainTextEdit*>(QLatin1String(memoName));
        state.counters["start_MB"] = PeakMegabytes();
        for (auto _ : state) {
            pressed->click();
            // The operation runs off the window's thread and reports to it until it has ended.
            while (!window->findChild<QPushButton*>(QStringLiteral("buCancelOperation"))->isHidden())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            // What the operator waits for includes the memo being painted with its first records.
            QCoreApplication::processEvents();
        }
        const QString status = window->findChild<QLabel*>(QStringLiteral("sbMainPanel3"))->text();
        if (!dialogs.shown.isEmpty() ||
            status != QStringLiteral("Получено начислений: ") + QString::number(expected))
            state.SkipWithError((status + u' ' + dialogs.shown).toStdString().c_str());
        state.counters["memo_lines"] = double(memo->blockCount());
        state.counters["memo_chars"] = double(memo->document()->characterCount());
        state.counters["peak_MB"] = PeakMegabytes();
        state.counters["reply_MB"] = double(server.largestReply()) / (1024.0 * 1024.0);
    }
};

void ChargesOperation(benchmark::State& state)
{
    const int total = int(state.range(0));
    const int pages = int(state.range(1));
    Bench bench([=] { return ChargePages(total, pages); });
    bench.press("buGetCharge", "mmCharges", state, total);
}
BENCHMARK(ChargesOperation)
    ->Args({1000, 10})
    ->Args({10000, 10})
    ->Args({10000, 1})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(3);

// The display's own records as the reader hands them on, labelled, each as the text of its block.
class RecordTexts final : public ISOAPValues {
  public:
    QStringList blocks;

    void DisplayRecord(const XmlDocument& /*document*/, QStringList& lines) override
    {
        QStringList shown = lines;
        LabelRecordLines(TRecordTable::rtCharges, shown);
        blocks << RecordBlockText(blocks.size() + 1, shown);
    }
    QString GetFieldValue(const QString& /*name*/) override { return {}; }
};

// The floor of the charges operation: the memo's text of the same charges given to a bare
// QPlainTextEdit the way the window gives it (undo off, inserted at the end, the first thousand
// blocks one by one and then pieces of 256 K characters), the event loop running between pieces
// as it does between the window's hand-offs.
void ChargesMemoFloor(benchmark::State& state)
{
    RecordTexts records;
    for (const QByteArray& reply : ChargePages(int(state.range(0)), int(state.range(1))))
        ReadExportCharges(XmlDocument::parse(reply), &records);
    Application();
    QPlainTextEdit memo;
    memo.resize(760, 420);
    memo.show();
    QCoreApplication::processEvents();
    QTextDocument* document = memo.document();
    const auto insert = [&](QString& text) {
        const bool undo = document->isUndoRedoEnabled();
        document->setUndoRedoEnabled(false);
        QTextCursor end(document);
        end.movePosition(QTextCursor::End);
        end.insertText(std::exchange(text, QString()));
        document->setUndoRedoEnabled(undo);
        QCoreApplication::sendPostedEvents(&memo, QEvent::MetaCall);
        QCoreApplication::processEvents();
    };
    for (auto _ : state) {
        memo.clear();
        QString pending;
        for (const QString& block : records.blocks) {
            if (!pending.isEmpty() || !document->isEmpty())
                pending += u'\n';
            pending += block;
            if (document->blockCount() < 1000 || pending.size() >= 256 * 1024)
                insert(pending);
        }
        if (!pending.isEmpty())
            insert(pending);
        QCoreApplication::processEvents();
    }
    state.counters["memo_lines"] = double(document->blockCount());
    state.counters["memo_chars"] = double(document->characterCount());
    // The memo's own cost with the text it was given, the pages' trees read before it included.
    state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(ChargesMemoFloor)
    ->Args({10000, 10})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(3);

void DocumentDetailsOperation(benchmark::State& state)
{
    const int total = int(state.range(0));
    Bench bench([=] { return DocumentPage(total); });
    bench.press("buGetDocumentDetails", "mmDocumentDetails", state, total);
}
BENCHMARK(DocumentDetailsOperation)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ApplicationObject().reset();
    return 0;
}
