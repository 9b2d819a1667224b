// Latency of the window over a pseudo-terminal. The window runs offscreen on
// this process's GUI thread; the simulated mount runs on a thread of its own
// (bench/support/simulator_thread.h), so it hears the bytes the moment they
// reach the kernel, as a separate process would.
//
//  1. GOTO: from QTest::mouseClick on Command3 (press and release) to the
//     simulator's first received byte of the command.
//  2. Position poll: from the monitor's tick to Label10 holding the decoded
//     reply, with the simulator pacing its ten reply bytes at 9600 baud and
//     answering 1 ms late, which stands in for the 1.04 ms the one-byte "E"
//     takes on a real line (a pseudo-terminal has no wire time of its own).
//
// MORVANE_BENCH_SAMPLES sets the number of timed samples of each.
#include "bench/support/event_wait.h"
#include "bench/support/report.h"
#include "bench/support/simulator_thread.h"
#include "mount/codec.h"
#include "mount/link.h"
#include "operations/mount_session.h"
#include "operations/position_readings.h"
#include "tests/support/recording_prompter.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSerialPort>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace bench = morvane::bench;

namespace {

// Pauses between samples, drawn at random so that no sample keeps the same
// phase against the event loop's own timers.
std::chrono::milliseconds pause(std::mt19937& random) {
    return std::chrono::milliseconds(std::uniform_int_distribution<int>(10, 30)(random));
}

// The window, shown offscreen, with port 1 open on the simulator.
class Bench {
public:
    bool start() {
        const QString device = simulator.start();
        if (device.isEmpty()) {
            std::fprintf(stderr, "cannot start the simulator\n");
            return false;
        }
        qputenv("MORVANE_COM1", device.toLocal8Bit());
        window = std::make_unique<morvane::Form1>(&prompter);
        window->show();
        click("Command1");
        if (!window->link().isOpen()) {
            std::fprintf(stderr, "cannot open: %s\n", qPrintable(prompter.messages.join('\n')));
            return false;
        }
        // The first frame is painted before anything is timed.
        bench::runFor(100ms);
        return true;
    }

