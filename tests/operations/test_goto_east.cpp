// Goto East end to end: the lamp red once "B0000,0000" has left, green when
// the mount's own answer to a status query says it has arrived, amber when
// it never does; the window answers clicks throughout.
#include "tests/support/window_on_simulator.h"
#include "ui/lamp.h"

#include <QSignalSpy>

using namespace morvane;
using namespace std::chrono_literals;
using morvane::testing::WindowOnSimulator;

namespace {

const QColor kStart(0, 192, 0);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kAmber(255, 191, 0);

QList<QColor> colours(const QSignalSpy& spy) {
    QList<QColor> list;
    for (const auto& args : spy) {
        list << args.at(0).value<QColor>();
    }
    return list;
}

// Clicks GO against a mount whose goto never ends; the lamp once it is red.
Lamp* startWatchThatNeverEnds(WindowOnSimulator& w) {
    w.sim->setFault(sim::Fault::NeverArrives);
    auto* lamp = w.control<Lamp>("Shape1");
    w.click("Command6");
    return QTest::qWaitFor([&] { return lamp->fillColor() == kRed; }) ? lamp : nullptr;
}

}  // namespace

class TestGotoEast : public QObject {
    Q_OBJECT
private slots:
    void redThenGreenOnArrival();
    void amberWhenItNeverArrives_data();
    void amberWhenItNeverArrives();
    void closeEndsTheWatchLampStaysRed();
    void secondClickRestartsTheWatch();
    void portClosedSaysSoLampUnchanged();
};

void TestGotoEast::redThenGreenOnArrival() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    w.sim->setSlewRate(40);
    w.sim->setPosition(0x0800, 0x0400);  // a few degrees from home
    auto* lamp = w.control<Lamp>("Shape1");
    QCOMPARE(lamp->fillColor(), kStart);
    QSignalSpy changes(lamp, &Lamp::fillColorChanged);

    w.click("Command6");
    QCOMPARE(lamp->fillColor(), kStart);  // not before the command has left
    QTRY_COMPARE(lamp->fillColor(), kRed);
    QTRY_COMPARE_WITH_TIMEOUT(lamp->fillColor(), kGreen, 5000);
    QCOMPARE(colours(changes), (QList<QColor>{kRed, kGreen}));
    QVERIFY(w.sim->received().startsWith("B0000,0000L"));
    QVERIFY(w.prompter.messages.isEmpty());
    QCOMPARE(w.text("Command6"), QString("GO"));
}

void TestGotoEast::amberWhenItNeverArrives_data() {
    QTest::addColumn<QByteArray>("leftOver");  // stale input nobody asked for
    QTest::newRow("never arrives") << QByteArray();
    QTest::newRow("a stale 0 does not fake an arrival") << QByteArray("0#0#");
}

void TestGotoEast::amberWhenItNeverArrives() {
    QFETCH(QByteArray, leftOver);
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    LinkLimits limits;
    limits.arrivalWatch = 2500ms;
    w.window->link().setLimits(limits);
    w.sim->setFault(sim::Fault::NeverArrives);
    auto* lamp = w.control<Lamp>("Shape1");

    w.click("Command6");
    QTRY_COMPARE(lamp->fillColor(), kRed);
    if (!leftOver.isEmpty()) {
        w.sim->inject(leftOver);
    }
    // While it waits the window answers clicks at once.
    w.click("Command4");
    QCOMPARE(w.text("Command4"), QString("Stop"));
    w.click("Command4");

    QTRY_COMPARE_WITH_TIMEOUT(lamp->fillColor(), kAmber, 5000);
    QCOMPARE(w.prompter.messages.size(), 1);
    QVERIFY(w.prompter.messages[0].contains("within 2.5 s"));
    QVERIFY(w.prompter.messages[0].contains(w.sim->devicePath()));
    const int queries = w.sim->received().count('L');
    QVERIFY2(queries >= 1 && queries <= 3, qPrintable(QString::number(queries)));
}

void TestGotoEast::closeEndsTheWatchLampStaysRed() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    Lamp* lamp = startWatchThatNeverEnds(w);
    QVERIFY(lamp);
    QTRY_VERIFY_WITH_TIMEOUT(w.sim->received().contains('L'), 3000);

    w.click("Command2");
    const QByteArray sent = w.sim->received();
    QSignalSpy changes(lamp, &Lamp::fillColorChanged);
    QVERIFY(!changes.wait(1500));  // no more queries, no colour change
    QCOMPARE(lamp->fillColor(), kRed);
    QCOMPARE(w.sim->received(), sent);
    QVERIFY(w.prompter.messages.isEmpty());
}

void TestGotoEast::secondClickRestartsTheWatch() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    Lamp* lamp = startWatchThatNeverEnds(w);
    QVERIFY(lamp);
    w.click("Command6");
    QTRY_COMPARE(w.sim->received().count("B0000,0000"), 2);

    // One watch: one query per second, not two.
    w.sim->clearHistory();
    QTRY_VERIFY_WITH_TIMEOUT(w.sim->received().count('L') >= 2, 4000);
    const auto log = w.sim->log();
    for (int i = 1; i < log.size(); ++i) {
        QVERIFY(log[i].time - log[i - 1].time >= 500ms);
    }
}

void TestGotoEast::portClosedSaysSoLampUnchanged() {
    WindowOnSimulator w;
    QCOMPARE(w.start(false), QString());
    w.click("Command6");
    QTRY_COMPARE(w.prompter.messages.size(), 1);
    QCOMPARE(
        w.prompter.messages[0],
        QStringLiteral("Port 1 (%1) is not open. Click COM OPEN first.").arg(w.sim->devicePath()));
    QCOMPARE(w.control<Lamp>("Shape1")->fillColor(), kStart);
}

QTEST_MAIN(TestGotoEast)
#include "test_goto_east.moc"
