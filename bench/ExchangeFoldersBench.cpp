// 1,000 charges files through `zelvan-cli serve --once` against the sandbox on 127.0.0.1, beside the
// floor measured in the same run: the same 1,000 exchanges as one command-line batch, the bare loop
// of the one-request path. What the folders and the journal cost is the difference. It also reports
// how far the resident memory grew over the service's run (nothing of a file is kept once it is
// moved, so it stays flat).
#include "BenchApplication.h"
#include "CommandLine.h"
#include "sandbox/SandboxServer.h"
#include "support/TestKeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

constexpr int Files = 1000;
const QString Signer = QStringLiteral("bench");

double ResidentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The sandbox, a key, settings pointing at it and the field files, made once for both benchmarks.
struct Bench {
    TestKeyStore keys;
    QTemporaryDir folder;
    std::unique_ptr<SandboxServer> sandbox;

    Bench()
    {
        BenchApplication<QCoreApplication>();
        keys.addContainer(Signer);
        SandboxOptions options;
        options.port = 0;
        options.log = [](const QString&) {};
        sandbox = std::make_unique<SandboxServer>(options);
        QString settings = sandbox->settingsLines().join(QStringLiteral("\r\n"));
        settings += QStringLiteral("\r\nSystemName=BANK\r\nSMEVCode=BANK00001\r\nGISGMPCode=123ab4\r\n"
                                   "SoapTestMode=1\r\nCryptContainer=%1\r\n")
                        .arg(Signer);
        Write(path(QStringLiteral("zelvan.ini")), settings);
    }
    QString path(const QString& name) const { return QDir(folder.path()).filePath(name); }
    static void Write(const QString& path, const QString& text)
    {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text.toUtf8());
    }
    // The charges files, fresh in `inbox`.
    QStringList fieldFiles(const QString& inbox) const
    {
        QDir().mkpath(inbox);
        QStringList files;
        for (int i = 0; i < Files; ++i) {
            files << QDir(inbox).filePath(QStringLiteral("c%1.txt").arg(i, 4, 10, QLatin1Char('0')));
            Write(files.last(), QStringLiteral("SearchType=1\r\nSupplierBillID=18810177140814735001\r\n"));
        }
        return files;
    }
    int run(const QStringList& arguments) const
    {
        QFile null(QStringLiteral("/dev/null"));
        null.open(QIODevice::WriteOnly);
        QTextStream out(&null);
        QTextStream err(&null);
        CommandLineStreams streams;
        streams.out = &out;
        streams.err = &err;
        return RunCommandLine(QStringList{QStringLiteral("zelvan-cli")} + arguments +
                                  QStringList{QStringLiteral("--settings"),
                                              path(QStringLiteral("zelvan.ini")), QStringLiteral("--store"),
                                              keys.path(), QStringLiteral("--data"),
                                              path(QStringLiteral("data"))},
                              streams);
    }
};

Bench& Shared()
{
    static Bench bench;
    return bench;
}

// The floor first, in the same run: the bare loop of the one-request path over the same files.
double FloorMilliseconds(Bench& bench)
{
    QStringList arguments{QStringLiteral("charges"), QStringLiteral("--format"), QStringLiteral("json")};
    for (const QString& file : bench.fieldFiles(bench.path(QStringLiteral("batch"))))
        arguments << QStringLiteral("--fields") << file;
    QElapsedTimer timer;
    timer.start();
    return bench.run(arguments) == 0 ? double(timer.nsecsElapsed()) / 1e6 : -1;
}

void ServeOnceThousandChargesFiles(benchmark::State& state)
{
    Bench& bench = Shared();
    const double floor = FloorMilliseconds(bench);
    if (floor < 0)
        state.SkipWithError("the floor's batch failed");
    double growth = 0;
    for (auto _ : state) {
        const QString run = bench.path(QStringLiteral("serve-%1").arg(state.iterations()));
        bench.fieldFiles(run + QStringLiteral("/in/charges"));
        const double before = ResidentMegabytes();
        QElapsedTimer timer;
        timer.start();
        const int code =
            bench.run({QStringLiteral("serve"), QStringLiteral("--once"), QStringLiteral("--inbox"),
                       run + QStringLiteral("/in"), QStringLiteral("--outbox"), run + QStringLiteral("/out"),
                       QStringLiteral("--errors"), run + QStringLiteral("/err")});
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        growth = ResidentMegabytes() - before;
        if (code != 0 || QDir(run + QStringLiteral("/out/done")).count() != Files + 2)
            state.SkipWithError("not every file reached the outbox");
    }
    state.counters["files"] = Files;
    state.counters["floor_ms"] = floor;
    state.counters["rss_growth_MB"] = growth;
}
BENCHMARK(ServeOnceThousandChargesFiles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

} // namespace
