// The faults of the line, the port and the catalogue against the operations
// they change, end to end: the window on a real serial port to the simulated
// mount. For each row the window keeps answering clicks, shows at most one
// message and that message names the fault, ends in the state the row gives,
// and the mount never receives a malformed command.
#include "operations/clock.h"
#include "operations/mount_session.h"
#include "operations/position_readings.h"
#include "tests/support/window_on_simulator.h"
#include "ui/lamp.h"

#include <QLabel>
#include <QMetaMethod>
#include <QProcess>
#include <QRadioButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTimer>

#include <unistd.h>

using namespace morvane;
using namespace morvane::testing;
using namespace std::chrono_literals;

namespace {

// clang-format off
enum class Fault { Silent, Garbage, Split, Paced, NeverArrives, None, LateAck,
                   VanishAfterCommands, VanishMidCommand, PortBusy, PortNoPermission };
enum class Operation { Goto, Sync, Monitor, GoEast, Tracking, ClockSet, SlowGoto, Slew,
                       Open };
// The button each operation clicks, and the exact commands it must put on the
// line, polls left out, in hex.
const char* const kButtons[] = {"Command3", "Command9", "Command4", "Command6",
                                "Option5", "Command7", "Command10", "Command8", "Command1"};
const char* const kCommands[] = {"52334237392C46433243", "53433535352C32303030", "",
                                 "42303030302C30303030", "5400 5402", "48150509030518090001",
                                 "500410173B78FC00 50041117FC71C700", "5002102401000000 "
                                 "5002102501000000 5002112401000000 5002112501000000", ""};
enum class LampColour { Start, Red, Green, Amber };
const QColor kLampColours[] = {kLampAtRest, kLampOnTheWay, kLampArrived, kLampGaveUp};

// The position the simulated mount reports, and how the readout shows it.
constexpr quint16 kRaWord = 0x34AB;
constexpr quint16 kDecWord = 0x12CE;
const char* const kPosition = "04:56:15 / +26d27'";
const char* const kGotoTarget = "05:34:32 / -05d23'";  // GOTO's, reached at once
const char* const kSyncTarget = "18:30:00 / +45d00'";
const char* const kNoReply = "no reply";
const char* const kUntouched = "-";  // written before, to see whether it changed

const char* const kLost = "was lost";
const char* const kNoArrival = "did not report its arrival";
const char* const kInUse = "in use by another program";
const char* const kDenied = "permission denied";

// One fault against one operation, and what the window must show afterwards.
struct Row {
    const char* tag;
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

const Row kRows[] = {
    // tag                    fault          op    cut whole message   lamp  readout  open  monitor
    // Without a fault: each operation's exact bytes, GOTO and Sync from their own boxes.
    {"GOTO",                  None,          Goto,     0, -1, nullptr,    Start, kGotoTarget, true, true},
    {"Sync",                  None,          Sync,     0, -1, nullptr,    Start, kSyncTarget, true, true},
    {"tracking",              None,          Tracking, 0, -1, nullptr,    Start, nullptr,    true,  false},
    {"clock",                 None,          ClockSet, 0, -1, nullptr,    Start, nullptr,    true,  false},
    {"Slew rate",             None,          Slew,     0, -1, nullptr,    Start, nullptr,    true,  false},
    {"silent, Real",          Silent,        Monitor,  0, -1, nullptr,    Start, kNoReply,   true,  true},
    {"silent, GO",            Silent,        GoEast,   0, -1, kNoArrival, Amber, nullptr,    true,  false},
    {"silent, Slow Goto",     Silent,        SlowGoto, 0, -1, nullptr,    Start, nullptr,    true,  false},
    {"garbage, Sync",         Garbage,       Sync,     0, -1, nullptr,    Start, kUntouched, true,  true},
    {"garbage, GO",           Garbage,       GoEast,   0, -1, kNoArrival, Amber, nullptr,    true,  false},
    {"split, GOTO",           Split,         Goto,     0, -1, nullptr,    Start, kGotoTarget, true, true},
    {"split, GO",             Split,         GoEast,   0, -1, nullptr,    Green, nullptr,    true,  false},
    {"paced, Real",           Paced,         Monitor,  0, -1, nullptr,    Start, kPosition,  true,  true},
    {"paced, GO",             Paced,         GoEast,   0, -1, nullptr,    Green, nullptr,    true,  false},
    {"never arrives, GO",     NeverArrives,  GoEast,   0, -1, kNoArrival, Amber, nullptr,    true,  false},
    {"late acknowledgement, Sync", LateAck,  Sync,     0, -1, nullptr,    Start, kSyncTarget, true, true},
    // GOTO and Sync are queued behind a position reading; that reading is
    // the command the device vanishes on.
    {"vanishes, Sync",        VanishAfterCommands, Sync, 1, 0, kLost,     Start, kUntouched, false, false},
    {"vanishes, Real",        VanishAfterCommands, Monitor, 2, 0, kLost,  Start, kPosition,  false, false},
    {"vanishes, GO",          VanishAfterCommands, GoEast, 2, 1, kLost,   Red,   nullptr,    false, false},
    {"vanishes, tracking",    VanishAfterCommands, Tracking, 1, 1, kLost, Start, nullptr,    false, false},
    {"vanishes, Slew rate",   VanishAfterCommands, Slew, 2, 2, kLost,     Start, nullptr,    false, false},
    // The cut lands inside a command: "E" + "R3B7", "B0000", "H\x15\x05\x09", ...
    {"cut short, GOTO",       VanishMidCommand, Goto,  5, 0, kLost,       Start, kPosition,  false, false},
    {"cut short, GO",         VanishMidCommand, GoEast, 5, 0, kLost,      Start, nullptr,    false, false},
    {"cut short, clock",      VanishMidCommand, ClockSet, 4, 0, kLost,    Start, nullptr,    false, false},
    {"cut short, Slow Goto",  VanishMidCommand, SlowGoto, 12, 1, kLost,   Start, nullptr,    false, false},
    {"port busy",             PortBusy,      Open,     0, -1, kInUse,     Start, nullptr,    false, false},
    {"port not permitted",    PortNoPermission, Open,  0, -1, kDenied,    Start, nullptr,    false, false},
};
// clang-format on

// A clock read a second time has moved on to the next day: the clock command
// must take all six values from one reading.
class FixedClock : public operations::Clock {
public:
    QDateTime now() const override {
        return m_read++ ? QDateTime(QDate(2024, 4, 6), QTime(0, 0, 0))
                        : QDateTime(QDate(2024, 3, 5), QTime(21, 5, 9));
    }
    mutable int m_read = 0;
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

// Another program holding the device open: this test program itself, started
// with --hold-port (see main()).
struct HeldPort {
    QProcess process;
    ~HeldPort() {
        process.kill();
        process.waitForFinished(5000);
    }
};

}  // namespace

// The rows come in two functions, which ctest runs side by side: faults of
// what the mount answers, and faults of the device itself.
class TestFaultMatrix : public QObject {
    Q_OBJECT
private slots:
    void lineFault_data() { addRows(false); }
    void lineFault() { faultAgainstOperation(); }
    void deviceFault_data() { addRows(true); }
    void deviceFault() { faultAgainstOperation(); }
    void floodOfValidCommands_data();
    void floodOfValidCommands();

private:
    void addRows(bool ofTheDevice);
    void faultAgainstOperation();
};

void TestFaultMatrix::addRows(bool ofTheDevice) {
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(std::size(kRows)); ++i) {
        if ((kRows[i].fault >= VanishAfterCommands) == ofTheDevice) {
            QTest::newRow(kRows[i].tag) << i;
        }
    }
}

void TestFaultMatrix::faultAgainstOperation() {
    QFETCH(int, row);
    const Row& r = kRows[row];
    if (r.fault == PortNoPermission && ::geteuid() == 0) {
        QSKIP("Running as root: permission bits do not keep root out.");
    }
    SignallingPrompter prompter;
    WindowOnSimulator w;
    QCOMPARE(w.start(r.op != Open, &prompter), QString());
    const QString device = w.sim->devicePath();
    w.shortenLimits(500ms, 1500ms);
    w.control<QTimer>("Timer1")->setInterval(100);
    const FixedClock clock;
    w.window->setClock(&clock);
    w.sim->setSlewRate(1e6);
    w.sim->setPosition(r.op == GoEast ? 0 : kRaWord, r.op == GoEast ? 0 : kDecWord);
    w.typeEntry(kGotoBoxes, {"05", "34", "32", "-", "05", "23"});
    w.typeEntry(kSyncBoxes, {"18", "30", "00", "+", "45", "00"});
    w.control<QLabel>("Label10")->setText(kUntouched);

    HeldPort holder;
    const sim::Fault lineFaults[] = {sim::Fault::Silent,       sim::Fault::Garbage,
                                     sim::Fault::Split,        sim::Fault::Paced,
                                     sim::Fault::NeverArrives, sim::Fault::None};
    switch (r.fault) {
        case Silent:
        case Garbage:
        case Split:
        case Paced:
        case NeverArrives:
        case None:
            w.sim->setFault(lineFaults[int(r.fault)]);
            break;
        case LateAck:
            w.sim->setFault(sim::Fault::LateAcknowledgement);
            break;
        case VanishAfterCommands:
            w.sim->setVanishAfterCommands(r.cut);
            break;
        case VanishMidCommand:
            w.sim->setVanishAfterBytes(r.cut);
            break;
        case PortBusy: {
            holder.process.start(QCoreApplication::applicationFilePath(), {"--hold-port", device});
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
    }

    QStringList positions{kPosition, kGotoTarget, kSyncTarget};  // as the mount reports them
    QObject::connect(&w.window->session().readings(), &operations::PositionReadings::taken,
                     [&](const auto& s) { positions << (s.ok() ? s.text() : kPosition); });

    // The operation. The simulated mount reads on this thread's event loop, so
    // while it has read nothing the clicks cannot have waited on the line nor
    // turned a loop of their own: the window answers at once.
    const qsizetype heardBefore = w.sim->received().size();
    if (r.op == Goto || r.op == Sync) {
        // The observer watches the readout: a reading is under way at the click.
        w.click("Command4");
        w.window->Timer1_Timer();
    }
    w.click(kButtons[int(r.op)]);
    if (r.op == Tracking) {
        w.click("Option5");  // already the choice: nothing new
        w.click("Option4");
    }
    QCOMPARE(w.sim->received().size(), heardBefore);
    w.click("Option2");
    w.click("Option1");
    QVERIFY(w.control<QRadioButton>("Option1")->isChecked());

    QList<QByteArray> expected;
    for (const QByteArray& hex : QByteArray(kCommands[int(r.op)]).split(' ')) {
        if (!hex.isEmpty()) {
            expected << QByteArray::fromHex(hex);
        }
    }
    const int wholeCount = r.whole < 0 ? int(expected.size()) : r.whole;
    const auto commandsSent = [&] {
        QList<QByteArray> sent;
        for (const auto& entry : w.sim->log()) {
            if (entry.kind == sim::CommandKind::Command && entry.bytes != "E" &&
                entry.bytes != "L") {
                sent << entry.bytes;
            }
        }
        return sent;
    };
    const auto lampColour = [&] { return w.control<Lamp>("Shape1")->fillColor(); };
    const auto monitorOn = [&] { return w.control<QTimer>("Timer1")->isActive(); };
    const qsizetype messageCount = r.message ? 1 : 0;

    // Settled: everything the row expects has come about, and stays so: no
    // second message comes late.
    QTRY_VERIFY_WITH_TIMEOUT(
        prompter.messages.size() >= messageCount && lampColour() == kLampColours[int(r.lamp)] &&
            w.window->link().isOpen() == r.openAfter && monitorOn() == r.monitorAfter &&
            (!r.readout || w.text("Label10") == r.readout) && commandsSent().size() >= wholeCount,
        6000);
    QSignalSpy later(&prompter, &SignallingPrompter::informed);
    QVERIFY2(!later.wait(350), qPrintable(prompter.messages.join('\n')));
    QVERIFY2(prompter.messages.size() == messageCount, qPrintable(prompter.messages.join('\n')));
    if (r.message) {
        for (const QString& part : QString::fromUtf8(r.message).split('|')) {
            QVERIFY2(prompter.messages[0].contains(part), qPrintable(prompter.messages[0]));
        }
        if (r.fault >= VanishAfterCommands && r.fault <= PortNoPermission) {
            QVERIFY2(prompter.messages[0].contains(device), qPrintable(prompter.messages[0]));
        }
    }

    QCOMPARE(lampColour(), kLampColours[int(r.lamp)]);
    QCOMPARE(w.control("Command1")->isEnabled(), !r.openAfter);
    QCOMPARE(w.control("Command2")->isEnabled(), r.openAfter);
    QCOMPARE(w.text("Command4"), r.monitorAfter ? QString("Stop") : QString("Real"));
    QCOMPARE(w.text("Label10"), QString(r.readout ? r.readout : kUntouched));
    // What the mount received: the operation's exact commands, whole, and
    // nothing malformed; only a vanishing device may cut the last one short.
    QCOMPARE(commandsSent(), expected.mid(0, wholeCount));
    const auto log = w.sim->log();
    for (int i = 0; i < log.size(); ++i) {
        if (log[i].kind != sim::CommandKind::Command) {
            QVERIFY2(r.fault == VanishMidCommand && log[i].kind == sim::CommandKind::Partial &&
                         i == log.size() - 1 && expected[wholeCount].startsWith(log[i].bytes),
                     qPrintable(log[i].toLine()));
        }
    }
    if (r.op == Open) {
        QCOMPARE(w.sim->received(), QByteArray());
    }
    QCOMPARE(QSet<QString>(positions.cbegin(), positions.cend()).size(), 3);
}

void TestFaultMatrix::floodOfValidCommands_data() {
    QTest::addColumn<int>("fault");
    QTest::newRow("at once") << int(sim::Fault::None);
    QTest::newRow("paced at 9600 baud") << int(sim::Fault::Paced);
}

// 2,000 commands back to back from the window's handlers and the remote servers' door,
// each just as a late "#" arrives: the port stays open, every command whole (E, L aside).
void TestFaultMatrix::floodOfValidCommands() {
    QFETCH(int, fault);
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    w.sim->setFault(sim::Fault(fault));
    operations::MountSession& remote = w.window->session();  // the remote servers' door
    // The remote goto fills GOTO's boxes, which the window's GOTO then sends.
    const auto remoteGoto = [&] {
        QVERIFY(!remote.sendTarget('R', {0x3B79, 0xFC2C}, [](auto&) {}));
    };
    const std::function<void()> send[] = {remoteGoto, [&] { w.click("Option5"); },
                                          [&] { w.click("Command3"); },
                                          [&] { remote.setTracking(true, [](auto&) {}); }};
    int sent = 0;
    QTimer rounds;
    QObject::connect(&rounds, &QTimer::timeout, [&] {
        if (sent < 2000 && !w.window->link().isBusy()) {
            w.sim->inject("#");
            send[sent++ % 4]();
        }
    });
    rounds.start(0);
    QTRY_VERIFY_WITH_TIMEOUT(sent == 2000 && !w.window->link().isBusy(), 60000);
    QCOMPARE(w.sim->received().replace('E', "").replace('L', ""),
             QByteArray("R3B79,FC2CT\0R3B79,FC2CT\2", 24).repeated(500));
}

// ctest runs each function as a test of its own, from the list it is given in
// MORVANE_TEST_FUNCTIONS: a function missing from that list would never run.
static QString functionsNotListed(const QObject& test) {
    if (!qEnvironmentVariableIsSet("MORVANE_TEST_FUNCTIONS")) {
        return {};  // started by hand
    }
    const QStringList listed = qEnvironmentVariable("MORVANE_TEST_FUNCTIONS").split(',');
    QStringList missing;
    const QMetaObject* meta = test.metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        const QString name = QString::fromLatin1(m.name());
        if (m.methodType() == QMetaMethod::Slot && m.access() == QMetaMethod::Private &&
            !name.endsWith("_data") && !listed.contains(name)) {
            missing << name;
        }
    }
    return missing.join(' ');
}

// The other program of the busy-port row: opens the device as a serial port
// and holds it until killed (or for half a minute at most).
int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--hold-port") == 0) {
        QCoreApplication app(argc, argv);
        QSerialPort port(QString::fromLocal8Bit(argv[2]));
        if (!port.open(QIODevice::ReadWrite)) {
            return 1;
        }
        QTextStream(stdout) << "holding" << Qt::endl;
        QTimer::singleShot(30s, &app, &QCoreApplication::quit);
        return app.exec();
    }
    QApplication app(argc, argv);
    TestFaultMatrix test;
    if (const QString missing = functionsNotListed(test); !missing.isEmpty()) {
        QTextStream(stderr) << "not run by ctest, add to FUNCTIONS in CMakeLists.txt: " << missing
                            << Qt::endl;
        return 1;
    }
    return QTest::qExec(&test, argc, argv);
}

#include "test_fault_matrix.moc"
