// COM OPEN and CLOSE, the "Real Coordinate" readout, GOTO and Sync, end to
// end: the window's clicks, the exact bytes at the simulated mount on a
// pseudo-terminal, the window's state afterwards.
#include "operations/mount_session.h"
#include "tests/support/window_on_simulator.h"

#include <QHelpEvent>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>

using namespace morvane;
using namespace morvane::testing;
using namespace std::chrono_literals;

class TestPortReadoutGoto : public QObject {
    Q_OBJECT
private slots:
    void opensTheChosenPort_data();
    void opensTheChosenPort();
    void closeStopsTheReadoutAndSwapsButtons();
    void missingDeviceSaysWhichAndWhy();
    void readoutShowsEachReplyOnce();
    void closedPortStopsTheReadoutWithOneMessage();
    void readoutEndsAsItBegan_data();
    void readoutEndsAsItBegan();
    void syncCancelSendsNothing();

private:
    WindowOnSimulator w;
};

void TestPortReadoutGoto::opensTheChosenPort_data() {
    QTest::addColumn<int>("port");
    QTest::newRow("port 1") << 1;
    QTest::newRow("port 2") << 2;
    QTest::newRow("port 3") << 3;
}

void TestPortReadoutGoto::opensTheChosenPort() {
    QFETCH(int, port);
    QCOMPARE(w.start(false), QString());
    // Only the chosen port's device exists.
    for (int n = 1; n <= 3; ++n) {
        qputenv(qPrintable(QStringLiteral("MORVANE_COM%1").arg(n)),
                n == port ? w.sim->devicePath().toLocal8Bit() : "/dev/morvane-nothing-here");
    }
    // The tooltip says which device the port opens, as of now.
    const QByteArray option = "Option" + QByteArray::number(port);
    QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), QPoint(2, 2));
    QCoreApplication::sendEvent(w.control(option), &tip);
    QVERIFY(w.control(option)->toolTip().endsWith(w.sim->devicePath()));

    w.click(option);
    w.click("Command1");
    QVERIFY2(w.prompter.messages.isEmpty(), qPrintable(w.prompter.messages.join('\n')));
    QVERIFY(w.window->link().isOpen());
    QCOMPARE(w.window->link().device(), w.sim->devicePath());
    QCOMPARE(w.window->link().settings(), QStringLiteral("9600,N,8,1"));
    QVERIFY(!w.control("Command1")->isEnabled() && w.control("Command2")->isEnabled());
}

void TestPortReadoutGoto::closeStopsTheReadoutAndSwapsButtons() {
    QCOMPARE(w.start(), QString());
    // CLOSE with the readout on and a GOTO waiting behind a reading.
    w.sim->setFault(sim::Fault::Silent);
    w.click("Command4");
    w.window->Timer1_Timer();
    w.click("Command3");  // switches the readout off for its exchange...
    w.click("Command4");  // ...and the user back on meanwhile
    w.click("Command2");
    QVERIFY(!w.window->link().isOpen());
    QVERIFY(w.control("Command1")->isEnabled() && !w.control("Command2")->isEnabled());
    w.window->Command2_Click();  // once more, though disabled: harmless
    w.click("Command1");
    QVERIFY(w.window->link().isOpen());
    // Once a command sent after the reopening has gone out, the ended GOTO
    // has long had its say: the readout stays off, nothing was said.
    w.window->Command7_Click();
    QTRY_VERIFY(w.sim->received().contains('H'));
    QVERIFY(!w.control<QTimer>("Timer1")->isActive());
    QCOMPARE(w.text("Command4"), QString("Real"));
    QVERIFY(w.prompter.messages.isEmpty());
}

void TestPortReadoutGoto::missingDeviceSaysWhichAndWhy() {
    QCOMPARE(w.start(false), QString());
    qputenv("MORVANE_COM2", "/dev/morvane-no-such-device");
    w.click("Option2");
    w.click("Command1");
    QCOMPARE(w.prompter.messages.size(), 1);
    QVERIFY2(w.prompter.messages[0].contains("port 2 (/dev/morvane-no-such-device): there is no "
                                             "such device"),
             qPrintable(w.prompter.messages[0]));
    QVERIFY(w.control("Command1")->isEnabled() && !w.control("Command2")->isEnabled());
}

