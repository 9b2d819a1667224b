// The program under hostile clients: morvane-control runs offscreen on the
// simulated mount with both servers on 127.0.0.1, valid Alpaca and
// Stellarium clients work with it, and a mix of attacks runs alongside for
// the given minutes (hostile_attacks.h). It reports the valid clients' answer
// times, the program's resident memory over time, port losses, and every
// command at the mount that no valid request asked for.
//
//   morvane-hostile-soak [--minutes N] [--seed S]
//
// The program, the simulated mount and the attacks are processes of their
// own, so that none of them holds up the valid clients' clocks. Exits 0 when
// the goals were met: the 99th percentile of valid answers that never wait
// for the mount under 20 ms, of all valid answers under 300 ms, none failed, resident memory within
// 64 MB of the program's before the attacks, no port lost, no command nobody valid asked for, and
// the program alive.
#include "mount/commands.h"
#include "mount/target_entry.h"
#include "remote/stellarium_protocol.h"
#include "soak/hostile_attacks.h"
#include "soak/run_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>

using namespace std::chrono_literals;
using namespace morvane;
using Clock = std::chrono::steady_clock;

namespace {

// An answer the server gives from what it holds (Name) waits for nothing but
// the server itself: this is where an attack would show.
constexpr double kP99ServerGoalMs = 20;
// A position asked for just after a move waits for a new reading, and the
// mount is asked for one at most every 250 ms: a goal for every answer.
constexpr double kP99AllGoalMs = 300;
constexpr qint64 kMemoryGoalKb = 64 * 1024;

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

qint64 residentKb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

double quantile(std::vector<double> values, double q) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(q * double(values.size())))];
}

QByteArray targetCommand(char letter, codec::TargetWords words) {
    return letter + QByteArray::number(words.rightAscension, 16).rightJustified(4, '0').toUpper() +
           ',' + QByteArray::number(words.declination, 16).rightJustified(4, '0').toUpper();
}

// One keep-alive HTTP client, one request at a time.
class HttpClient : public QObject {
public:
    using Answered = std::function<void(int status, const QByteArray& body, double ms)>;

    explicit HttpClient(quint16 port) : m_port(port) {
        connect(&m_socket, &QIODevice::readyRead, this, &HttpClient::read);
        connect(&m_socket, &QAbstractSocket::disconnected, this, [this] {
            if (busy()) {
                finish(0, {});  // the connection ended before the answer
            }
        });
    }
    bool busy() const { return bool(m_answered); }
    void send(const QByteArray& verb, const QByteArray& member, const QByteArray& form,
              Answered answered) {
        if (m_socket.state() != QAbstractSocket::ConnectedState) {
            m_socket.abort();
            m_socket.connectToHost(QHostAddress::LocalHost, m_port);
        }
        m_answered = std::move(answered);
        m_reply.clear();
        m_sent.start();
        const QByteArray path = "/api/v1/telescope/0/" + member;
        m_socket.write(verb == "GET"
                           ? "GET " + path + "?" + form + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
                           : "PUT " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                                 QByteArray::number(form.size()) + "\r\n\r\n" + form);
    }

private:
    void read() {
        m_reply += m_socket.readAll();
        const qsizetype head = m_reply.indexOf("\r\n\r\n");
        const qsizetype field = m_reply.indexOf("Content-Length: ");
        if (head < 0 || field < 0) {
            return;
        }
        const qsizetype length =
            m_reply.mid(field + 16, head - field - 16).split('\r')[0].toLongLong();
        if (m_reply.size() >= head + 4 + length) {
            finish(m_reply.mid(9, 3).toInt(), m_reply.mid(head + 4, length));
        }
    }
    void finish(int status, const QByteArray& body) {
        const double ms = double(m_sent.nsecsElapsed()) / 1e6;
        std::exchange(m_answered, nullptr)(status, body, ms);
    }

    quint16 m_port;
    QTcpSocket m_socket;
    QByteArray m_reply;
    QElapsedTimer m_sent;
    Answered m_answered;
};

class HostileSoak : public QObject {
public:
    HostileSoak(std::chrono::milliseconds length, quint32 seed)
        : m_length(length), m_seed(seed), m_random(seed) {}

