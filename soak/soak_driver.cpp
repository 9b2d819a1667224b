// A long run of the window against the simulated mount: the monitor polling
// once a second throughout, a random click every 0.2 to 2 s, and a fault
// injected into the mount every few seconds (a vanishing mount is replaced by
// a new one on a new pseudo-terminal and the port opened again). Counts what
// it did, and watches the event loop's stalls and the resident memory.
//
//   morvane-soak [--minutes N] [--seed S]
//
// Exits 0 when the event loop never stalled past 200 ms, every message was
// one the window means to show, and the mount never received a malformed
// command (other than the one a vanishing device cut short).
#include "mount/link.h"
#include "simulator/simulated_mount.h"
#include "soak/run_options.h"
#include "ui/form1.h"
#include "ui/prompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <random>

using namespace morvane;
using namespace std::chrono_literals;

namespace {

constexpr std::chrono::milliseconds kStallTick{50};
constexpr qint64 kHangMs = 200;

// Resident memory of this process in kB, from /proc/self/status.
qint64 residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
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

// What the window is meant to say under these faults; anything else is
// reported in full.
QString messageKind(const QString& text) {
    static const std::pair<const char*, const char*> kinds[] = {
        {"was lost", "port lost"},
        {"is not open", "port not open"},
        {"did not report its arrival", "no arrival in time"},
        {"no found", "star not found"},
    };
    for (const auto& [fragment, kind] : kinds) {
        if (text.contains(QLatin1String(fragment))) {
            return QLatin1String(kind);
        }
    }
    return {};
}

class SoakPrompter : public Prompter {
public:
    explicit SoakPrompter(std::mt19937& random) : m_random(random) {}

    void inform(const QString& text) override {
        const QString kind = messageKind(text);
        if (kind.isEmpty()) {
            unexpected << text;
        } else {
            ++byKind[kind];
        }
    }
    void confirm(const QString&, std::function<void(bool ok)> answer) override {
        const bool ok = m_random() % 2 == 0;
        ++(ok ? confirmedOk : cancelled);
        answer(ok);
    }
    int total() const {
        int sum = int(unexpected.size());
        for (int count : byKind) {
            sum += count;
        }
        return sum;
    }

    QMap<QString, int> byKind;
    QStringList unexpected;
    int confirmedOk = 0;
    int cancelled = 0;

private:
    std::mt19937& m_random;
};

enum class Injected { Silent, Garbage, Split, Paced, NeverArrives, VanishCommands, VanishBytes };

const QString kInjectedNames[] = {"silent",
                                  "garbage",
                                  "split replies",
                                  "paced 9600 baud",
                                  "never arrives",
                                  "vanish after N commands",
                                  "vanish mid-command"};

class Soak : public QObject {
public:
    Soak(std::chrono::milliseconds length, quint32 seed)
        : m_length(length), m_seed(seed), m_random(seed), m_prompter(m_random) {}

    bool start();
    int exitCode() const;

private:
    template <class T = QWidget>
    T* control(const char* name) const {
        return m_window->findChild<T*>(QString::fromLatin1(name));
    }
    void click(const char* name) { control<QAbstractButton>(name)->click(); }
    int pick(int from, int to) { return std::uniform_int_distribution<int>(from, to)(m_random); }
    std::chrono::milliseconds between(int fromMs, int toMs) {
        return std::chrono::milliseconds(pick(fromMs, toMs));
    }

    bool startMount();
    void openPort();
    void keepMonitorOn();
    void clickAtRandom();
    void scheduleClick();
    void injectFault();
    void endFault();
    void scheduleFault();
    void onVanished();
    void onCommand(const sim::LogEntry& entry);
    void finish();
    void report();

    std::chrono::milliseconds m_length;
    quint32 m_seed;
    std::mt19937 m_random;
    SoakPrompter m_prompter;
    QTemporaryDir m_folder;
    QStringList m_knownNames;
    std::unique_ptr<sim::SimulatedMount> m_sim;
    std::unique_ptr<Form1> m_window;

    QElapsedTimer m_running;
    QTimer m_stallTimer;
    QElapsedTimer m_sinceTick;
    qint64 m_worstStallMs = 0;
    int m_stallsOverLimit = 0;

