// Processor time of the window's process while it only waits: the position
// monitor polling once a second, and a Goto East watch asking once a second
// for an arrival that never comes. The simulated mount runs as a separate
// process (morvane-mount-sim), so its own processor time is not counted; the
// window runs offscreen in this process, which does nothing else meanwhile.
//
// MORVANE_BENCH_IDLE_SECONDS (default 60) sets each run's length,
// MORVANE_BENCH_IDLE_RUNS (default 3) how many runs per case.
#include "bench/support/event_wait.h"
#include "bench/support/processor_time.h"
#include "bench/support/report.h"
#include "tests/support/recording_prompter.h"
#include "ui/form1.h"

#include <sys/resource.h>
#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <functional>

using namespace std::chrono_literals;
namespace bench = morvane::bench;

namespace {

// The simulator logs one line per command received, "<time> ms  <hex bytes>
// <meaning>": how many of them are the query.
int queriesIn(const QString& log, char query) {
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray marker = " ms  " + QByteArray(1, query).toHex().toUpper() + "  ";
    return static_cast<int>(file.readAll().count(marker));
}

struct Case {
    const char* name;
    QStringList simulatorOptions;
    const char* button;  // clicked once the port is open
    char query;          // the command the waiting sends once a second
};

struct Run {
    double percent = -1;
    double simulatorPercent = -1;
    int queries = 0;
};

Run runCase(const Case& c, std::chrono::seconds duration) {
    Run run;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("mount"));
    const QString log = dir.filePath(QStringLiteral("mount.log"));
    QProcess simulator;
    simulator.setStandardOutputFile(log);
    simulator.setStandardErrorFile(dir.filePath(QStringLiteral("mount.err")));
    simulator.start(QStringLiteral(MORVANE_SIMULATOR),
                    QStringList{"--link", link} + c.simulatorOptions);
    if (!simulator.waitForStarted(5000) ||
        !bench::runUntil([&] { return QFileInfo(link).isSymLink(); }, 5s, 5ms)) {
        std::fprintf(stderr, "%s: the simulator did not start\n", c.name);
        return run;
    }
    qputenv("MORVANE_COM1", QFile::encodeName(link));

    {
        morvane::testing::RecordingPrompter prompter;
        morvane::Form1 window(&prompter);
        window.show();
        const auto click = [&](const char* name) {
            QTest::mouseClick(window.findChild<QAbstractButton*>(QString::fromLatin1(name)),
                              Qt::LeftButton);
        };
        click("Command1");
        click(c.button);
        // Settled: the first queries are out, the first paints done.
        bench::runFor(1500ms);

        const int queriesBefore = queriesIn(log, c.query);
        const double simulatorBefore = bench::processorSecondsOf(simulator.processId());
        const auto wallBefore = std::chrono::steady_clock::now();
        const double cpuBefore = bench::processorSeconds();
        bench::runFor(duration);
        const double cpu = bench::processorSeconds() - cpuBefore;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        const double simulatorCpu =
            bench::processorSecondsOf(simulator.processId()) - simulatorBefore;
        run.queries = queriesIn(log, c.query) - queriesBefore;

        if (!prompter.messages.isEmpty()) {
            std::fprintf(stderr, "%s: %s\n", c.name, qPrintable(prompter.messages.join('\n')));
            return run;
        }
        // Waiting as it should: one query a second all along (and, for the
        // monitor, a position in the readout).
        const QString readout = window.findChild<QLabel*>(QStringLiteral("Label10"))->text();
        if (run.queries < duration.count() - 2 || (c.query == 'E' && !readout.contains('/'))) {
            std::fprintf(stderr, "%s: %d queries in %lld s, readout \"%s\"\n", c.name, run.queries,
                         static_cast<long long>(duration.count()), qPrintable(readout));
            return run;
        }
        run.percent = 100.0 * cpu / wall;
        run.simulatorPercent = 100.0 * simulatorCpu / wall;
    }

    simulator.terminate();
    simulator.waitForFinished(5000);

    return run;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const auto duration =
        std::chrono::seconds(bench::environmentNumber("MORVANE_BENCH_IDLE_SECONDS", 60));
    const int runs = bench::environmentNumber("MORVANE_BENCH_IDLE_RUNS", 3);

    const Case cases[] = {
        {"3a. CPU while the monitor polls", {}, "Command4", 'E'},
        {"3b. CPU while Goto East waits", {"--fault", "never-arrives"}, "Command6", 'L'},
    };
    bool ok = true;
    for (const Case& c : cases) {
        std::vector<double> percents;
        std::vector<double> simulator;
        for (int i = 0; i < runs && ok; ++i) {
            const Run run = runCase(c, duration);
            if (run.percent < 0) {
                ok = false;
                break;
            }
            percents.push_back(run.percent);
            simulator.push_back(run.simulatorPercent);
            if (run.queries > 0) {
                bench::note("%s, run %d: %d queries (%c) in the %lld s measured", c.name, i + 1,
                            run.queries, c.query, static_cast<long long>(duration.count()));
            }
        }
        if (!ok) {
            break;
        }
        const std::string name =
            std::string(c.name) + " " + std::to_string(duration.count()) + " s";
        bench::reportFigure(name, bench::spreadOf(percents), "%", 0.5, "< 0.5 % of a core");
        const bench::Spread sim = bench::spreadOf(simulator);
        bench::note("%s: the simulator process itself took %s %% (not counted)", c.name,
                    bench::number(sim.median).c_str());
    }
    return ok ? 0 : 1;
}