    bool start(const QString& self);

private:
    int pick(int from, int to) { return std::uniform_int_distribution<int>(from, to)(m_random); }
    void readMountLog();
    void startValidClients();
    void poll(HttpClient* client, int turn);
    void command();
    void watchPort();
    void stellariumClient(bool sendsGotos);
    void sampleMemory();
    void startAttacks(const QString& self);
    void finish();
    void report();

    std::chrono::milliseconds m_length;
    quint32 m_seed;
    std::mt19937 m_random;
    QTemporaryDir m_folder;
    soak::ServerPorts m_ports;
    QProcess m_mount;
    QProcess m_program;
    QProcess m_attacks;
    QByteArray m_mountLog;
    QByteArray m_programSaid;
    std::vector<std::unique_ptr<HttpClient>> m_clients;
    std::vector<std::unique_ptr<QTcpSocket>> m_stellarium;
    QTimer m_ticks;

    QSet<QByteArray> m_asked;  // commands valid requests asked for
    std::vector<double> m_answerMs;
    std::vector<double> m_serverOnlyMs;  // answers given without the mount
    int m_failedAnswers = 0;
    QStringList m_failures;
    int m_portLosses = 0;
    int m_reopening = 0;
    QMap<QByteArray, int> m_atMount;
    QList<QByteArray> m_unexpected;
    std::vector<qint64> m_positionsPerClient;  // bytes received
    int m_stellariumClosed = 0;
    qint64 m_idleKb = 0;
    QList<QPair<int, qint64>> m_memory;  // seconds since the attacks began, kB
    QElapsedTimer m_sinceAttacks;
    QByteArray m_attackCounts;
    bool m_stopping = false;
};

bool HostileSoak::start(const QString& self) {
    const QString link = m_folder.filePath(QStringLiteral("mount"));
    m_mount.setProgram(QStringLiteral(MORVANE_SIMULATOR));
    m_mount.setArguments(
        {QStringLiteral("--link"), link, QStringLiteral("--rate"), QStringLiteral("360")});
    connect(&m_mount, &QProcess::readyReadStandardOutput, this, &HostileSoak::readMountLog);
    m_mount.start();
    if (!m_mount.waitForStarted(5000)) {
        std::fprintf(stderr, "the simulated mount did not start\n");
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(link) && waited.elapsed() < 5000) {
        m_mount.waitForReadyRead(50);
    }
    m_ports = {freePort(), freePort(), freePort()};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MORVANE_COM1"), link);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_program.setProcessEnvironment(environment);
    m_program.setProgram(QStringLiteral(MORVANE_CONTROL));
    m_program.setArguments({QStringLiteral("--alpaca-port=%1").arg(m_ports.alpaca),
                            QStringLiteral("--alpaca-discovery-port=%1").arg(m_ports.discovery),
                            QStringLiteral("--stellarium-port=%1").arg(m_ports.stellarium)});
    connect(&m_program, &QProcess::readyReadStandardError, this,
            [this] { m_programSaid += m_program.readAllStandardError(); });
    m_program.start();
    waited.restart();
    while (!m_programSaid.contains("Stellarium server listening") && waited.elapsed() < 10000) {
        m_program.waitForReadyRead(50);
        m_programSaid += m_program.readAllStandardError();
    }
    if (!m_programSaid.contains("served at")) {
        std::fprintf(stderr, "morvane-control did not start: %s\n", m_programSaid.constData());
        return false;
    }
    startValidClients();
    // The program's memory with its valid clients, before the attacks.
    QTimer::singleShot(5s, this, [this, self] {
        m_idleKb = residentKb(m_program.processId());
        startAttacks(self);
    });
    return true;
}

void HostileSoak::readMountLog() {
    m_mountLog += m_mount.readAllStandardOutput();
    qsizetype end = 0;
    while ((end = m_mountLog.indexOf('\n')) >= 0) {
        // "<ms> ms  <hex bytes>  <meaning>"; the first line is the device.
        const QList<QByteArray> fields = m_mountLog.left(end).simplified().split(' ');
        m_mountLog.remove(0, end + 1);
        if (fields.size() < 3 || fields[1] != "ms") {
            continue;
        }
        QByteArray bytes;
        for (qsizetype i = 2; i < fields.size() && fields[i].size() == 2; ++i) {
            bytes += QByteArray::fromHex(fields[i]);
        }
        ++m_atMount[bytes.left(1)];
        const bool query =
            bytes == commands::kPositionQuery.data() || bytes == commands::kGotoStatusQuery.data();
        if (!query && !m_asked.contains(bytes)) {
            m_unexpected << bytes;
        }
    }
}