    QTimer m_clickTimer;
    QTimer m_faultTimer;
    bool m_faultActive = false;
    bool m_vanishArmed = false;
    bool m_cutExpected = false;
    bool m_restartPending = false;
    int m_commandsSinceStart = 0;
    int m_bytesSinceStart = 0;

    QMap<QString, int> m_operations;
    QMap<QString, int> m_faults;
    int m_restarts = 0;
    int m_vanishings = 0;
    int m_commandsReceived = 0;
    int m_cutCommands = 0;
    QStringList m_malformed;
    qint64 m_rssStartKb = -1;
    qint64 m_rssMinuteKb = -1;
    qint64 m_rssEndKb = -1;
};

bool Soak::start() {
    // No star.dat in the working folder: the shipped catalogue answers.
    QDir::setCurrent(m_folder.path());
    QFile catalogue(QStringLiteral(MORVANE_SHIPPED_CATALOGUE));
    if (!catalogue.open(QIODevice::ReadOnly)) {
        QTextStream(stderr) << "Cannot read " << catalogue.fileName() << "\n";
        return false;
    }
    for (const QByteArray& line : catalogue.readAll().split('\n')) {
        if (line.size() >= 20) {
            m_knownNames << QString::fromLatin1(line.first(20)).trimmed();
        }
    }
    if (!startMount()) {
        return false;
    }
    m_window = std::make_unique<Form1>(&m_prompter);
    m_window->setInstalledCatalogue(catalogue.fileName());
    m_window->show();
    openPort();
    if (!m_window->link().isOpen()) {
        QTextStream(stderr) << "COM OPEN failed: " << m_prompter.unexpected.join('\n') << "\n";
        return false;
    }
    keepMonitorOn();

    m_stallTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_stallTimer, &QTimer::timeout, this, [this] {
        const qint64 late = m_sinceTick.restart() - kStallTick.count();
        m_worstStallMs = std::max(m_worstStallMs, late);
        m_stallsOverLimit += late > kHangMs ? 1 : 0;
    });
    m_sinceTick.start();
    m_stallTimer.start(kStallTick);

    m_clickTimer.setSingleShot(true);
    connect(&m_clickTimer, &QTimer::timeout, this, &Soak::clickAtRandom);
    scheduleClick();
    m_faultTimer.setSingleShot(true);
    connect(&m_faultTimer, &QTimer::timeout, this, [this] {
        if (m_faultActive) {
            endFault();
        } else {
            injectFault();
        }
    });
    scheduleFault();

    m_running.start();
    m_rssStartKb = residentKb();
    QTimer::singleShot(1min, this, [this] { m_rssMinuteKb = residentKb(); });
    QTimer::singleShot(m_length, this, &Soak::finish);
    QTextStream(stdout) << "Soak: " << m_length.count() / 1000 << " s, seed " << m_seed << Qt::endl;
    return true;
}

bool Soak::startMount() {
    m_sim = std::make_unique<sim::SimulatedMount>();
    QString error;
    if (!m_sim->start(&error)) {
        QTextStream(stderr) << "The simulated mount did not start: " << error << "\n";
        return false;
    }
    m_sim->setSlewRate(20);  // gotos end within the soak's seconds, not minutes
    m_commandsSinceStart = 0;
    m_bytesSinceStart = 0;
    connect(m_sim.get(), &sim::SimulatedMount::commandReceived, this, &Soak::onCommand);
    connect(m_sim.get(), &sim::SimulatedMount::bytesReceived, this,
            [this](const QByteArray& bytes) { m_bytesSinceStart += int(bytes.size()); });
    connect(m_sim.get(), &sim::SimulatedMount::vanished, this, &Soak::onVanished);
    qputenv("MORVANE_COM1", m_sim->devicePath().toLocal8Bit());
    return true;
}

void Soak::openPort() {
    if (control<QAbstractButton>("Option1")->isChecked() == false) {
        click("Option1");
    }
    if (control<QAbstractButton>("Command1")->isEnabled()) {
        click("Command1");
    }
}