void TestPortReadoutGoto::readoutShowsEachReplyOnce() {
    QCOMPARE(w.start(), QString());
    // A silent mount: ticks while a reading is under way are skipped, never
    // piled up behind it.
    w.sim->setFault(sim::Fault::Silent);
    w.window->Timer1_Timer();
    w.window->Timer1_Timer();
    w.window->Timer1_Timer();
    QTRY_VERIFY_WITH_TIMEOUT(!w.window->link().isBusy(), 3000);
    QCOMPARE(w.sim->received(), QByteArray("E"));

    w.sim->setFault(sim::Fault::None);
    w.click("Command3");  // R0000,0000; the mount's "#" comes after it was done with
    QTRY_VERIFY(!w.window->link().isBusy());
    w.sim->setPosition(0x34AB, 0x12CE);
    w.sim->inject("#0#");
    w.control<QTimer>("Timer1")->setInterval(30);  // the same ticks, faster
    w.click("Command4");
    QCOMPARE(w.text("Command4"), QString("Stop"));
    QTRY_COMPARE(w.text("Label10"), QString("04:56:15 / +26d27'"));
    QTRY_VERIFY(w.sim->received().count('E') >= 4);
    QVERIFY(w.prompter.messages.isEmpty());
}

void TestPortReadoutGoto::closedPortStopsTheReadoutWithOneMessage() {
    QCOMPARE(w.start(false), QString());
    w.click("Command4");
    w.window->Timer1_Timer();
    w.window->Timer1_Timer();  // a second tick while the first is still under way
    QTRY_COMPARE(w.text("Command4"), QString("Real"));
    QVERIFY(!w.control<QTimer>("Timer1")->isActive());
    QCOMPARE(w.prompter.messages,
             QStringList{QStringLiteral("Port 1 (%1) is not open. Click COM OPEN first.")
                             .arg(w.sim->devicePath())});
    QCOMPARE(w.text("Label10"), QString("00:00:00 / +00d00'"));
}

void TestPortReadoutGoto::readoutEndsAsItBegan_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("readoutOn");
    QTest::addColumn<bool>("portOpen");
    QTest::addColumn<QString>("degrees");
    QTest::addColumn<QString>("message");  // part of the one message, "" for none
    for (const char* button : {"Command3", "Command9"}) {
        for (bool on : {false, true}) {
            const QByteArray tag = QByteArray(button) + (on ? ", readout on" : ", readout off");
            QTest::newRow(tag + ", sent") << button << on << true << "00"
                                          << "";
            QTest::newRow(tag + ", port closed") << button << on << false << "00"
                                                 << "is not open. Click COM OPEN first.";
            QTest::newRow(tag + ", declination 180") << button << on << true << "180"
                                                     << "Declination out of range: 180 degrees;";
            // At 50 degrees north with a limit of 40: -30 never rises above
            // 10 degrees, +89 stays within 2 of 50. Sync moves nothing.
            QTest::newRow(tag + ", horizon, below")
                << button << on << true << "-30"
                << (QByteArray(button) == "Command3" ? "below the horizon limit of 40\u00b0" : "");
            QTest::newRow(tag + ", horizon, above") << button << on << true << "89"
                                                    << "";
        }
    }
}

void TestPortReadoutGoto::readoutEndsAsItBegan() {
    QFETCH(QString, button);
    QFETCH(bool, readoutOn);
    QFETCH(bool, portOpen);
    QFETCH(QString, degrees);
    QFETCH(QString, message);
    QCOMPARE(w.start(portOpen), QString());
    if (QByteArray(QTest::currentDataTag()).contains("horizon")) {
        w.window->session().setSite({50, 0, 0});
        w.window->session().setHorizonLimit(40);
    }
    w.type(button == "Command3" ? "Text5" : "Text12", degrees);
    if (readoutOn) {
        w.click("Command4");
    }
    w.click(qPrintable(button));
    QTRY_VERIFY(!w.window->link().isBusy());
    QTRY_COMPARE(w.prompter.messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QVERIFY2(w.prompter.messages[0].contains(message), qPrintable(w.prompter.messages[0]));
        QCOMPARE(w.sim->received(), QByteArray());  // never a partial command
    }
    QCOMPARE(w.text("Command4"), readoutOn ? QString("Stop") : QString("Real"));
    QCOMPARE(w.control<QTimer>("Timer1")->isActive(), readoutOn);
}

void TestPortReadoutGoto::syncCancelSendsNothing() {
    QCOMPARE(w.start(), QString());
    w.click("Command4");
    w.prompter.answerOk = false;
    w.click("Command9");
    QCOMPARE(w.prompter.questions, QStringList{"Sync"});
    QCOMPARE(w.text("Command4"), QString("Stop"));
    QTRY_VERIFY(!w.window->link().isBusy());
    QVERIFY(!w.sim->received().contains('S'));
    QVERIFY(w.prompter.messages.isEmpty());
}

QTEST_MAIN(TestPortReadoutGoto)
#include "test_port_readout_goto.moc"
