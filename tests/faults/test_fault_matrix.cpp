// Every fault the line, the port or the catalogue can throw, against every
// operation it can hit, end to end: the window on a real serial port to the
// simulated mount. For each pair the window keeps answering clicks, shows at
// most one message and that message names the fault, ends in the state it
// defines for the case, and the mount never receives a malformed command.
#include "operations/clock.h"
#include "tests/support/in_folder.h"
#include "tests/support/window_on_simulator.h"
#include "ui/lamp.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>
#include <random>

using namespace morvane;
using namespace std::chrono_literals;
using morvane::testing::InFolder;
using morvane::testing::RecordingPrompter;
using morvane::testing::WindowOnSimulator;

namespace {

enum class Fault {
    Silent,
    Garbage,
    Split,
    Paced,
    NeverArrives,
    VanishAfterCommands,
    VanishMidCommand,
    PortBusy,
    PortNoPermission,
    PortMissing,
    CatalogueMissing,
    CatalogueDirectory,
    CatalogueNoPermission,
    CatalogueBinary,
    CatalogueLongLine,
};

enum class Operation {
    Goto,
    Sync,
    Monitor,
    Search,
    GoEast,
    Tracking,
    ClockSet,
    SlowGoto,
    Slew,
    Open
};

enum class LampColour { Start, Red, Green, Amber };

const QColor kLampColours[] = {{0, 192, 0}, {255, 0, 0}, {0, 255, 0}, {255, 191, 0}};

// The position the simulated mount reports, and how the readout shows it.
constexpr quint16 kRaWord = 0x34AB;
constexpr quint16 kDecWord = 0x12CE;
const char* const kPosition = "04:56:15 / +26d27'";
// Where GOTO and Sync put the mount (it slews at once in these rows).
const char* const kGotoTarget = "05:34:32 / -05d23'";
const char* const kSyncTarget = "18:30:00 / +45d00'";
// Junk decodes as zero, as any reply field without hex digits does.
const char* const kZero = "00:00:00 / +00d00'";
const char* const kNoReply = "no reply";
// The readout as the window starts.
const char* const kInitialReadout = "00:00:00 / +00d00'";
// Written into the readout before the operation, to see whether it changed.
const char* const kUntouched = "-";

const char* const kLost = "was lost";
const char* const kNoArrival = "did not report its arrival";
const char* const kNoFile =
    "Could not read the star catalogue|star.dat (No such file or directory)";
const char* const kIsDirectory = "Could not read the star catalogue|star.dat (Is a directory)";
const char* const kNoAccess = "Could not read the star catalogue|star.dat (Permission denied)";
const char* const kNotFound = "ERIYY               no found";
const char* const kInUse = "in use by another program";
const char* const kDenied = "permission denied";
const char* const kNoDevice = "there is no such device";

// One fault against one operation, and what the window must show afterwards.
struct Row {
    Fault fault;
    Operation op;
    int cut;              // vanishing faults: after this many commands, or bytes
    int whole;            // commands of the operation that arrive whole; -1: all
    const char* message;  // fragments of the one message ('|' between); nullptr: none
    LampColour lamp;
    const char* readout;  // Label10 afterwards; nullptr: the operation does not read
    bool openAfter;
    bool monitorAfter;
};

using enum Fault;
using enum Operation;
using enum LampColour;

// clang-format off
const Row kRows[] = {
    // fault              op        cut whole message     lamp   readout     open   monitor
    {Silent,              Goto,     0,  -1, nullptr,    Start, kNoReply,   true,  true},
    {Silent,              Sync,     0,  -1, nullptr,    Start, kNoReply,   true,  true},
    {Silent,              Monitor,  0,  -1, nullptr,    Start, kNoReply,   true,  true},
    {Silent,              GoEast,   0,  -1, kNoArrival, Amber, nullptr,    true,  false},
    {Silent,              Tracking, 0,  -1, nullptr,    Start, nullptr,    true,  false},
    {Silent,              ClockSet, 0,  -1, nullptr,    Start, nullptr,    true,  false},
    {Silent,              SlowGoto, 0,  -1, nullptr,    Start, nullptr,    true,  false},
    {Silent,              Slew,     0,  -1, nullptr,    Start, nullptr,    true,  false},

    {Garbage,             Goto,     0,  -1, nullptr,    Start, kZero,      true,  true},
    {Garbage,             Sync,     0,  -1, nullptr,    Start, kZero,      true,  true},
    {Garbage,             Monitor,  0,  -1, nullptr,    Start, kZero,      true,  true},
    {Garbage,             GoEast,   0,  -1, kNoArrival, Amber, nullptr,    true,  false},
    {Garbage,             Tracking, 0,  -1, nullptr,    Start, nullptr,    true,  false},
    {Garbage,             ClockSet, 0,  -1, nullptr,    Start, nullptr,    true,  false},
    {Garbage,             SlowGoto, 0,  -1, nullptr,    Start, nullptr,    true,  false},
    {Garbage,             Slew,     0,  -1, nullptr,    Start, nullptr,    true,  false},

    {Split,               Goto,     0,  -1, nullptr,    Start, kGotoTarget, true, true},
    {Split,               Sync,     0,  -1, nullptr,    Start, kSyncTarget, true, true},
    {Split,               Monitor,  0,  -1, nullptr,    Start, kPosition,  true,  true},
    {Split,               GoEast,   0,  -1, nullptr,    Green, nullptr,    true,  false},
    {Split,               Tracking, 0,  -1, nullptr,    Start, nullptr,    true,  false},
    {Split,               ClockSet, 0,  -1, nullptr,    Start, nullptr,    true,  false},
    {Split,               SlowGoto, 0,  -1, nullptr,    Start, nullptr,    true,  false},
    {Split,               Slew,     0,  -1, nullptr,    Start, nullptr,    true,  false},

    {Paced,               Goto,     0,  -1, nullptr,    Start, kGotoTarget, true, true},
    {Paced,               Sync,     0,  -1, nullptr,    Start, kSyncTarget, true, true},
    {Paced,               Monitor,  0,  -1, nullptr,    Start, kPosition,  true,  true},
    {Paced,               GoEast,   0,  -1, nullptr,    Green, nullptr,    true,  false},
    {Paced,               Tracking, 0,  -1, nullptr,    Start, nullptr,    true,  false},
    {Paced,               ClockSet, 0,  -1, nullptr,    Start, nullptr,    true,  false},
    {Paced,               SlowGoto, 0,  -1, nullptr,    Start, nullptr,    true,  false},
    {Paced,               Slew,     0,  -1, nullptr,    Start, nullptr,    true,  false},

    {NeverArrives,        GoEast,   0,  -1, kNoArrival, Amber, nullptr,    true,  false},

    // GOTO and Sync are queued behind a position reading; that reading is
    // the command the device vanishes on.
    {VanishAfterCommands, Goto,     1,  0,  kLost,      Start, kUntouched, false, false},
    {VanishAfterCommands, Sync,     1,  0,  kLost,      Start, kUntouched, false, false},
    {VanishAfterCommands, Monitor,  2,  0,  kLost,      Start, kPosition,  false, false},
    {VanishAfterCommands, GoEast,   2,  1,  kLost,      Red,   nullptr,    false, false},
    {VanishAfterCommands, Tracking, 1,  1,  kLost,      Start, nullptr,    false, false},
    {VanishAfterCommands, ClockSet, 1,  1,  kLost,      Start, nullptr,    false, false},
    {VanishAfterCommands, SlowGoto, 1,  1,  kLost,      Start, nullptr,    false, false},
    {VanishAfterCommands, Slew,     2,  2,  kLost,      Start, nullptr,    false, false},

    // The cut lands inside a command: "E" + "R3B7", "B0000", "T", ...
    {VanishMidCommand,    Goto,     5,  0,  kLost,      Start, kPosition,  false, false},
    {VanishMidCommand,    Sync,     5,  0,  kLost,      Start, kPosition,  false, false},
    {VanishMidCommand,    GoEast,   5,  0,  kLost,      Red,   nullptr,    false, false},
    {VanishMidCommand,    Tracking, 1,  0,  kLost,      Start, nullptr,    false, false},
    {VanishMidCommand,    ClockSet, 4,  0,  kLost,      Start, nullptr,    false, false},
    {VanishMidCommand,    SlowGoto, 12, 1,  kLost,      Start, nullptr,    false, false},
    {VanishMidCommand,    Slew,     20, 2,  kLost,      Start, nullptr,    false, false},

    {CatalogueMissing,    Search,   0,  -1, kNoFile,    Start, nullptr,    true,  false},
    {CatalogueDirectory,  Search,   0,  -1, kIsDirectory, Start, nullptr,  true,  false},
    {CatalogueNoPermission, Search, 0,  -1, kNoAccess,  Start, nullptr,    true,  false},
    {CatalogueBinary,     Search,   0,  -1, kNotFound,  Start, nullptr,    true,  false},
    {CatalogueLongLine,   Search,   0,  -1, nullptr,    Start, nullptr,    true,  false},

    {PortBusy,            Open,     0,  -1, kInUse,     Start, nullptr,    false, false},
    {PortNoPermission,    Open,     0,  -1, kDenied,    Start, nullptr,    false, false},
    {PortMissing,         Open,     0,  -1, kNoDevice,  Start, nullptr,    false, false},
};
// clang-format on

// Names for the row tags and the summary, in the order of the enums.
const char* const kFaultNames[] = {
    "silent",
    "garbage",
    "split replies",
    "paced 9600 baud",
    "never arrives",
    "vanishes after N commands",
    "vanishes mid-command",
    "port busy",
    "permission denied",
    "device missing",
    "star.dat missing",
    "star.dat a directory",
    "star.dat unreadable",
    "star.dat binary",
    "star.dat one 10 MB line",
};
const char* const kOperationNames[] = {
    "GOTO",          "Sync",      "Real",      "Search",   "GO", "tracking OFF/ON",
    "Date/Time Set", "Slow Goto", "Slew rate", "COM OPEN",
};
static_assert(std::size(kFaultNames) == std::size_t(CatalogueLongLine) + 1);
static_assert(std::size(kOperationNames) == std::size_t(Open) + 1);

// The exact commands each operation must put on the line, polls left out.
QList<QByteArray> commandsOf(Operation op) {
    switch (op) {
        case Goto:
            return {"R3B79,FC2C"};
        case Sync:
            return {"SC555,2000"};
        case GoEast:
            return {"B0000,0000"};
        case Tracking:
            return {QByteArray::fromHex("5400"), QByteArray::fromHex("5402")};
        case ClockSet:
            return {QByteArray::fromHex("48150509030518090001")};
        case SlowGoto:
            return {QByteArray::fromHex("500410173B78FC00"),
                    QByteArray::fromHex("50041117FC71C700")};
        case Slew:
            return {
                QByteArray::fromHex("5002102401000000"), QByteArray::fromHex("5002102501000000"),
                QByteArray::fromHex("5002112401000000"), QByteArray::fromHex("5002112501000000")};
        case Monitor:
        case Search:
        case Open:
            return {};
    }
    return {};
}

bool isPoll(const QByteArray& command) {
    return command == "E" || command == "L";
}

// A line that matches the key "ERIYY" and fills the boxes, padded to 10 MB.
constexpr qsizetype kLongLineBytes = 10 * 1024 * 1024;
const char* const kLongLineRecord =
    "ERIYY               long line                  03 16 35  +00 21";
const QStringList kLongLineBoxes{"03", "16", "35", "+", "00", "21"};
const QStringList kInitialBoxes{"00", "00", "00", "+", "00", "00"};
const char* const kGotoBoxes[] = {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6"};
const char* const kSyncBoxes[] = {"Text8", "Text9", "Text10", "Text11", "Text12", "Text13"};

class FixedClock : public operations::Clock {
public:
    QDateTime now() const override { return QDateTime(QDate(2024, 3, 5), QTime(21, 5, 9)); }
};

// A prompter that also says when it is spoken to, so a late second message
// can be waited for.
class SignallingPrompter : public QObject, public RecordingPrompter {
    Q_OBJECT
public:
    void inform(const QString& text) override {
        RecordingPrompter::inform(text);
        emit informed();
    }
signals:
    void informed();
};

// Measures how late a 20 ms timer fires: the longest the event loop stalled.
class StallMeter {
public:
    StallMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_worst = std::max(m_worst, m_since.restart() - kTick.count());
        });
        m_since.start();
        m_timer.start(kTick);
    }
    qint64 worstMs() const { return m_worst; }