void Soak::keepMonitorOn() {
    // GOTO and Sync switch it off around their exchange; a lost port
    // switches it off for good: on again once nothing is under way.
    if (m_window->link().isOpen() && !control<QTimer>("Timer1")->isActive() &&
        !m_window->link().isBusy()) {
        click("Command4");
    }
}

void Soak::scheduleClick() {
    m_clickTimer.start(between(200, 2000));
}

void Soak::clickAtRandom() {
    keepMonitorOn();
    const auto number = [this](int from, int to) {
        return QStringLiteral("%1").arg(pick(from, to), 2, 10, QLatin1Char('0'));
    };
    const auto typePosition = [&](const char* const boxes[6]) {
        control<QLineEdit>(boxes[0])->setText(number(0, 23));
        control<QLineEdit>(boxes[1])->setText(number(0, 59));
        control<QLineEdit>(boxes[2])->setText(number(0, 59));
        control<QLineEdit>(boxes[3])->setText(pick(0, 1) ? QStringLiteral("+")
                                                         : QStringLiteral("-"));
        control<QLineEdit>(boxes[4])->setText(number(0, 89));
        control<QLineEdit>(boxes[5])->setText(number(0, 59));
    };
    static const char* const gotoBoxes[] = {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6"};
    static const char* const syncBoxes[] = {"Text8",  "Text9",  "Text10",
                                            "Text11", "Text12", "Text13"};
    switch (pick(0, 5)) {
        case 0:
            typePosition(gotoBoxes);
            click("Command3");
            ++m_operations["GOTO"];
            break;
        case 1:
            typePosition(syncBoxes);
            click("Command9");
            ++m_operations["Sync"];
            break;
        case 2: {
            const bool known = pick(0, 1) == 0;
            control<QLineEdit>("Text7")->setText(
                known ? m_knownNames.at(pick(0, int(m_knownNames.size()) - 1))
                      : QStringLiteral("NOSTAR%1").arg(pick(0, 99999)));
            click("Command5");
            ++m_operations[known ? "Search (known)" : "Search (unknown)"];
            break;
        }
        case 3:
            click("Command6");
            ++m_operations["GO"];
            break;
        case 4:
            click(control<QAbstractButton>("Option4")->isChecked() ? "Option5" : "Option4");
            ++m_operations["tracking"];
            break;
        case 5:
            click("Command7");
            ++m_operations["Date/Time Set"];
            break;
    }
    scheduleClick();
}

void Soak::scheduleFault() {
    m_faultTimer.start(between(2000, 5000));
}

void Soak::injectFault() {
    if (m_restartPending || !m_sim->isRunning()) {
        scheduleFault();
        return;
    }
    // The log was read as it grew; keep the mount's memory flat.
    m_sim->clearHistory();
    const auto fault = static_cast<Injected>(pick(0, 6));
    ++m_faults[kInjectedNames[int(fault)]];
    m_faultActive = true;
    switch (fault) {
        case Injected::Silent:
            m_sim->setFault(sim::Fault::Silent);
            break;
        case Injected::Garbage:
            m_sim->setFault(sim::Fault::Garbage);
            break;
        case Injected::Split:
            m_sim->setFault(sim::Fault::Split);
            break;
        case Injected::Paced:
            m_sim->setFault(sim::Fault::Paced);
            break;
        case Injected::NeverArrives:
            m_sim->setFault(sim::Fault::NeverArrives);
            break;
        case Injected::VanishCommands:
            m_vanishArmed = true;
            m_sim->setVanishAfterCommands(m_commandsSinceStart + pick(1, 4));
            break;
        case Injected::VanishBytes:
            m_vanishArmed = true;
            m_cutExpected = true;
            m_sim->setVanishAfterBytes(m_bytesSinceStart + pick(1, 40));
            break;
    }
    m_faultTimer.start(between(2000, 5000));
}

void Soak::endFault() {
    m_faultActive = false;
    if (m_sim->isRunning()) {
        m_sim->setFault(sim::Fault::None);
        // A vanishing that has not come about yet stays armed: the monitor's
        // polls bring it soon enough.
    }
    scheduleFault();
}

void Soak::onCommand(const sim::LogEntry& entry) {
    ++m_commandsReceived;
    if (entry.kind == sim::CommandKind::Command) {
        ++m_commandsSinceStart;
        return;
    }
    if (entry.kind == sim::CommandKind::Partial && m_cutExpected) {
        ++m_cutCommands;  // the device vanished mid-command, as it was told to
        return;
    }
    m_malformed << entry.toLine();
}

void Soak::onVanished() {
    ++m_vanishings;
    m_vanishArmed = false;
    m_cutExpected = false;
    m_restartPending = true;
    // Not from inside the mount's own call; the user plugs it back in a
    // moment later.
    QTimer::singleShot(between(500, 2000), this, [this] {
        m_restartPending = false;
        if (!startMount()) {
            finish();
            return;
        }
        ++m_restarts;
        openPort();
        keepMonitorOn();
    });
}

void Soak::finish() {
    m_clickTimer.stop();
    m_faultTimer.stop();
    m_stallTimer.stop();
    m_rssEndKb = residentKb();
    report();
    m_window.reset();
    m_sim.reset();
    QCoreApplication::exit(exitCode());
}

int Soak::exitCode() const {
    // Each lost port is reported once (the last may not have been yet).
    const bool lossesOnce = m_prompter.byKind.value(QStringLiteral("port lost")) <= m_vanishings;
    const bool clean = m_stallsOverLimit == 0 && m_prompter.unexpected.isEmpty() &&
                       m_malformed.isEmpty() && lossesOnce;
    return clean ? 0 : 1;
}

void Soak::report() {
    QTextStream out(stdout);
    const auto total = [](const QMap<QString, int>& counts) {
        int sum = 0;
        for (int count : counts) {
            sum += count;
        }
        return sum;
    };
    out << "ran " << m_running.elapsed() / 1000 << " s, seed " << m_seed << "\n";
    out << "operations: " << total(m_operations) << "\n";
    for (auto it = m_operations.cbegin(); it != m_operations.cend(); ++it) {
        out << "  " << it.key() << ": " << it.value() << "\n";
    }
    out << "  Sync answered OK / Cancel: " << m_prompter.confirmedOk << " / "
        << m_prompter.cancelled << "\n";
    out << "faults injected: " << total(m_faults) << "\n";
    for (auto it = m_faults.cbegin(); it != m_faults.cend(); ++it) {
        out << "  " << it.key() << ": " << it.value() << "\n";
    }
    out << "mount vanished: " << m_vanishings << ", restarted (COM OPEN again): " << m_restarts
        << "\n";
    out << "commands received by the mount: " << m_commandsReceived << "\n";
    out << "  cut short by a vanishing device: " << m_cutCommands << "\n";
    out << "  malformed otherwise: " << m_malformed.size() << "\n";
    for (const QString& line : m_malformed) {
        out << "    " << line << "\n";
    }
    out << "messages shown: " << m_prompter.total() << "\n";
    for (auto it = m_prompter.byKind.cbegin(); it != m_prompter.byKind.cend(); ++it) {
        out << "  " << it.key() << ": " << it.value() << "\n";
    }
    out << "  unexpected: " << m_prompter.unexpected.size() << "\n";
    for (const QString& text : m_prompter.unexpected) {
        out << "    " << text << "\n";
    }
    out << "worst event-loop stall: " << m_worstStallMs << " ms\n";
    out << "stalls over " << kHangMs << " ms: " << m_stallsOverLimit << "\n";
    out << "resident memory (VmRSS): start " << m_rssStartKb << " kB, after 1 min " << m_rssMinuteKb
        << " kB, end " << m_rssEndKb << " kB\n";
    out << (exitCode() == 0 ? "soak passed" : "soak FAILED") << Qt::endl;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs the window against the simulated mount under random clicks "
                       "and faults, and reports."));
    parser.addHelpOption();
    soak::addRunOptions(parser, QStringLiteral("How long to run (default 10)."),
                        QStringLiteral("10"));
    parser.process(app);
    const auto run = soak::readRunOptions(parser);
    if (!run) {
        return 2;
    }
    Soak soak(run->length, run->seed);
    if (!soak.start()) {
        return 2;
    }
    return app.exec();
}
