// GOTO and Sync end to end: typed boxes in, exact bytes at the simulated
// mount, the position monitor as it was before the click.
#include "tests/support/window_on_simulator.h"

#include <QTimer>

using namespace morvane;
using morvane::testing::WindowOnSimulator;

namespace {

// Hours, minutes, seconds, sign, degrees, arcminutes into one box set.
void typeEntry(WindowOnSimulator& w, const char* const boxes[6], const QStringList& values) {
    for (int i = 0; i < 6; ++i) {
        w.type(boxes[i], values.at(i));
    }
}

const char* const kGotoBoxes[] = {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6"};
const char* const kSyncBoxes[] = {"Text8", "Text9", "Text10", "Text11", "Text12", "Text13"};

}  // namespace

class TestGotoSync : public QObject {
    Q_OBJECT
private slots:
    void sendsTheTypedPosition_data();
    void sendsTheTypedPosition();
    void monitorEndsAsItBegan_data();
    void monitorEndsAsItBegan();
    void syncCancelDoesNothing();
    void boxSetsAreIndependent();
};

void TestGotoSync::sendsTheTypedPosition_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("entry");  // empty: the boxes as the window starts
    QTest::addColumn<QByteArray>("sent");

    QTest::newRow("goto, initial boxes") << "Command3" << QStringList{} << QByteArray("R0000,0000");
    QTest::newRow("goto, south") << "Command3" << QStringList{"05", "34", "32", "-", "05", "23"}
                                 << QByteArray("R3B79,FC2C");
    QTest::newRow("goto, 24 hours") << "Command3" << QStringList{"24", "00", "00", "+", "00", "00"}
                                    << QByteArray("R10000,0000");
    QTest::newRow("goto, minus with a blank is north")
        << "Command3" << QStringList{"12", "00", "00", " -", "90", "00"}
        << QByteArray("R8000,4000");
    QTest::newRow("sync, initial boxes") << "Command9" << QStringList{} << QByteArray("S0000,0000");
    QTest::newRow("sync, south") << "Command9" << QStringList{"05", "34", "32", "-", "05", "23"}
                                 << QByteArray("S3B79,FC2C");
}

void TestGotoSync::sendsTheTypedPosition() {
    QFETCH(QString, button);
    QFETCH(QStringList, entry);
    QFETCH(QByteArray, sent);

    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    const bool sync = button == "Command9";
    if (!entry.isEmpty()) {
        typeEntry(w, sync ? kSyncBoxes : kGotoBoxes, entry);
    }
    w.click(button.toLatin1().constData());
    QTRY_COMPARE(w.sim->received(), sent);
    QCOMPARE(w.prompter.questions, sync ? QStringList{"Sync"} : QStringList{});
    QVERIFY2(w.prompter.messages.isEmpty(), qPrintable(w.prompter.messages.join('\n')));
    QTRY_VERIFY(!w.window->link().isBusy());
}

void TestGotoSync::monitorEndsAsItBegan_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("monitorOn");
    QTest::addColumn<bool>("portOpen");
    QTest::addColumn<QString>("degrees");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("message");  // part of the one message, "" for none

    const QString notOpen = "is not open. Click COM OPEN first.";
    const QString range = "Declination out of range: 180 degrees;";
    for (const char* button : {"Command3", "Command9"}) {
        const QByteArray letter = QByteArray(button) == "Command3" ? "R" : "S";
        for (bool on : {false, true}) {
            const QByteArray tag = QByteArray(button) + (on ? ", monitor on" : ", monitor off");
            QTest::newRow(tag + ", sent")
                << button << on << true << "00" << letter + "0000,0000" << QString();
            QTest::newRow(tag + ", port closed")
                << button << on << false << "00" << QByteArray() << notOpen;
            QTest::newRow(tag + ", declination 180")
                << button << on << true << "180" << QByteArray() << range;
        }
    }
}

void TestGotoSync::monitorEndsAsItBegan() {
    QFETCH(QString, button);
    QFETCH(bool, monitorOn);
    QFETCH(bool, portOpen);
    QFETCH(QString, degrees);
    QFETCH(QByteArray, sent);
    QFETCH(QString, message);

    WindowOnSimulator w;
    QCOMPARE(w.start(portOpen), QString());
    w.type(button == "Command3" ? "Text5" : "Text12", degrees);
    if (monitorOn) {
        w.click("Command4");
    }
    auto* timer = w.control<QTimer>("Timer1");
    const QString caption = monitorOn ? "Stop" : "Real";
    QCOMPARE(w.text("Command4"), caption);

    w.click(button.toLatin1().constData());
    QTRY_VERIFY(!w.window->link().isBusy());
    QTRY_COMPARE(w.prompter.messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QVERIFY2(w.prompter.messages[0].contains(message), qPrintable(w.prompter.messages[0]));
    }
    QCOMPARE(w.text("Command4"), caption);
    QCOMPARE(timer->isActive(), monitorOn);
    // Nothing but the command itself (and never a partial one).
    QCOMPARE(w.sim->received().left(sent.size()), sent);
    if (sent.isEmpty()) {
        QCOMPARE(w.sim->received(), QByteArray());
    }
}

void TestGotoSync::syncCancelDoesNothing() {
    for (bool monitorOn : {false, true}) {
        WindowOnSimulator w;
        QCOMPARE(w.start(), QString());
        if (monitorOn) {
            w.click("Command4");
        }
        w.prompter.answerOk = false;
        w.click("Command9");
        QCOMPARE(w.prompter.questions, QStringList{"Sync"});
        QCOMPARE(w.text("Command4"), monitorOn ? "Stop" : "Real");
        QVERIFY(!w.window->link().isBusy());
        QCOMPARE(w.sim->received(), QByteArray());
        QVERIFY(w.prompter.messages.isEmpty());
    }
}

void TestGotoSync::boxSetsAreIndependent() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    typeEntry(w, kSyncBoxes, {"05", "34", "32", "-", "05", "23"});
    w.click("Command3");  // GOTO reads only its own boxes
    QTRY_COMPARE(w.sim->received(), QByteArray("R0000,0000"));
    w.sim->clearHistory();
    typeEntry(w, kGotoBoxes, {"12", "00", "00", "+", "90", "00"});
    typeEntry(w, kSyncBoxes, {"00", "00", "00", "+", "00", "00"});
    w.click("Command9");
    QTRY_COMPARE(w.sim->received(), QByteArray("S0000,0000"));
}

QTEST_MAIN(TestGotoSync)
#include "test_goto_sync.moc"