void HostileSoak::startValidClients() {
    m_asked << QByteArray::fromStdString(commands::tracking(true))
            << QByteArray::fromStdString(commands::tracking(false));
    for (const auto& target : soak::kFloodTargets) {
        m_asked << targetCommand('R', *codec::wordsForAngles(target[0], target[1]));
    }
    auto setup = std::make_unique<HttpClient>(m_ports.alpaca);
    setup->send("PUT", "connected", "Connected=true", [](int, const QByteArray&, double) {});
    m_clients.push_back(std::move(setup));
    // Four pollers, each asking every 100 ms on its own phase.
    for (int i = 0; i < 4; ++i) {
        m_clients.push_back(std::make_unique<HttpClient>(m_ports.alpaca));
        HttpClient* client = m_clients.back().get();
        auto* timer = new QTimer(this);
        auto turn = std::make_shared<int>(i);
        connect(timer, &QTimer::timeout, this, [this, client, turn] { poll(client, (*turn)++); });
        QTimer::singleShot(25ms * i, timer, [timer] { timer->start(100); });
    }
    m_clients.push_back(std::make_unique<HttpClient>(m_ports.alpaca));  // commands
    m_clients.push_back(std::make_unique<HttpClient>(m_ports.alpaca));  // the port's watch
    connect(&m_ticks, &QTimer::timeout, this, &HostileSoak::watchPort);
    m_ticks.start(1000);
    QTimer::singleShot(2s, this, &HostileSoak::command);
    for (int i = 0; i < 3; ++i) {
        stellariumClient(i == 0);
    }
    auto* memory = new QTimer(this);
    connect(memory, &QTimer::timeout, this, &HostileSoak::sampleMemory);
    memory->start(5000);
}

void HostileSoak::poll(HttpClient* client, int turn) {
    static const QByteArray members[] = {"rightascension", "declination", "slewing", "name"};
    if (client->busy() || m_stopping) {
        return;
    }
    client->send(
        "GET", members[turn % 4], "ClientID=7&ClientTransactionID=" + QByteArray::number(turn),
        [this, serverOnly = turn % 4 == 3](int status, const QByteArray& body, double ms) {
            m_answerMs.push_back(ms);
            if (serverOnly) {
                m_serverOnlyMs.push_back(ms);
            }
            if (status != 200 || !body.contains("\"ErrorNumber\":0,")) {
                ++m_failedAnswers;
                if (m_failures.size() < 5) {
                    m_failures << QString::number(status) + ' ' + QString::fromUtf8(body.left(200));
                }
            }
        });
}

// Every few seconds a slew, a sync or tracking switched, as a planetarium
// would: the commands they cause are the ones asked for.
void HostileSoak::command() {
    if (m_stopping) {
        return;
    }
    HttpClient* client = m_clients[5].get();
    if (!client->busy()) {
        const double hours = pick(0, 23999) / 1000.0;
        const double degrees = pick(-80000, 80000) / 1000.0;
        const auto words = *codec::wordsForAngles(hours, degrees);
        const QByteArray form = "RightAscension=" + QByteArray::number(hours, 'g', 10) +
                                "&Declination=" + QByteArray::number(degrees, 'g', 10);
        const int kind = pick(0, 9);
        const auto counted = [this](int status, const QByteArray& body, double ms) {
            m_answerMs.push_back(ms);
            if (status != 200 || !body.contains("\"ErrorNumber\":0,")) {
                ++m_failedAnswers;
                m_failures << QString::number(status) + ' ' + QString::fromUtf8(body.left(200));
            }
        };
        if (kind < 6) {
            m_asked << targetCommand('R', words);
            client->send("PUT", "slewtocoordinatesasync", form, counted);
        } else if (kind < 8) {
            m_asked << targetCommand('S', words);
            client->send("PUT", "synctocoordinates", form, counted);
        } else {
            // Off and at once on again: a slew with tracking off is refused.
            client->send("PUT", "tracking", "Tracking=false",
                         [client, counted](int status, const QByteArray& body, double ms) {
                             counted(status, body, ms);
                             client->send("PUT", "tracking", "Tracking=true", counted);
                         });
        }
    }
    QTimer::singleShot(std::chrono::milliseconds(pick(3000, 8000)), this, &HostileSoak::command);
}

