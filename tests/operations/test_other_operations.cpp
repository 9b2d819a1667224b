// Goto East, Slow Goto, Slew rate and the catalogue search end to end: the
// bytes at the simulated mount, the lamp, the window's state after each.
#include "tests/support/in_folder.h"
#include "tests/support/window_on_simulator.h"
#include "ui/lamp.h"

#include <QApplication>
#include <QRadioButton>
#include <QSignalSpy>

using namespace morvane;
using namespace morvane::testing;
using namespace std::chrono_literals;

class TestOtherOperations : public QObject {
    Q_OBJECT
private slots:
    void gotoEastRedThenGreen();
    void gotoEastStaleZeroIsNoArrival();
    void gotoEastAgainOrClosed();
    void gotoEastAgainWhileAQueryIsOut();
    void gotoEastPortClosed();
    void slowGotoFromTheKeyboard();
    void slowGotoRefusesBeforeSending();
    void slewWithThreePausesHoldsTheLine();
    void searchFillsTheGotoBoxes();
    void searchNotFoundOrNoCatalogue();

private:
    Lamp* lamp() const { return w.control<Lamp>("Shape1"); }
    WindowOnSimulator w;
};

void TestOtherOperations::gotoEastRedThenGreen() {
    QCOMPARE(w.start(), QString());
    w.sim->setSlewRate(40);
    w.sim->setPosition(0x0800, 0x0400);  // a few degrees from home
    QSignalSpy changes(lamp(), &Lamp::fillColorChanged);
    w.click("Command6");
    QCOMPARE(lamp()->fillColor(), kLampAtRest);  // not before the command has left
    QTRY_COMPARE_WITH_TIMEOUT(lamp()->fillColor(), kLampArrived, 5000);
    QCOMPARE(changes.size(), 2);
    QCOMPARE(changes[0][0].value<QColor>(), kLampOnTheWay);
    QVERIFY(w.sim->received().startsWith("B0000,0000L"));
    QVERIFY(w.prompter.messages.isEmpty());
}

// Only the answer to a status query counts: a stale "0" left over from other
// traffic never fakes an arrival.
void TestOtherOperations::gotoEastStaleZeroIsNoArrival() {
    QCOMPARE(w.start(), QString());
    w.shortenLimits(500ms, 2500ms);
    w.sim->setFault(sim::Fault::NeverArrives);
    w.click("Command6");
    QTRY_COMPARE(lamp()->fillColor(), kLampOnTheWay);
    w.sim->inject("0#0#");
    QTRY_COMPARE_WITH_TIMEOUT(lamp()->fillColor(), kLampGaveUp, 5000);
    QCOMPARE(w.prompter.messages.size(), 1);
    QVERIFY(w.prompter.messages[0].contains("within 2.5 s"));
    QVERIFY(w.prompter.messages[0].contains(w.sim->devicePath()));
    // One query a second.
    const int queries = w.sim->received().count('L');
    QVERIFY2(queries >= 1 && queries <= 3, qPrintable(QString::number(queries)));
}

void TestOtherOperations::gotoEastAgainOrClosed() {
    QCOMPARE(w.start(), QString());
    w.sim->setFault(sim::Fault::NeverArrives);
    w.click("Command6");
    w.click("Command6");  // a second click restarts the watch: still one query a second
    QTRY_COMPARE(w.sim->received().count("B0000,0000"), 2);
    w.sim->clearHistory();
    QTRY_VERIFY_WITH_TIMEOUT(w.sim->received().count('L') >= 2, 4000);
    const auto log = w.sim->log();
    for (int i = 1; i < log.size(); ++i) {
        QVERIFY(log[i].time - log[i - 1].time >= 500ms);
    }
    // CLOSE ends the watch quietly; the lamp stays red.
    w.click("Command2");
    const QByteArray sent = w.sim->received();
    QSignalSpy changes(lamp(), &Lamp::fillColorChanged);
    QVERIFY(!changes.wait(1500));
    QCOMPARE(lamp()->fillColor(), kLampOnTheWay);
    QCOMPARE(w.sim->received(), sent);
    QVERIFY(w.prompter.messages.isEmpty());
}

void TestOtherOperations::gotoEastAgainWhileAQueryIsOut() {
    QCOMPARE(w.start(), QString());
    w.sim->setPosition(0, 0);  // at east already: every answer says arrived
    w.sim->setReplyDelay(300ms);
    w.click("Command6");
    QTRY_VERIFY(w.sim->received().endsWith('L'));  // the first watch's query is out
    w.click("Command6");                           // its answer now belongs to a watch given up
    // The new watch ends on the answer to its own query.
    QTRY_VERIFY_WITH_TIMEOUT(
        w.sim->received().endsWith("B0000,0000L") && lamp()->fillColor() == kLampArrived, 5000);
}

