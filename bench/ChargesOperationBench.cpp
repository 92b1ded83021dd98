// The two record-fetching operations end to end as the operator runs them: the press of the
// button in the real window (offscreen) until the last record is in the memo, against a server on
// 127.0.0.1 that hands out replies recorded beforehand. Each benchmark reports the peak memory of
// its process; scripts/bench runs each in a process of its own so that the peaks do not mix.
#include "BenchReplies.h"
#include "app/StartupOptions.h"
#include "app/fZelvan.h"
#include "support/LoopbackHttpServer.h"
#include "support/StateSystemReplies.h"
#include "support/TestKeys.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

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

// A charge the size of a real one: the payee's details, the payer, and the signature of the
// charge's issuer with its certificate, which is most of its bytes.
QString ChargeDocument(int number)
{
    const QString id = QStringLiteral("188101771408147%1").arg(number, 5, 10, QLatin1Char('0'));
    static const QString certificate = QString::fromLatin1(QByteArray(1100, 'M').toBase64());
    return QStringLiteral(
               "<Charge xmlns=\"http://roskazna.ru/gisgmp/xsd/116/Charge\" supplierBillID=\"%1\" "
               "billDate=\"2016-02-01T10:00:00+03:00\" ValidUntil=\"2016-03-01T00:00:00+03:00\" "
               "TotalAmount=\"150000\"><BillFor>Штраф по постановлению %1</BillFor>"
               "<SupplierOrgInfo><Name>УФК по г. Москве (ГУ МВД России по г. "
               "Москве)</Name><INN>7707089101</INN>"
               "<KPP>770731005</KPP><Account><AccountNumber>40101810800000010041</AccountNumber>"
               "<Bank><BIK>044583001</BIK></Bank></Account></SupplierOrgInfo><KBK>18811630020016000140</KBK>"
               "<OKTMO>45383000</OKTMO><Payer><payerIdentifier>1010000000000123456789643</payerIdentifier>"
               "</Payer><ds:Signature xmlns:ds=\"http://www.w3.org/2000/09/xmldsig#\"><ds:SignedInfo>"
               "<ds:CanonicalizationMethod Algorithm=\"http://www.w3.org/2001/10/xml-exc-c14n#\"/>"
               "<ds:SignatureMethod "
               "Algorithm=\"urn:ietf:params:xml:ns:cpxmlsec:algorithms:gostr34102012-gostr34112012-256\"/>"
               "<ds:Reference "
               "URI=\"\"><ds:DigestValue>3Bf5G6s2LUW8wY0VhYg9w9kxq5Gv1F1c2l3GQ7f0FwE=</ds:DigestValue>"
               "</ds:Reference></ds:SignedInfo><ds:SignatureValue>%2</ds:SignatureValue><ds:KeyInfo>"
               "<ds:X509Data><ds:X509Certificate>%3</ds:X509Certificate></ds:X509Data></ds:KeyInfo>"
               "</ds:Signature></Charge>")
        .arg(id, QString::fromLatin1(QByteArray(64, 'S').toBase64()), certificate);
}

QString ChargeInfoOf(int number)
{
    return QStringLiteral("<ChargeInfo><AmountToPay>150000</AmountToPay><QuittanceWithPaymentStatus>3"
                          "</QuittanceWithPaymentStatus><ChargeData>%1</ChargeData></ChargeInfo>")
        .arg(QString::fromLatin1(ChargeDocument(number).toUtf8().toBase64()));
}

// `total` charges over `pages` replies; every reply but the last announces another page.
QList<QByteArray> ChargePages(int total, int pages)
{
    QList<QByteArray> replies;
    int number = 0;
    for (int page = 0; page < pages; ++page) {
        QStringList charges;
        const int end = total * (page + 1) / pages;
        while (number < end)
            charges << ChargeInfoOf(++number);
        const QString more =
            page + 1 < pages ? QStringLiteral("hasMore=\"true\"") : QStringLiteral("hasMore=\"false\"");
        replies << Envelope(ExportCharges(more, charges));
    }
    return replies;
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
            TLoopbackHttpServer server([&](const TRecordedRequest& request) {
                // The first request of an operation asks without paging; it starts the pages over.
                const bool first = !request.Body.contains("pageNumber=");
                const int index = first ? (next = 1, 0) : next++;
                return Xml(replies.value(qMin(index, int(replies.size()) - 1)));
            });
            const int port = server.port();
            if (write(ports[1], &port, sizeof port) != sizeof port)
                _exit(1);
            char byte = 0;
            while (read(stop[0], &byte, 1) > 0) {
            }
            _exit(0);
        }
        close(ports[1]);
        close(stop[0]);
        stop_ = stop[1];
        if (read(ports[0], &port_, sizeof port_) != sizeof port_)
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

  private:
    pid_t child_ = -1;
    int stop_ = -1;
    int port_ = 0;
};

// The window ready to fetch from the server, its container unencrypted.
struct Bench {
    ReplyServer server;
    QTemporaryDir folder;
    TestKeyStore keys;
    std::unique_ptr<Session> session;
    std::unique_ptr<TfmZelvan> window;

    explicit Bench(const std::function<QList<QByteArray>()>& record) : server(record)
    {
        Application();
        keys.addContainer(Signer);
        SessionOptions options =
            StartupOptions{folder.filePath(QStringLiteral("zelvan")), {}}.sessionOptions();
        options.keyStoreOption = keys.path();
        session = std::make_unique<Session>(std::move(options));
        window = std::make_unique<TfmZelvan>(*session);
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
        if (status != QStringLiteral("Получено начислений: ") + QString::number(expected))
            state.SkipWithError(status.toStdString().c_str());
        state.counters["memo_lines"] = double(memo->blockCount());
        state.counters["memo_chars"] = double(memo->document()->characterCount());
        state.counters["peak_MB"] = PeakMegabytes();
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
    ->Iterations(3);

void DocumentDetailsOperation(benchmark::State& state)
{
    const int total = int(state.range(0));
    Bench bench([=] { return DocumentPage(total); });
    bench.press("buGetDocumentDetails", "mmDocumentDetails", state, total);
}
BENCHMARK(DocumentDetailsOperation)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

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
