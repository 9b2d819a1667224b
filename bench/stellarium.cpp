// The Stellarium server under load, with the window's readout on:
//
//  1. Traffic and processor time: 30 clients connected (in a child process,
//     this same program started with --clients) against none. The simulated
//     mount runs as a separate process too; its log gives the bytes and the
//     position queries ("E") it heard a second. This process runs only the
//     window (offscreen) and the server, so its processor time is theirs.
//  2. Latency: from a goto message written to the kernel by a client to the
//     first byte of the GOTO command heard by the simulated mount on a
//     thread of its own (bench/support/simulator_thread.h).
//
// MORVANE_BENCH_IDLE_SECONDS (default 60) and MORVANE_BENCH_IDLE_RUNS
// (default 3) set the length and number of the processor-time runs,
// MORVANE_BENCH_SAMPLES (default 100) the latency samples.
#include "bench/support/event_wait.h"
#include "bench/support/processor_time.h"
#include "bench/support/report.h"
#include "bench/support/simulator_thread.h"
#include "operations/mount_session.h"
#include "remote/stellarium_server.h"
#include "tests/support/recording_prompter.h"
#include "ui/form1.h"

#include <sys/resource.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace bench = morvane::bench;

namespace {

constexpr int kClients = 30;

struct Heard {
    qint64 bytes = 0;
    qint64 positionQueries = 0;
};

// The simulator logs "<time> ms  <hex bytes>  <meaning>" per command.
Heard heardIn(const QString& log) {
    Heard heard;
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly)) {
        return heard;
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype from = line.indexOf(" ms  ");
        if (from < 0) {
            continue;
        }
        QByteArray hex = line.mid(from + 5);
        hex.truncate(hex.indexOf("  ") < 0 ? hex.size() : hex.indexOf("  "));
        const QByteArray bytes = QByteArray::fromHex(hex.replace(' ', ""));
        heard.bytes += bytes.size();
        heard.positionQueries += bytes == "E" ? 1 : 0;
    }
    return heard;
}

QByteArray gotoMessage(quint32 ra, qint32 dec) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(20) << quint16(0) << qint64(0) << ra << dec;
    return bytes;
}

// The child: `count` clients for `seconds`, then the position messages each
// received, one line.
int runClients(quint16 port, int count, int seconds) {
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    std::vector<qint64> received(clients.size());
    for (std::size_t i = 0; i < clients.size(); ++i) {
        QObject::connect(clients[i].get(), &QTcpSocket::readyRead, clients[i].get(),
                         [&, i] { received[i] += clients[i]->readAll().size(); });
    }
    bench::runFor(std::chrono::seconds(seconds));
    for (const qint64 bytes : received) {
        std::printf("%lld ", static_cast<long long>(bytes / 24));
    }
    std::printf("\n");
    return 0;
}

struct Run {
    double percent = -1;
    double bytesPerSecond = 0;
    double queriesPerSecond = 0;
    QByteArray messagesPerClient;
};

Run runCase(int clients, std::chrono::seconds duration) {
    Run run;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("mount"));
    const QString log = dir.filePath(QStringLiteral("mount.log"));
    QProcess simulator;
    simulator.setStandardOutputFile(log);
    simulator.setStandardErrorFile(dir.filePath(QStringLiteral("mount.err")));
    simulator.start(QStringLiteral(MORVANE_SIMULATOR), QStringList{"--link", link});
    if (!simulator.waitForStarted(5000) ||
        !bench::runUntil([&] { return QFileInfo(link).isSymLink(); }, 5s, 5ms)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return run;
    }
    qputenv("MORVANE_COM1", QFile::encodeName(link));
    {
        morvane::testing::RecordingPrompter prompter;
        morvane::Form1 window(&prompter);
        window.show();
        morvane::remote::StellariumServer server(window.session());
        if (server.listen(QHostAddress::LocalHost, 0)) {
            std::fprintf(stderr, "the server cannot listen\n");
            return run;
        }
        const auto click = [&](const char* name) {
            QTest::mouseClick(window.findChild<QAbstractButton*>(QString::fromLatin1(name)),
                              Qt::LeftButton);
        };
        click("Command1");
        click("Command4");  // the readout, once a second
        QProcess children;
        if (clients > 0) {
            const int lifetime = int(duration.count()) + 4;
            children.start(QCoreApplication::applicationFilePath(),
                           {"--clients", QString::number(server.port()), QString::number(clients),
                            QString::number(lifetime)});
            if (!bench::runUntil([&] { return server.clientCount() == clients; }, 5s)) {
                std::fprintf(stderr, "%d clients did not connect\n", clients);
                return run;
            }
        }
        // Settled: the first readings are out, the first paints done.
        bench::runFor(1500ms);

        const Heard before = heardIn(log);
        const auto wallBefore = Clock::now();
        const double cpuBefore = bench::processorSeconds();
        bench::runFor(duration);
        const double cpu = bench::processorSeconds() - cpuBefore;
        const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
        const Heard after = heardIn(log);
        if (!prompter.messages.isEmpty()) {
            std::fprintf(stderr, "the window said: %s\n", qPrintable(prompter.messages.join('\n')));
            return run;
        }
        if (clients > 0) {
            if (!bench::runUntil([&] { return children.state() == QProcess::NotRunning; }, 10s)) {
                std::fprintf(stderr, "the clients did not finish\n");
                return run;
            }
            run.messagesPerClient = children.readAllStandardOutput().trimmed();
        }
        run.percent = 100.0 * cpu / wall;
        run.bytesPerSecond = double(after.bytes - before.bytes) / wall;
        run.queriesPerSecond = double(after.positionQueries - before.positionQueries) / wall;
    }
    simulator.terminate();
    simulator.waitForFinished(5000);
    return run;
}