void TestOtherOperations::gotoEastPortClosed() {
    QCOMPARE(w.start(false), QString());
    w.click("Command6");
    QTRY_COMPARE(w.prompter.messages,
                 QStringList{QStringLiteral("Port 1 (%1) is not open. Click COM OPEN first.")
                                 .arg(w.sim->devicePath())});
    QCOMPARE(lamp()->fillColor(), kLampAtRest);
}

void TestOtherOperations::slowGotoFromTheKeyboard() {
    QCOMPARE(w.start(), QString());
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    w.typeEntry(kGotoBoxes, {"05", "34", "32", "+", "22", "01"});
    // Out of sight, but reachable by Tab from GOTO, and Space clicks it.
    w.control("Command3")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTRY_COMPARE(w.sim->received(), QByteArray::fromHex("500410173B78FC00500411170FA4FA00"));
    QCOMPARE(w.text("Command4"), QString("Real"));  // the readout is not touched
}

void TestOtherOperations::slowGotoRefusesBeforeSending() {
    QCOMPARE(w.start(), QString());
    w.type("Text5", "5e9");
    w.window->Command10_Click();
    QCOMPARE(w.prompter.messages.size(), 1);
    QVERIFY(w.prompter.messages[0].startsWith("Declination out of range"));
    QVERIFY(!w.window->link().isBusy());
    // Both motors go as one: on a closed port that is one failure, told once.
    w.click("Command2");
    w.type("Text5", "10");
    w.window->Command10_Click();
    QTRY_COMPARE(w.prompter.messages.size(), 2);
    QVERIFY(!w.window->link().isBusy());
    QVERIFY(w.prompter.messages[1].contains("is not open"));
    QCOMPARE(w.prompter.messages.size(), 2);
}

void TestOtherOperations::slewWithThreePausesHoldsTheLine() {
    QCOMPARE(w.start(), QString());
    w.window->Command8_Click();
    w.window->Timer1_Timer();  // a reading asked for meanwhile waits for the whole sequence
    QTRY_COMPARE(w.sim->received(), QByteArray::fromHex("5002102401000000500210250100000050021124"
                                                        "01000000500211250100000045"));
    const auto log = w.sim->log();
    for (int i = 1; i < 4; ++i) {
        QVERIFY(log[i].time - log[i - 1].time >= 45ms);
    }
}

void TestOtherOperations::searchFillsTheGotoBoxes() {
    InFolder folder;  // no star.dat here: the installed catalogue answers
    QCOMPARE(w.start(), QString());
    w.window->setInstalledCatalogue(MORVANE_SHIPPED_CATALOGUE);
    w.click("Command5");
    QCOMPARE(w.text("Text7"), QString("ERIYY               "));
    QCOMPARE(w.entry(kGotoBoxes), (QStringList{"04", "12", "09", "-", "10", "28"}));
    QCOMPARE(w.text("Text8"), QString("00"));  // the Sync boxes stay
    QVERIFY(w.prompter.messages.isEmpty());
    w.click("Command3");
    QTRY_COMPARE(w.sim->received(),
                 QByteArray("R2CD4,F88F"));  // only the goto: search sends nothing
}

void TestOtherOperations::searchNotFoundOrNoCatalogue() {
    InFolder folder;
    QCOMPARE(w.start(), QString());
    w.window->setInstalledCatalogue(folder.path("nowhere/star.dat"));
    w.click("Command5");
    QCOMPARE(w.prompter.messages.size(), 1);
    QVERIFY2(w.prompter.messages[0].contains(folder.path("nowhere/star.dat") +
                                             " (No such file or directory)"),
             qPrintable(w.prompter.messages[0]));

    QFile own(folder.path("star.dat"));  // the working directory's catalogue wins
    QVERIFY(own.open(QIODevice::WriteOnly));
    own.write("ERIYY                                          01 02 03  +04 05\r\n");
    own.close();
    w.type("Text7", "eriyy");  // case counts
    w.click("Command5");
    QCOMPARE(w.prompter.messages.last(), QString("eriyy               no found"));
    QCOMPARE(w.entry(kGotoBoxes), (QStringList{"00", "00", "00", "+", "00", "00"}));
    w.type("Text7", "ERIYY");
    w.click("Command5");
    QCOMPARE(w.entry(kGotoBoxes), (QStringList{"01", "02", "03", "+", "04", "05"}));
}

QTEST_MAIN(TestOtherOperations)
#include "test_other_operations.moc"