private:
    static constexpr std::chrono::milliseconds kTick{20};
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_worst = 0;
};

// Another program holding the device open: this test program itself, started
// with --hold-port (see main()).
struct HeldPort {
    QProcess process;
    void start(const QString& device) {
        process.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--hold-port"), device});
    }
    ~HeldPort() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

bool runningAsRoot() {
    return ::geteuid() == 0;
}

constexpr int kClickLimitMs = 200;
constexpr int kSettleLimitMs = 6000;
// Long enough for a second message to show up: several monitor ticks and a
// whole answer limit.
constexpr int kQuietMs = 350;
constexpr int kMonitorIntervalMs = 100;

}  // namespace

class TestFaultMatrix : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void cleanupTestCase();

    void faultAgainstOperation_data();
    void faultAgainstOperation();

private:
    void skipRow(const QString& reason);

    struct SummaryLine {
        QString fault;
        QString operation;
        QString verdict;
        qint64 worstStallMs;  // the event loop's longest stall in the row; -1: not measured
    };
    QString m_skipped;
    qint64 m_worstStall = -1;
    QList<SummaryLine> m_summary;
};

void TestFaultMatrix::skipRow(const QString& reason) {
    m_skipped = reason;
}

void TestFaultMatrix::cleanup() {
    QString verdict =
        QTest::currentTestFailed() ? QStringLiteral("FAILED") : QStringLiteral("passed");
    if (!m_skipped.isEmpty()) {
        verdict = QStringLiteral("skipped: ") + m_skipped;
    }
    const QStringList names = QString::fromLatin1(QTest::currentDataTag()).split(" x ");
    m_summary << SummaryLine{names.value(0), names.value(1), verdict, m_worstStall};
    m_skipped.clear();
    m_worstStall = -1;
}

