// The "Real Coordinate" readout end to end: "E" out, ten characters back,
// the decoded position in Label10, and a monitor that never piles up, never
// floods the user with messages and keeps going through a missed reply.
#include "tests/support/window_on_simulator.h"

#include <QLabel>
#include <QTimer>

using namespace morvane;
using namespace std::chrono_literals;
using morvane::testing::WindowOnSimulator;

class TestPositionMonitor : public QObject {
    Q_OBJECT
private slots:
    void readoutShowsTheReply_data();
    void readoutShowsTheReply();
    void pollsOnceASecondWhileOn();
    void realTwiceLeavesItOff();
    void closeSwitchesItOffAndSaysSo();
    void lateReplyDoesNotShiftTheReadout();
    void missedReplyShowsNoReplyAndGoesOn();
    void closedPortStopsItWithOneMessage();
    void ticksNeverPileUp();
};

void TestPositionMonitor::readoutShowsTheReply_data() {
    QTest::addColumn<int>("ra");
    QTest::addColumn<int>("dec");
    QTest::addColumn<QString>("readout");
    QTest::newRow("34AB,12CE") << 0x34AB << 0x12CE << "04:56:15 / +26d27'";
    QTest::newRow("0000,0000") << 0x0000 << 0x0000 << "00:00:00 / +00d00'";
    QTest::newRow("FFFF,FFFF") << 0xFFFF << 0xFFFF << "23:59:59 / -00d00'";
    QTest::newRow("8000,C000") << 0x8000 << 0xC000 << "12:00:00 / -90d00'";
}

void TestPositionMonitor::readoutShowsTheReply() {
    QFETCH(int, ra);
    QFETCH(int, dec);
    QFETCH(QString, readout);

    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    w.control<QLabel>("Label10")->setText("-");
    w.sim->setPosition(static_cast<quint16>(ra), static_cast<quint16>(dec));
    w.window->Timer1_Timer();
    QTRY_COMPARE(w.text("Label10"), readout);
    QCOMPARE(w.sim->received(), QByteArray("E"));
}

void TestPositionMonitor::pollsOnceASecondWhileOn() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    auto* timer = w.control<QTimer>("Timer1");
    QCOMPARE(timer->interval(), 1000);
    timer->setInterval(30);  // the same ticks, faster
    w.click("Command4");
    QCOMPARE(w.text("Command4"), QString("Stop"));
    QTRY_VERIFY(w.sim->received().count('E') >= 3);
    w.sim->setPosition(0x34AB, 0x12CE);
    QTRY_COMPARE(w.text("Label10"), QString("04:56:15 / +26d27'"));
    QVERIFY(w.prompter.messages.isEmpty());
}

void TestPositionMonitor::realTwiceLeavesItOff() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    w.click("Command4");
    w.click("Command4");
    QCOMPARE(w.text("Command4"), QString("Real"));
    QVERIFY(!w.control<QTimer>("Timer1")->isActive());
}

void TestPositionMonitor::closeSwitchesItOffAndSaysSo() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    w.click("Command4");
    w.click("Command2");
    QVERIFY(!w.control<QTimer>("Timer1")->isActive());
    QCOMPARE(w.text("Command4"), QString("Real"));  // names what the next click does
    w.click("Command4");
    QVERIFY(w.control<QTimer>("Timer1")->isActive());
}

void TestPositionMonitor::lateReplyDoesNotShiftTheReadout() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    w.click("Command3");
    QTRY_COMPARE(w.sim->received(), QByteArray("R0000,0000"));
    QTRY_VERIFY(!w.window->link().isBusy());
    w.sim->setPosition(0x34AB, 0x12CE);
    // The mount's answer to the goto comes after the exchange was over, and
    // some line noise with it.
    w.sim->inject("#0#");
    w.window->Timer1_Timer();
    QTRY_COMPARE(w.text("Label10"), QString("04:56:15 / +26d27'"));
}

void TestPositionMonitor::missedReplyShowsNoReplyAndGoesOn() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    LinkLimits limits;
    limits.countedReply = 150ms;
    w.window->link().setLimits(limits);
    w.click("Command4");
    w.sim->setFault(sim::Fault::Silent);
    w.window->Timer1_Timer();
    QTRY_COMPARE(w.text("Label10"), QString("no reply"));
    QVERIFY(w.control<QTimer>("Timer1")->isActive());
    QVERIFY(w.prompter.messages.isEmpty());

    w.sim->setFault(sim::Fault::None);
    w.sim->setPosition(0x8000, 0xC000);
    w.window->Timer1_Timer();
    QTRY_COMPARE(w.text("Label10"), QString("12:00:00 / -90d00'"));
}

void TestPositionMonitor::closedPortStopsItWithOneMessage() {
    WindowOnSimulator w;
    QCOMPARE(w.start(false), QString());
    w.click("Command4");
    w.window->Timer1_Timer();
    w.window->Timer1_Timer();  // a second tick while the first is still under way
    QTRY_COMPARE(w.text("Command4"), QString("Real"));
    QVERIFY(!w.control<QTimer>("Timer1")->isActive());
    QCOMPARE(w.prompter.messages.size(), 1);
    QVERIFY(w.prompter.messages[0].contains("is not open. Click COM OPEN first."));
    QCOMPARE(w.text("Label10"), QString("00:00:00 / +00d00'"));
}

void TestPositionMonitor::ticksNeverPileUp() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    w.sim->setFault(sim::Fault::Silent);
    w.window->Timer1_Timer();
    QTRY_COMPARE(w.sim->received(), QByteArray("E"));
    w.window->Timer1_Timer();
    w.window->Timer1_Timer();
    QTRY_VERIFY(!w.window->link().isBusy());
    QCOMPARE(w.sim->received(), QByteArray("E"));
}

QTEST_MAIN(TestPositionMonitor)
#include "test_position_monitor.moc"