// A port closed by anything but a client is a port lost: counted, and opened
// again so that the soak goes on.
void HostileSoak::watchPort() {
    HttpClient* client = m_clients[6].get();
    if (client->busy() || m_stopping) {
        return;
    }
    client->send("GET", "connected", {}, [this, client](int, const QByteArray& body, double) {
        if (body.contains("\"Value\":false") && !m_stopping) {
            ++m_portLosses;
            client->send("PUT", "connected", "Connected=true",
                         [](int, const QByteArray&, double) {});
        }
    });
}

void HostileSoak::stellariumClient(bool sendsGotos) {
    m_stellarium.push_back(std::make_unique<QTcpSocket>());
    QTcpSocket* socket = m_stellarium.back().get();
    const std::size_t index = m_positionsPerClient.size();
    m_positionsPerClient.push_back(0);
    connect(socket, &QIODevice::readyRead, this,
            [this, socket, index] { m_positionsPerClient[index] += socket->readAll().size(); });
    connect(socket, &QAbstractSocket::disconnected, this, [this] {
        if (!m_stopping) {
            ++m_stellariumClosed;
        }
    });
    socket->connectToHost(QHostAddress::LocalHost, m_ports.stellarium);
    if (sendsGotos) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, socket] {
            QByteArray message(20, '\0');
            const remote::StellariumGoto target{0, quint32(m_random()),
                                                qint32(m_random() % 0x70000000) - 0x38000000};
            qToLittleEndian<quint16>(20, message.data());
            qToLittleEndian<quint32>(target.rightAscension, message.data() + 12);
            qToLittleEndian<qint32>(target.declination, message.data() + 16);
            m_asked << targetCommand('R', remote::wordsForGoto(target));
            socket->write(message);
        });
        timer->start(std::chrono::milliseconds(pick(8000, 15000)));
    }
}

void HostileSoak::sampleMemory() {
    if (m_sinceAttacks.isValid()) {
        m_memory << qMakePair(int(m_sinceAttacks.elapsed() / 1000),
                              residentKb(m_program.processId()));
    }
}

void HostileSoak::startAttacks(const QString& self) {
    m_sinceAttacks.start();
    m_attacks.setProgram(self);
    m_attacks.setArguments({QStringLiteral("--attack"),
                            QStringLiteral("%1,%2,%3")
                                .arg(m_ports.alpaca)
                                .arg(m_ports.discovery)
                                .arg(m_ports.stellarium),
                            QStringLiteral("--seed"), QString::number(m_seed),
                            QStringLiteral("--minutes"),
                            QString::number(double(m_length.count()) / 60000.0)});
    m_attacks.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&m_attacks, &QProcess::finished, this, [this] {
        m_attackCounts = m_attacks.readAllStandardOutput();
        // The valid clients go on a little longer: the program must be well
        // after the last attack too.
        QTimer::singleShot(5s, this, &HostileSoak::finish);
    });
    m_attacks.start();
}

void HostileSoak::finish() {
    m_stopping = true;
    sampleMemory();
    readMountLog();
    report();
}

