// The Alpaca server under load. The real morvane-control runs as its own
// process (offscreen, --alpaca on a free port) with port 1 on a simulated
// mount that runs on a thread of this process and stamps every byte it hears
// (bench/support/simulator_thread.h). The clients are plain keep-alive TCP
// sockets in this process, so the program's processor time is its own.
//
//  6. 20 clients each asking RightAscension 10 times a second: answer time
//     (median and 99th percentile), position queries ("E") a second at the
//     mount, the program's processor share. Figures are taken per 10 s
//     window of the run.
//  7. SlewToCoordinatesAsync: from the request's write to the first byte of
//     the goto at the mount.
//  8. The program's instructions an answer, under callgrind: the work that
//     the processor share measures, without the host's share of it.
//
// MORVANE_BENCH_ALPACA_SECONDS (default 60) sets the polling run's length,
// MORVANE_BENCH_SAMPLES (default 100) the slew samples,
// MORVANE_BENCH_ALPACA_COUNTED (default 2000) the answers counted under
// callgrind.
#include "bench/support/event_wait.h"
#include "bench/support/processor_time.h"
#include "bench/support/report.h"
#include "bench/support/simulator_thread.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace bench = morvane::bench;

namespace {

constexpr int kClients = 20;
constexpr auto kPollInterval = 100ms;
constexpr auto kWindow = 10s;

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// One keep-alive HTTP client: a request at a time, the reply complete once
// its Content-Length has arrived.
class Client : public QObject {
public:
    explicit Client(quint16 port) {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        connect(&m_socket, &QTcpSocket::readyRead, this, &Client::read);
    }
    bool busy() const { return m_sentAt != Clock::time_point{}; }
    void send(const QByteArray& verb, const QByteArray& member, const QByteArray& form = {}) {
        m_sentAt = Clock::now();
        m_reply.clear();
        const QByteArray path = "/api/v1/telescope/0/" + member;
        m_socket.write(verb == "GET"
                           ? "GET " + path + "?" + form + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
                           : "PUT " + path +
                                 " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                                 "application/x-www-form-urlencoded\r\nContent-Length: " +
                                 QByteArray::number(form.size()) + "\r\n\r\n" + form);
    }
    std::function<void(double milliseconds, const QByteArray& body)> answered;

private:
    void read() {
        m_reply += m_socket.readAll();
        const qsizetype head = m_reply.indexOf("\r\n\r\n");
        const qsizetype field = m_reply.toLower().indexOf("content-length:");
        if (head < 0 || field < 0) {
            return;
        }
        const qsizetype length =
            m_reply.mid(field + 15, head - field - 15).split('\r')[0].trimmed().toLongLong();
        if (m_reply.size() < head + 4 + length) {
            return;
        }
        const double ms = bench::millisecondsBetween(m_sentAt, Clock::now());
        m_sentAt = {};
        if (answered) {
            answered(ms, m_reply.mid(head + 4, length));
        }
    }

    QTcpSocket m_socket;
    QByteArray m_reply;
    Clock::time_point m_sentAt{};
};

struct Program {
    QProcess process;
    quint16 port = 0;

    // `under`: a program that runs morvane-control, and its arguments.
    bool start(const QString& device, QStringList under = {}) {
        port = freePort();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("MORVANE_COM1"), device);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        QStringList arguments = {QStringLiteral("--alpaca"),
                                 QStringLiteral("--alpaca-port=%1").arg(port),
                                 QStringLiteral("--alpaca-discovery-port=%1").arg(freePort())};
        const bool wrapped = !under.isEmpty();
        if (!wrapped) {
            process.start(QStringLiteral(MORVANE_CONTROL), arguments);
        } else {
            process.start(under.takeFirst(),
                          under + QStringList{QStringLiteral(MORVANE_CONTROL)} + arguments);
        }
        QByteArray said;
        const bool up = bench::runUntil(
            [&] {
                said += process.readAllStandardError();
                return said.contains("served at");
            },
            wrapped ? 120s : 10s, 5ms);
        if (!up) {
            std::fprintf(stderr, "morvane-control did not start: %s\n", said.constData());
        }
        return up;
    }
    void stop() {
        process.terminate();
        process.waitForFinished(30000);
    }
    ~Program() { stop(); }
};

// Sends one request and runs the event loop until it is answered.
QByteArray ask(Client& client, const QByteArray& verb, const QByteArray& member,
               const QByteArray& form = {}) {
    QByteArray body;
    client.answered = [&](double, const QByteArray& b) { body = b; };
    client.send(verb, member, form);
    bench::runUntil([&] { return !client.busy(); }, 5s);
    client.answered = nullptr;
    return body;
}

// Connected = true, as a client would open the mount's port.
bool connectMount(const Program& program) {
    Client setup(program.port);
    if (!ask(setup, "PUT", "connected", "Connected=true").contains("\"ErrorNumber\":0")) {
        std::fprintf(stderr, "cannot connect\n");
        return false;
    }
    return true;
}

// The 20 polling clients, each telling `answered` of its answers.
std::vector<std::unique_ptr<Client>> pollingClients(const Program& program,
                                                    const decltype(Client::answered)& answered) {
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<Client>(program.port));
        clients.back()->answered = answered;
    }
    return clients;
}