bool traffic(std::chrono::seconds duration, int runs) {
    std::vector<double> percents[2], bytes[2], queries[2];
    for (int i = 0; i < runs; ++i) {
        for (const int c : {0, 1}) {
            const Run run = runCase(c == 0 ? 0 : kClients, duration);
            if (run.percent < 0) {
                return false;
            }
            percents[c].push_back(run.percent);
            bytes[c].push_back(run.bytesPerSecond);
            queries[c].push_back(run.queriesPerSecond);
            if (c == 1) {
                bench::note("stellarium, run %d: position messages per client in %lld s: %s", i + 1,
                            static_cast<long long>(duration.count()) + 4,
                            run.messagesPerClient.constData());
            }
        }
    }
    const std::string length = " (" + std::to_string(duration.count()) + " s)";
    // Counts in a window of whole seconds may differ by one whatever the
    // phase: one count over the window is the granularity of the goal.
    const double oneCount = 1.0 / static_cast<double>(duration.count());
    const double noneQueries = bench::spreadOf(queries[0]).median;
    const double noneBytes = bench::spreadOf(bytes[0]).median;
    bench::reportFigure("8a. Stellarium, 30 clients: CPU" + length, bench::spreadOf(percents[1]),
                        "%", 1.0, "< 1 % of a core");
    bench::reportFigure("8b. Stellarium, 30 clients: \"E\" a second", bench::spreadOf(queries[1]),
                        "/s", noneQueries + oneCount,
                        "<= " + bench::number(noneQueries) + " + 1 count (none)");
    bench::reportFigure("8c. Stellarium, 30 clients: bytes a second", bench::spreadOf(bytes[1]),
                        "B/s", noneBytes + oneCount,
                        "<= " + bench::number(noneBytes) + " + 1 count (none)");
    bench::note("stellarium: with no client, the same window took %s %% of a core",
                bench::number(bench::spreadOf(percents[0]).median).c_str());
    return true;
}

bool gotoToFirstByte(int samples, int warmUp) {
    bench::SimulatorThread simulator;
    const QString device = simulator.start();
    if (device.isEmpty()) {
        return false;
    }
    simulator.run([&] { simulator.mount().setSlewRate(1000.0); });
    qputenv("MORVANE_COM1", device.toLocal8Bit());
    morvane::testing::RecordingPrompter prompter;
    morvane::Form1 window(&prompter);
    window.show();
    QTest::mouseClick(window.findChild<QAbstractButton*>(QStringLiteral("Command1")),
                      Qt::LeftButton);
    morvane::remote::StellariumServer server(window.session());
    QTcpSocket client;
    if (server.listen(QHostAddress::LocalHost, 0) ||
        (client.connectToHost(QHostAddress::LocalHost, server.port()),
         !client.waitForConnected())) {
        std::fprintf(stderr, "goto: no connection to the server\n");
        return false;
    }
    bench::runFor(100ms);
    std::mt19937 random(10001);
    std::vector<double> times;
    int overtaken = 0;  // an arrival query was heard first
    for (int i = 0; static_cast<int>(times.size()) < samples && i < 3 * (samples + warmUp); ++i) {
        const quint32 ra = std::uniform_int_distribution<quint32>()(random);
        QEventLoop loop;
        simulator.rearm(
            [&loop] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
        QTimer::singleShot(2s, &loop, &QEventLoop::quit);
        const auto written = Clock::now();
        client.write(gotoMessage(ra, 0x10000000));
        client.flush();  // in the kernel now
        loop.exec();
        const auto first = simulator.firstHeard();
        if (first == Clock::time_point{}) {
            std::fprintf(stderr, "goto: no byte reached the simulator\n");
            return false;
        }
        if (!bench::runUntil([&] { return simulator.received().contains(','); }, 2s)) {
            std::fprintf(stderr, "goto: the simulator heard \"%s\"\n",
                         simulator.received().constData());
            return false;
        }
        if (!simulator.received().startsWith('R')) {
            ++overtaken;
        } else if (i >= warmUp) {
            times.push_back(bench::millisecondsBetween(written, first));
        }
        bench::runFor(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(10, 30)(random)));
    }
    if (!prompter.messages.isEmpty() || static_cast<int>(times.size()) < samples) {
        std::fprintf(stderr, "goto: %s\n", qPrintable(prompter.messages.join('\n')));
        return false;
    }
    bench::reportFigure("8d. Stellarium goto to first byte", bench::spreadOf(times), "ms", 2.0,
                        "< 2 ms");
    bench::note("stellarium goto: %d samples left out, an arrival query went first", overtaken);
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (argc == 5 && QByteArray(argv[1]) == "--clients") {
        QCoreApplication app(argc, argv);
        return runClients(quint16(std::atoi(argv[2])), std::atoi(argv[3]), std::atoi(argv[4]));
    }
    QApplication app(argc, argv);
    const auto duration =
        std::chrono::seconds(bench::environmentNumber("MORVANE_BENCH_IDLE_SECONDS", 60));
    const int runs = bench::environmentNumber("MORVANE_BENCH_IDLE_RUNS", 3);
    const int samples = bench::environmentNumber("MORVANE_BENCH_SAMPLES", 100);
    const bool ok = gotoToFirstByte(samples, 5) && traffic(duration, runs);
    return ok ? 0 : 1;
}