void HostileSoak::report() {
    QTextStream out(stdout);
    const double p50 = quantile(m_answerMs, 0.5);
    const double p99 = quantile(m_answerMs, 0.99);
    const double p99Server = quantile(m_serverOnlyMs, 0.99);
    const double most =
        m_answerMs.empty() ? 0 : *std::max_element(m_answerMs.begin(), m_answerMs.end());
    qint64 peakKb = m_idleKb;
    for (const auto& [second, kb] : m_memory) {
        peakKb = std::max(peakKb, kb);
    }
    const bool alive = m_program.state() == QProcess::Running;
    out << "Hostile-client soak, seed " << m_seed << ", " << double(m_length.count()) / 60000.0
        << " min of attacks\n\n";
    for (const QByteArray& line : m_attackCounts.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 3) {
            out << "  attack: " << fields[1] << " x" << fields[2] << '\n';
        }
    }
    out << "\nvalid Alpaca answers: " << m_answerMs.size() << ", failed " << m_failedAnswers
        << Qt::fixed << qSetRealNumberPrecision(2) << "; p50 " << p50 << " ms, p99 " << p99
        << " ms, slowest " << most << " ms; of those without the mount (Name, "
        << m_serverOnlyMs.size() << "): p99 " << p99Server << " ms\n";
    for (const QString& failure : m_failures) {
        out << "  failed: " << failure << '\n';
    }
    out << "Stellarium clients: positions received";
    for (const qint64 bytes : m_positionsPerClient) {
        out << ' ' << bytes / qint64(remote::kStellariumPositionLength);
    }
    out << ", closed " << m_stellariumClosed << '\n';
    out << "resident memory: " << m_idleKb << " kB before the attacks, at most " << peakKb
        << " kB (+" << (peakKb - m_idleKb) << " kB); over time (s=kB):";
    const qsizetype stride = std::max<qsizetype>(1, m_memory.size() / 12);
    for (qsizetype i = 0; i < m_memory.size(); i += stride) {
        out << ' ' << m_memory[i].first << '=' << m_memory[i].second;
    }
    out << '\n';
    out << "port losses: " << m_portLosses << '\n';
    out << "commands at the mount:";
    for (auto it = m_atMount.begin(); it != m_atMount.end(); ++it) {
        out << ' ' << it.key() << '=' << it.value();
    }
    out << "; not asked for by a valid request: " << m_unexpected.size() << '\n';
    for (qsizetype i = 0; i < std::min<qsizetype>(5, m_unexpected.size()); ++i) {
        out << "  unexpected: " << m_unexpected[i].toHex(' ') << '\n';
    }
    out << "program alive at the end: " << (alive ? "yes" : "NO") << '\n';
    const QList<QByteArray> said = m_programSaid.trimmed().split('\n');
    out << "the program's last words on standard error (" << said.size() << " lines):\n";
    for (qsizetype i = std::max<qsizetype>(0, said.size() - 5); i < said.size(); ++i) {
        out << "  " << said[i] << '\n';
    }
    const bool met = alive && p99Server < kP99ServerGoalMs && p99 < kP99AllGoalMs &&
                     m_failedAnswers == 0 && peakKb - m_idleKb < kMemoryGoalKb &&
                     m_portLosses == 0 && m_unexpected.isEmpty() && m_stellariumClosed == 0;
    out << (met ? "goals met\n" : "GOALS MISSED\n");
    out.flush();
    m_program.terminate();
    m_program.waitForFinished(5000);
    m_mount.terminate();
    m_mount.waitForFinished(5000);
    QCoreApplication::exit(met ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs morvane-control on the simulated mount with valid and hostile "
                       "clients, and reports."));
    parser.addHelpOption();
    soak::addRunOptions(parser, QStringLiteral("How long the attacks last (default 2)."),
                        QStringLiteral("2"));
    const QCommandLineOption attackOption(QStringLiteral("attack"),
                                          QStringLiteral("(internal) Run the attacks on these "
                                                         "ports: alpaca,discovery,stellarium."),
                                          QStringLiteral("ports"));
    parser.addOption(attackOption);
    parser.process(app);
    const auto run = soak::readRunOptions(parser);
    if (!run) {
        return 2;
    }
    if (parser.isSet(attackOption)) {
        const QStringList ports = parser.value(attackOption).split(QLatin1Char(','));
        if (ports.size() != 3) {
            return 2;
        }
        soak::Attacks attacks(
            {quint16(ports[0].toUInt()), quint16(ports[1].toUInt()), quint16(ports[2].toUInt())},
            run->seed, run->length);
        attacks.start();
        return app.exec();
    }
    HostileSoak soak(run->length, run->seed);
    if (!soak.start(QCoreApplication::applicationFilePath())) {
        return 2;
    }
    return app.exec();
}