int positionQueries(bench::SimulatorThread& simulator) {
    int count = 0;
    simulator.run([&] {
        for (const auto& entry : simulator.mount().log()) {
            count += entry.bytes == "E";
        }
    });
    return count;
}

bool polling(bench::SimulatorThread& simulator, Program& program, std::chrono::seconds duration) {
    std::vector<double> windowTimes;
    std::vector<double> medians;
    std::vector<double> p99s;
    std::vector<double> queriesPerSecond;
    std::vector<double> cpuPercent;
    int skipped = 0;
    int failed = 0;
    const auto clients = pollingClients(program, [&](double ms, const QByteArray& body) {
        windowTimes.push_back(ms);
        failed += !body.contains("\"ErrorNumber\":0");
    });
    // Each client on its own phase of the 100 ms.
    std::vector<std::unique_ptr<QTimer>> timers;
    for (int i = 0; i < kClients; ++i) {
        auto timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(kPollInterval);
        Client* client = clients[static_cast<std::size_t>(i)].get();
        QObject::connect(timer.get(), &QTimer::timeout, [client, &skipped] {
            if (client->busy()) {
                ++skipped;  // the last answer has not come yet
                return;
            }
            client->send("GET", "rightascension", "ClientID=1&ClientTransactionID=1");
        });
        QTimer::singleShot(kPollInterval * i / kClients, timer.get(), qOverload<>(&QTimer::start));
        timers.push_back(std::move(timer));
    }
    bench::runFor(2s);  // settled: every client has been answered
    windowTimes.clear();
    const int windows = static_cast<int>(std::max<long long>(1, duration / kWindow));
    for (int w = 0; w < windows; ++w) {
        const int queriesBefore = positionQueries(simulator);
        const double cpuBefore = bench::processorSecondsOf(program.process.processId());
        const auto wallBefore = Clock::now();
        bench::runFor(std::chrono::duration_cast<std::chrono::milliseconds>(duration / windows));
        const double wall = bench::millisecondsBetween(wallBefore, Clock::now()) / 1000.0;
        cpuPercent.push_back(
            100.0 * (bench::processorSecondsOf(program.process.processId()) - cpuBefore) / wall);
        queriesPerSecond.push_back((positionQueries(simulator) - queriesBefore) / wall);
        std::sort(windowTimes.begin(), windowTimes.end());
        medians.push_back(bench::quantile(windowTimes, 0.5));
        p99s.push_back(bench::quantile(windowTimes, 0.99));
        bench::note("poll window %d: %zu answers, median %s ms, p99 %s ms, max %s ms", w + 1,
                    windowTimes.size(), bench::number(medians.back()).c_str(),
                    bench::number(p99s.back()).c_str(), bench::number(windowTimes.back()).c_str());
        windowTimes.clear();
    }
    timers.clear();
    if (failed > 0) {
        std::fprintf(stderr, "poll: %d answers carried an error\n", failed);
        return false;
    }
    // The wire's own rule, over the whole run.
    long long closest = -1;
    simulator.run([&] {
        std::chrono::milliseconds last{-1};
        for (const auto& entry : simulator.mount().log()) {
            if (entry.bytes == "E") {
                if (last.count() >= 0 && (closest < 0 || (entry.time - last).count() < closest)) {
                    closest = (entry.time - last).count();
                }
                last = entry.time;
            }
        }
    });
    const std::string span = std::to_string(duration.count()) + " s";
    bench::reportFigure("7a. Alpaca RightAscension answer, median", bench::spreadOf(medians), "ms",
                        0, "record");
    bench::reportFigure("7b. Alpaca RightAscension answer, p99", bench::spreadOf(p99s), "ms", 15,
                        "<= 15 ms");
    bench::reportFigure("7c. Alpaca: \"E\" a second at the mount",
                        bench::spreadOf(queriesPerSecond), "/s", 4, "<= 4 /s");
    bench::reportFigure("7d. Alpaca: CPU serving 20 x 10/s, " + span, bench::spreadOf(cpuPercent),
                        "%", 2, "< 2 % of a core");
    bench::note(
        "polling: %d clients x %lld/s; %d ticks skipped while an answer was due; closest "
        "two \"E\" %lld ms apart",
        kClients, static_cast<long long>(1s / kPollInterval), skipped, closest);
    return true;
}