void TestFaultMatrix::cleanupTestCase() {
    const auto line = [](const QString& fault, const QString& op, const QString& stall,
                         const QString& verdict) {
        qInfo().noquote() << QStringLiteral("%1 %2 %3 %4")
                                 .arg(fault, -26)
                                 .arg(op, -16)
                                 .arg(stall, 6)
                                 .arg(verdict);
    };
    line("fault", "operation", "stall", "result");
    int passed = 0;
    for (const SummaryLine& row : m_summary) {
        line(row.fault, row.operation,
             row.worstStallMs < 0 ? QStringLiteral("-")
                                  : QStringLiteral("%1ms").arg(row.worstStallMs),
             row.verdict);
        passed += row.verdict == QStringLiteral("passed");
    }
    qInfo().noquote() << QStringLiteral("%1 rows, %2 passed").arg(m_summary.size()).arg(passed);
}

void TestFaultMatrix::faultAgainstOperation_data() {
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(std::size(kRows)); ++i) {
        const QString tag = QStringLiteral("%1 x %2").arg(kFaultNames[int(kRows[i].fault)],
                                                          kOperationNames[int(kRows[i].op)]);
        QTest::newRow(qPrintable(tag)) << i;
    }
}

void TestFaultMatrix::faultAgainstOperation() {
    QFETCH(int, row);
    const Row& r = kRows[row];
    const bool catalogueRow = r.op == Search;
    const bool monitorRow = r.op == Goto || r.op == Sync || r.op == Monitor;

    if ((r.fault == PortNoPermission || r.fault == CatalogueNoPermission) && runningAsRoot()) {
        skipRow(QStringLiteral("root reads and opens whatever the permission bits say"));
        QSKIP("Running as root: permission bits do not keep root out, so this cannot be made.");
    }

    std::optional<InFolder> folder;
    if (catalogueRow) {
        folder.emplace();
    }
    // The window is built with this prompter in place of the harness's own,
    // so every message reaches the spy below; it outlives the window.
    SignallingPrompter prompter;
    WindowOnSimulator w;
    w.sim = std::make_unique<sim::SimulatedMount>();
    QString error;
    QVERIFY2(w.sim->start(&error), qPrintable(error));
    const QString device = w.sim->devicePath();
    qputenv("MORVANE_COM1", device.toLocal8Bit());
    w.window = std::make_unique<Form1>(&prompter);
    if (r.op != Open) {
        w.click("Command1");
        QVERIFY2(w.window->link().isOpen(), qPrintable(prompter.messages.join('\n')));
    }

    LinkLimits limits;
    limits.drain = 1000ms;
    limits.countedReply = 500ms;
    limits.answer = 300ms;
    limits.arrivalWatch = 1500ms;
    w.window->link().setLimits(limits);
    w.control<QTimer>("Timer1")->setInterval(kMonitorIntervalMs);
    const FixedClock clock;
    w.window->setClock(&clock);
    w.window->setInstalledCatalogue(QString());
    if (r.op == Goto || r.op == Sync) {
        w.sim->setSlewRate(1e6);
    }
    if (r.op == GoEast) {
        w.sim->setPosition(0, 0);  // already east: the first answered query says so
    } else {
        w.sim->setPosition(kRaWord, kDecWord);
    }
    const QStringList gotoEntry{"05", "34", "32", "-", "05", "23"};
    const QStringList syncEntry{"18", "30", "00", "+", "45", "00"};
    if (r.op == Goto || r.op == SlowGoto) {
        for (int i = 0; i < 6; ++i) {
            w.type(kGotoBoxes[i], gotoEntry[i]);
        }
    }
    if (r.op == Sync) {
        for (int i = 0; i < 6; ++i) {
            w.type(kSyncBoxes[i], syncEntry[i]);
        }
    }
    if (monitorRow) {
        w.control<QLabel>("Label10")->setText(kUntouched);
    }

    // The fault.
    HeldPort holder;
    switch (r.fault) {
        case Silent:
            w.sim->setFault(sim::Fault::Silent);
            break;
        case Garbage:
            w.sim->setFault(sim::Fault::Garbage);
            break;
        case Split:
            w.sim->setFault(sim::Fault::Split);
            break;
        case Paced:
            w.sim->setFault(sim::Fault::Paced);
            break;
        case NeverArrives:
            w.sim->setFault(sim::Fault::NeverArrives);
            break;
        case VanishAfterCommands:
            w.sim->setVanishAfterCommands(r.cut);
            break;
        case VanishMidCommand:
            w.sim->setVanishAfterBytes(r.cut);
            break;
        case PortBusy: {
            // Another program holds the device open, as a terminal program
            // or a second copy of this one would.
            holder.start(device);
            QByteArray said;
            QTRY_VERIFY_WITH_TIMEOUT(
                (said += holder.process.readAllStandardOutput()).contains("holding") ||
                    holder.process.state() == QProcess::NotRunning,
                5000);
            QVERIFY2(said.contains("holding"), holder.process.readAllStandardError().constData());
            break;
        }
        case PortNoPermission:
            QVERIFY(QFile::setPermissions(device, {}));
            break;
        case PortMissing:
            qputenv("MORVANE_COM1", "/dev/morvane-no-such-device");
            break;
        case CatalogueMissing:
            break;
        case CatalogueDirectory:
            QVERIFY(QDir().mkdir(folder->path("star.dat")));
            break;
        case CatalogueNoPermission:
        case CatalogueBinary:
        case CatalogueLongLine: {
            QFile file(folder->path("star.dat"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (r.fault == CatalogueBinary) {
                std::mt19937 random(9600);
                QByteArray junk(64 * 1024, '\0');
                for (char& c : junk) {
                    c = char(random() & 0xFF);
                }
                file.write(junk);
            } else if (r.fault == CatalogueLongLine) {
                QByteArray line(kLongLineRecord);
                line.append(QByteArray(kLongLineBytes - line.size(), 'x'));
                file.write(line);  // and no line end
            } else {
                file.write(kLongLineRecord);
            }
            file.close();
            if (r.fault == CatalogueNoPermission) {
                QVERIFY(file.setPermissions({}));
            }
            break;
        }
    }
    const QString expectedDevice =
        r.fault == PortMissing ? QStringLiteral("/dev/morvane-no-such-device") : device;

    // The operation, with the event loop watched from here on.
    StallMeter stalls;
    QElapsedTimer sinceClick;
    sinceClick.start();
    switch (r.op) {
        case Goto:
        case Sync:
            // The observer watches the readout: the monitor runs and a
            // reading is under way when the button is clicked.
            w.click("Command4");
            w.window->Timer1_Timer();
            w.click(r.op == Goto ? "Command3" : "Command9");
            break;
        case Monitor:
            w.click("Command4");
            break;
        case Search:
            w.click("Command5");
            break;
        case GoEast:
            w.click("Command6");
            break;
        case Tracking:
            w.click("Option5");
            w.click("Option4");
            break;
        case ClockSet:
            w.click("Command7");
            break;
        case SlowGoto:
            w.click("Command10");
            break;
        case Slew:
            w.click("Command8");
            break;
        case Open:
            w.click("Command1");
            break;
    }

    // The window answers at once while the fault is under way.
    qint64 answeredAfter = -1;
    QTimer::singleShot(0, [&] { answeredAfter = sinceClick.elapsed(); });
    QTRY_VERIFY_WITH_TIMEOUT(answeredAfter >= 0, kClickLimitMs);
    QVERIFY2(answeredAfter < kClickLimitMs, qPrintable(QString::number(answeredAfter)));
    w.click("Option2");
    QVERIFY(w.control<QRadioButton>("Option2")->isChecked());
    w.click("Option1");
    QVERIFY(w.control<QRadioButton>("Option1")->isChecked());

    const QList<QByteArray> expected = commandsOf(r.op);
    const int wholeCount = r.whole < 0 ? int(expected.size()) : r.whole;
    const auto commandsSent = [&] {
        QList<QByteArray> sent;
        for (const auto& entry : w.sim->log()) {
            if (entry.kind == sim::CommandKind::Command && !isPoll(entry.bytes)) {
                sent << entry.bytes;
            }
        }
        return sent;
    };
    const auto lampColour = [&] { return w.control<Lamp>("Shape1")->fillColor(); };
    const auto monitorOn = [&] { return w.control<QTimer>("Timer1")->isActive(); };
    const int messageCount = r.message ? 1 : 0;

    // Settled: everything the row expects has come about.
    QTRY_VERIFY_WITH_TIMEOUT(
        prompter.messages.size() >= messageCount && lampColour() == kLampColours[int(r.lamp)] &&
            w.window->link().isOpen() == r.openAfter && monitorOn() == r.monitorAfter &&
            (!r.readout || w.text("Label10") == r.readout) && commandsSent().size() >= wholeCount,
        kSettleLimitMs);

    // And stays so: no second message comes late.
    QSignalSpy later(&prompter, &SignallingPrompter::informed);
    QVERIFY2(!later.wait(kQuietMs), qPrintable(prompter.messages.join('\n')));

    // Messages: at most one, naming the fault (and the device, for the line).
    QVERIFY2(prompter.messages.size() == messageCount, qPrintable(prompter.messages.join('\n')));
    if (r.message) {
        const QString message = prompter.messages[0];
        for (const QString& part : QString::fromUtf8(r.message).split('|')) {
            QVERIFY2(message.contains(part), qPrintable(message));
        }
        if (r.fault == VanishAfterCommands || r.fault == VanishMidCommand || r.op == Open) {
            QVERIFY2(message.contains(expectedDevice), qPrintable(message));
        }
    }

    // The state the window defines for the case.
    QCOMPARE(lampColour(), kLampColours[int(r.lamp)]);
    QCOMPARE(w.window->link().isOpen(), r.openAfter);
    QCOMPARE(w.control<QWidget>("Command1")->isEnabled(), !r.openAfter);
    QCOMPARE(w.control<QWidget>("Command2")->isEnabled(), r.openAfter);
    QCOMPARE(monitorOn(), r.monitorAfter);
    QCOMPARE(w.text("Command4"), r.monitorAfter ? QString("Stop") : QString("Real"));
    if (r.readout) {
        QCOMPARE(w.text("Label10"), QString(r.readout));
    } else {
        QCOMPARE(w.text("Label10"), QString(kInitialReadout));  // never written
    }
    if (catalogueRow) {
        QCOMPARE(w.text("Text7"), QString("ERIYY               "));
        QStringList boxes;
        for (const char* name : kGotoBoxes) {
            boxes << w.text(name);
        }
        QCOMPARE(boxes, r.fault == CatalogueLongLine ? kLongLineBoxes : kInitialBoxes);
    }

    // What the mount received: the operation's exact commands, whole, and
    // nothing malformed; only a vanishing device may cut the last one short.
    QCOMPARE(commandsSent(), expected.mid(0, wholeCount));
    const auto log = w.sim->log();
    for (int i = 0; i < log.size(); ++i) {
        const auto& entry = log[i];
        if (entry.kind == sim::CommandKind::Command) {
            continue;
        }
        const bool cutByTheFault = r.fault == VanishMidCommand &&
                                   entry.kind == sim::CommandKind::Partial && i == log.size() - 1;
        QVERIFY2(cutByTheFault, qPrintable(entry.toLine()));
    }
    if (r.fault == VanishMidCommand) {
        QVERIFY(!log.isEmpty());
        const QByteArray cut = log.last().bytes;
        QCOMPARE(log.last().kind, sim::CommandKind::Partial);
        QVERIFY2(expected[wholeCount].startsWith(cut) && cut.size() < expected[wholeCount].size(),
                 cut.toHex().constData());
    }
    if (r.op == Monitor || r.op == GoEast) {
        const QByteArray poll = r.op == Monitor ? "E" : "L";
        const bool polled = std::any_of(log.begin(), log.end(),
                                        [&](const sim::LogEntry& e) { return e.bytes == poll; });
        QVERIFY2(polled || r.fault == VanishMidCommand, "the operation never polled");
    }
    if (catalogueRow || r.op == Open) {
        QCOMPARE(w.sim->received(), QByteArray());
    }

    // The event loop never stalled while all this went on.
    m_worstStall = stalls.worstMs();
    QVERIFY2(m_worstStall < kClickLimitMs, qPrintable(QString::number(m_worstStall)));
}

namespace {

// The other program of the busy-port row: opens the device as a serial port
// and holds it until killed (or for half a minute at most).
int holdPort(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QSerialPort port(QString::fromLocal8Bit(argv[2]));
    if (!port.open(QIODevice::ReadWrite)) {
        qCritical().noquote() << "cannot hold" << port.portName() << port.errorString();
        return 1;
    }
    QTextStream(stdout) << "holding" << Qt::endl;
    QTimer::singleShot(30s, &app, &QCoreApplication::quit);
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--hold-port") == 0) {
        return holdPort(argc, argv);
    }
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestFaultMatrix test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_fault_matrix.moc"