    template <class T>
    T* control(const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    void click(const char* name) {
        QTest::mouseClick(control<QAbstractButton>(name), Qt::LeftButton);
    }
    bool quiet() {
        if (!prompter.messages.isEmpty()) {
            std::fprintf(stderr, "the window said: %s\n", qPrintable(prompter.messages.join('\n')));
            return false;
        }
        return true;
    }

    bench::SimulatorThread simulator;
    morvane::testing::RecordingPrompter prompter;
    std::unique_ptr<morvane::Form1> window;
};

// Click to first byte, GOTO.
bool clickToFirstByte(int samples, int warmUp, std::mt19937& random) {
    Bench b;
    if (!b.start()) {
        return false;
    }
    const morvane::codec::SexagesimalEntry entry{"05", "16", "41", "+", "45", "59"};
    const char* const boxes[] = {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6"};
    const std::string* const texts[] = {&entry.hours, &entry.minutes, &entry.seconds,
                                        &entry.sign,  &entry.degrees, &entry.arcminutes};
    for (int i = 0; i < 6; ++i) {
        b.control<QLineEdit>(boxes[i])->setText(QString::fromStdString(*texts[i]));
    }
    const QByteArray expected =
        QByteArray::fromStdString(morvane::codec::coordinatePair('R', entry).field);

    std::vector<double> times;
    std::vector<double> inClick;  // the press and release themselves
    for (int i = 0; i < warmUp + samples; ++i) {
        QEventLoop loop;
        b.simulator.rearm(
            [&loop] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
        QTimer::singleShot(2s, &loop, &QEventLoop::quit);
        const auto clicked = Clock::now();
        b.click("Command3");
        const auto returned = Clock::now();
        loop.exec();
        const auto firstByte = b.simulator.firstHeard();
        if (firstByte == Clock::time_point{}) {
            std::fprintf(stderr, "GOTO: no byte reached the simulator\n");
            return false;
        }
        // The exchange ends and the monitor is switched off again.
        if (!bench::runUntil(
                [&] {
                    return b.simulator.received() == expected &&
                           b.control<QAbstractButton>("Command4")->text() == "Real";
                },
                2s)) {
            std::fprintf(stderr, "GOTO: the simulator heard \"%s\"\n",
                         b.simulator.received().constData());
            return false;
        }
        if (i >= warmUp) {
            times.push_back(bench::millisecondsBetween(clicked, firstByte));
            inClick.push_back(bench::millisecondsBetween(clicked, returned));
        }
        bench::runFor(pause(random));
    }
    if (!b.quiet()) {
        return false;
    }
    bench::reportFigure("1. GOTO click to first byte", bench::spreadOf(times), "ms", 1.0, "< 1 ms");
    bench::note(
        "GOTO: of which %s ms (median) pass inside QTest::mouseClick: the press and the "
        "release, each repainting the button, and the click handler",
        bench::number(bench::spreadOf(inClick).median).c_str());
    return true;
}

// Monitor tick to Label10 updated, with and without the wire's pace.
bool pollRoundTrip(int samples, int warmUp, std::mt19937& random, bool paced) {
    Bench b;
    if (!b.start()) {
        return false;
    }
    constexpr auto kOutgoingByte = 1ms;  // stands in for 1.04 ms of wire time
    b.simulator.run([&] {
        b.simulator.mount().setPosition(0x34AB, 0x12CE);
        if (paced) {
            b.simulator.mount().setFault(morvane::sim::Fault::Paced);
            b.simulator.mount().setReplyDelay(kOutgoingByte);
        }
    });
    // Every tick a reading of its own from the mount, as the window's ticks a
    // second apart get: these come 10-30 ms apart, well inside the age a
    // reading is shared for and the gap kept between two queries.
    b.window->session().readings().setTiming({0ms, 0ms});
    const QString expected = QStringLiteral("04:56:15 / +26d27'");
    auto* label = b.control<QLabel>("Label10");
    // The port belongs to the link, which the window shares with the servers.
    auto* port = b.window->link().findChild<QSerialPort*>();
    if (port == nullptr) {
        std::fprintf(stderr, "poll: no serial port in the window's link\n");
        return false;
    }

    std::vector<double> roundTrips;
    label->setText(QStringLiteral("-"));
    bench::runFor(pause(random));
    for (int i = 0; i < warmUp + samples; ++i) {
        b.simulator.rearm({});
        QEventLoop loop;
        Clock::time_point updated{};
        // The link's own readyRead handler was connected first and has
        // finished by the time this one runs: a completed reply has reached
        // Label10 by then.
        const auto onRead = QObject::connect(port, &QSerialPort::readyRead, &loop, [&] {
            if (updated == Clock::time_point{} && label->text() != QStringLiteral("-")) {
                updated = Clock::now();
                loop.quit();
            }
        });
        QTimer::singleShot(2s, &loop, &QEventLoop::quit);
        const auto tick = Clock::now();
        b.window->Timer1_Timer();
        loop.exec();
        QObject::disconnect(onRead);
        if (updated == Clock::time_point{} || label->text() != expected) {
            std::fprintf(stderr, "poll: Label10 reads \"%s\"\n", qPrintable(label->text()));
            return false;
        }
        if (i >= warmUp) {
            roundTrips.push_back(bench::millisecondsBetween(tick, updated));
        }
        // Blanked ahead of the next tick, so that its repaint is over by then.
        label->setText(QStringLiteral("-"));
        bench::runFor(pause(random));
    }
    if (!b.quiet()) {
        return false;
    }
    const bench::Spread spread = bench::spreadOf(roundTrips);
    if (!paced) {
        bench::note(
            "poll: with the simulator answering at once (no wire time) the round trip "
            "takes %s ms median (%s-%s): the program's own share",
            bench::number(spread.median).c_str(), bench::number(spread.min).c_str(),
            bench::number(spread.max).c_str());
        return true;
    }
    const double wire = std::chrono::duration<double, std::milli>(
                            kOutgoingByte + 10 * morvane::sim::ReplyScheduler::kByteTimeAt9600)
                            .count();
    bench::reportFigure("2. Poll \"E\" to Label10, paced at 9600 baud", spread, "ms", 11.5 + 2.0,
                        "<= 13.5 ms (11.5 wire + 2)");
    bench::note(
        "poll: the simulated wire takes %.2f ms (a 1 ms late answer, then 10 bytes of "
        "1.04 ms); the simulator's millisecond timers send each paced byte up to 1 ms "
        "late, which the figure includes",
        wire);
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int samples = bench::environmentNumber("MORVANE_BENCH_SAMPLES", 100);
    constexpr int kWarmUp = 5;
    std::mt19937 random(9600);
    const bool ok = clickToFirstByte(samples, kWarmUp, random) &&
                    pollRoundTrip(samples, kWarmUp, random, true) &&
                    pollRoundTrip(samples, kWarmUp, random, false);
    return ok ? 0 : 1;
}