bool slewToFirstByte(bench::SimulatorThread& simulator, Program& program, int samples) {
    Client client(program.port);
    std::vector<double> times;
    const QByteArray targets[] = {"RightAscension=5.5&Declination=20",
                                  "RightAscension=6.25&Declination=-10.5"};
    for (int i = 0; static_cast<int>(times.size()) < samples && i < samples * 2; ++i) {
        QEventLoop loop;
        simulator.rearm(
            [&loop] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
        QTimer::singleShot(2s, &loop, &QEventLoop::quit);
        QByteArray body;
        client.answered = [&](double, const QByteArray& b) { body = b; };
        const auto sent = Clock::now();
        client.send("PUT", "slewtocoordinatesasync", targets[i % 2]);
        loop.exec();
        const auto first = simulator.firstHeard();
        bench::runUntil([&] { return !client.busy(); }, 2s);
        if (!body.contains("\"ErrorNumber\":0")) {
            std::fprintf(stderr, "slew: %s\n", body.constData());
            return false;
        }
        // A status query of the arrival watch may come first: not a sample.
        if (first != Clock::time_point{} && simulator.received().startsWith('R')) {
            times.push_back(bench::millisecondsBetween(sent, first));
        }
        bench::runFor(std::chrono::milliseconds(10 + (i * 7) % 20));
    }
    bench::reportFigure("7e. Alpaca SlewToCoordinatesAsync to first byte", bench::spreadOf(times),
                        "ms", 2, "< 2 ms");
    return true;
}

// Asks callgrind, running the program, to count or stop counting, or to
// write what it counted.
bool tellCallgrind(const Program& program, const QString& what) {
    QProcess control;
    control.start(QStringLiteral("callgrind_control"),
                  {what, QString::number(program.process.processId())});
    if (!control.waitForFinished(30000) || control.exitCode() != 0) {
        std::fprintf(stderr, "callgrind_control %s failed: %s\n", qPrintable(what),
                     control.readAll().constData());
        return false;
    }
    return true;
}

// The program under callgrind, counting only while it serves `answers`
// RightAscension requests from 20 clients at 40 a second (it runs some
// fifty times slower there); the mount's readings in that time are counted
// too. Unlike the processor share, which a virtual machine that does not
// account the time its host takes charges to whatever ran, the count stays
// the same from run to run.
bool instructionsPerAnswer(const QString& device, int answers) {
    if (QStandardPaths::findExecutable(QStringLiteral("valgrind")).isEmpty()) {
        std::fprintf(stderr, "valgrind is missing: apt-get install valgrind\n");
        return false;
    }
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("callgrind.out"));
    Program program;
    if (!program.start(device, {QStringLiteral("valgrind"), QStringLiteral("--tool=callgrind"),
                                QStringLiteral("--instr-atstart=no"),
                                QStringLiteral("--callgrind-out-file=") + out})) {
        return false;
    }
    if (!connectMount(program)) {
        return false;
    }
    int answered = 0;
    int failed = 0;
    const auto clients = pollingClients(program, [&](double, const QByteArray& body) {
        ++answered;
        failed += !body.contains("\"ErrorNumber\":0");
    });
    bench::runFor(1s);  // every client connected
    if (!tellCallgrind(program, QStringLiteral("--instr=on"))) {
        return false;
    }
    constexpr auto kCountedInterval = 500ms;
    int sent = 0;
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    pace.setInterval(kCountedInterval / kClients);
    QObject::connect(&pace, &QTimer::timeout, [&] {
        Client& client = *clients[static_cast<std::size_t>(sent % kClients)];
        if (sent < answers && !client.busy()) {
            client.send("GET", "rightascension", "ClientID=1&ClientTransactionID=1");
            ++sent;
        }
    });
    pace.start();
    const bool served = bench::runUntil([&] { return answered >= answers; },
                                        kCountedInterval * answers / kClients * 4 + 30s, 10ms);
    pace.stop();
    if (!tellCallgrind(program, QStringLiteral("--instr=off")) ||
        !tellCallgrind(program, QStringLiteral("--dump"))) {
        return false;
    }
    if (!served || failed > 0) {
        std::fprintf(stderr, "callgrind: %d of %d answered, %d with an error\n", answered, answers,
                     failed);
        return false;
    }
    QFile dump(out + QStringLiteral(".1"));
    bench::runUntil([&] { return dump.exists(); }, 30s, 10ms);
    double total = -1;
    if (dump.open(QIODevice::ReadOnly)) {
        while (!dump.atEnd()) {
            const QByteArray line = dump.readLine().trimmed();
            if (line.startsWith("totals:")) {
                total = line.mid(7).trimmed().toDouble();
            }
        }
    }
    if (total <= 0) {
        std::fprintf(stderr, "callgrind: no count in %s\n", qPrintable(dump.fileName()));
        return false;
    }
    bench::reportFigure("7f. Alpaca: instructions an answer (callgrind)",
                        bench::spreadOf({total / answers}), "", 0, "record");
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const auto duration =
        std::chrono::seconds(bench::environmentNumber("MORVANE_BENCH_ALPACA_SECONDS", 60));
    const int samples = bench::environmentNumber("MORVANE_BENCH_SAMPLES", 100);
    const int counted = bench::environmentNumber("MORVANE_BENCH_ALPACA_COUNTED", 2000);

    bench::SimulatorThread simulator;
    const QString device = simulator.start();
    Program program;
    if (device.isEmpty() || !program.start(device)) {
        return 1;
    }
    simulator.run([&] { simulator.mount().setSlewRate(360); });
    if (!connectMount(program)) {
        return 1;
    }
    const bool ok =
        polling(simulator, program, duration) && slewToFirstByte(simulator, program, samples);
    program.stop();  // the port is free for the counted run
    return ok && instructionsPerAnswer(device, counted) ? 0 : 1;
}
