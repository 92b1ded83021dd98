// What the window costs to open: from the launch of a process (offscreen) to the first moment its
// event loop is idle with the window shown, and the process's peak memory then. The time is told
// twice: from the launch, and from the start of main(), which leaves out the loading of the program
// (the same for every kind here, and on a busy machine the larger part). The floor is an
// empty window with one label (fonts loaded), launched the same way; a bare empty window is shown
// beside it. Every launch is a process of its own, and the kinds alternate, so that the machine's
// moods fall on each alike; the figures are the medians.
#include "BenchReplies.h"
#include "app/Application.h"
#include "app/StartupOptions.h"
#include "app/fZelvan.h"
#include "client/Session.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMainWindow>

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr const char* ChildSwitch = "--startup-child";
const char* const Kinds[] = {"client", "label", "empty"};

double MonotonicMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The child: opens its kind of window and, the first time its event loop would wait, writes the
// milliseconds since `launched` and since `entered` main(), and its peak memory, and ends without
// tearing anything down.
int RunChild(const std::string& kind, double launched, double entered, const char* dataFolder, int argc,
             char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const auto report = [launched, entered] {
        const double now = MonotonicMilliseconds();
        std::printf("%.3f %.3f %.3f\n", now - launched, now - entered, PeakMegabytes());
        std::fflush(stdout);
        _exit(0);
    };
    if (kind == "client") {
        // As the program's main() does it.
        TApplication application(argc, argv);
        const QString folder = QString::fromLocal8Bit(dataFolder);
        Session session(StartupOptions{
            QDir(folder).filePath(QStringLiteral("zelvan")),
            {QStringLiteral("--data"),
             folder}}.sessionOptions());
        TfmZelvan window(session);
        window.show();
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                         report);
        return application.exec();
    }
    QApplication application(argc, argv);
    QMainWindow window;
    if (kind == "label")
        window.setCentralWidget(new QLabel(QStringLiteral("Начисления")));
    window.show();
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, report);
    return application.exec();
}

struct Launch {
    double milliseconds = 0;
    double fromMain = 0;
    double megabytes = 0;
};

Launch LaunchChild(const char* kind, const std::string& dataFolder)
{
    int output[2];
    if (pipe(output) != 0)
        std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    const std::string launched = std::to_string(MonotonicMilliseconds());
    std::vector<std::string> arguments{"/proc/self/exe", ChildSwitch, kind, launched, dataFolder};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = -1;
    if (posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv.data(), environ) != 0)
        std::abort();
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    char text[128] = {};
    size_t length = 0;
    for (ssize_t got = 0;
         length + 1 < sizeof text && (got = read(output[0], text + length, sizeof text - 1 - length)) > 0;)
        length += size_t(got);
    close(output[0]);
    int status = 0;
    waitpid(child, &status, 0);
    Launch launch;
    if (std::sscanf(text, "%lf %lf %lf", &launch.milliseconds, &launch.fromMain, &launch.megabytes) != 3)
        std::abort();
    return launch;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void StartUp(benchmark::State& state)
{
    const int runs = int(state.range(0));
    char folderTemplate[] = "/tmp/zelvan-startup-XXXXXX";
    const std::string folder = mkdtemp(folderTemplate);
    std::vector<double> milliseconds[std::size(Kinds)];
    std::vector<double> fromMain[std::size(Kinds)];
    std::vector<double> megabytes[std::size(Kinds)];
    for (auto _ : state) {
        for (int run = 0; run < runs; ++run) {
            for (size_t kind = 0; kind < std::size(Kinds); ++kind) {
                const Launch launch = LaunchChild(Kinds[kind], folder);
                milliseconds[kind].push_back(launch.milliseconds);
                fromMain[kind].push_back(launch.fromMain);
                megabytes[kind].push_back(launch.megabytes);
            }
        }
    }
    QDir(QString::fromStdString(folder)).removeRecursively();
    for (size_t kind = 0; kind < std::size(Kinds); ++kind) {
        state.counters[std::string(Kinds[kind]) + "_ms"] = Median(milliseconds[kind]);
        state.counters[std::string(Kinds[kind]) + "_main_ms"] = Median(fromMain[kind]);
        state.counters[std::string(Kinds[kind]) + "_MB"] = Median(megabytes[kind]);
    }
}
BENCHMARK(StartUp)->Arg(9)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    const double entered = MonotonicMilliseconds();
    if (argc == 5 && std::strcmp(argv[1], ChildSwitch) == 0) {
        int childArgc = 1;
        return RunChild(argv[2], std::atof(argv[3]), entered, argv[4], childArgc, argv);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
