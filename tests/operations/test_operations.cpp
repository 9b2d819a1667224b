// Search, tracking, clock, Slow Goto and Slew rate end to end: exact bytes
// at the simulated mount, the window's state after each.
#include "operations/clock.h"
#include "tests/support/in_folder.h"
#include "tests/support/window_on_simulator.h"

#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

using namespace morvane;
using namespace std::chrono_literals;
using morvane::testing::InFolder;
using morvane::testing::WindowOnSimulator;

namespace {

class FixedClock : public operations::Clock {
public:
    explicit FixedClock(QDateTime at) : m_at(std::move(at)) {}
    QDateTime now() const override { return m_at; }

private:
    QDateTime m_at;
};

const char* const kGotoBoxes[] = {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6"};

QStringList gotoBoxes(const WindowOnSimulator& w) {
    QStringList texts;
    for (const char* name : kGotoBoxes) {
        texts << w.text(name);
    }
    return texts;
}

}  // namespace

class TestOperations : public QObject {
    Q_OBJECT
private slots:
    void trackingSendsOnePairPerChoice();
    void clockSendsTheLocalTime();
    void slowGotoFromTheKeyboard();
    void slowGotoRefusesBeforeSending();
    void slewSequenceWithThreePauses();
    void searchFillsTheGotoBoxes();
    void searchNotFound();
    void searchWithoutAnyCatalogue();
};

void TestOperations::trackingSendsOnePairPerChoice() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    QVERIFY(w.control<QRadioButton>("Option4")->isChecked());
    QCOMPARE(w.sim->received(), QByteArray());  // nothing at start

    w.click("Option5");
    QTRY_COMPARE(w.sim->received(), QByteArray::fromHex("5400"));
    w.click("Option5");  // already the choice: nothing new
    w.click("Option4");
    QTRY_COMPARE(w.sim->received(), QByteArray::fromHex("54005402"));
    w.click("Option5");
    QTRY_COMPARE(w.sim->received(), QByteArray::fromHex("540054025400"));
    QVERIFY(w.control<QRadioButton>("Option5")->isChecked());
    QVERIFY(!w.control<QRadioButton>("Option4")->isChecked());
    QVERIFY(w.prompter.messages.isEmpty());
}

void TestOperations::clockSendsTheLocalTime() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    const FixedClock clock(QDateTime(QDate(2024, 3, 5), QTime(21, 5, 9)));
    w.window->setClock(&clock);
    w.click("Command7");
    QTRY_COMPARE(w.sim->received(), QByteArray::fromHex("48150509030518090001"));
    QCOMPARE(w.sim->log().size(), 1);
    QCOMPARE(w.sim->log()[0].kind, sim::CommandKind::Command);
}

void TestOperations::slowGotoFromTheKeyboard() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    for (const auto& [box, text] : {std::pair{"Text1", "05"},
                                    {"Text2", "34"},
                                    {"Text3", "32"},
                                    {"Text4", "+"},
                                    {"Text5", "22"},
                                    {"Text6", "01"}}) {
        w.type(box, text);
    }
    // Out of sight, but reachable by Tab from GOTO, and Space clicks it.
    w.control<QWidget>("Command3")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.control<QWidget>("Command10"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTRY_COMPARE(w.sim->received(), QByteArray::fromHex("500410173B78FC00"
                                                        "500411170FA4FA00"));
    QCOMPARE(w.text("Command4"), QString("Real"));  // the monitor is not touched
    QVERIFY(w.prompter.messages.isEmpty());
}

void TestOperations::slowGotoRefusesBeforeSending() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    w.type("Text5", "5e9");
    w.window->Command10_Click();
    QCOMPARE(w.prompter.messages.size(), 1);
    QVERIFY(w.prompter.messages[0].startsWith("Declination out of range"));
    QVERIFY(!w.window->link().isBusy());
    QCOMPARE(w.sim->received(), QByteArray());
}

void TestOperations::slewSequenceWithThreePauses() {
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    w.window->Command8_Click();
    // A poll asked for meanwhile must wait for the whole sequence.
    w.window->Timer1_Timer();
    QTRY_COMPARE(w.sim->received(), QByteArray::fromHex("5002102401000000"
                                                        "5002102501000000"
                                                        "5002112401000000"
                                                        "5002112501000000") +
                                        "E");
    const auto log = w.sim->log();
    QCOMPARE(log.size(), 5);
    for (int i = 1; i < 4; ++i) {
        QVERIFY(log[i].time - log[i - 1].time >= 45ms);
    }
    QVERIFY(w.prompter.messages.isEmpty());
}

void TestOperations::searchFillsTheGotoBoxes() {
    InFolder folder;  // no star.dat here: the installed catalogue answers
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    w.window->setInstalledCatalogue(MORVANE_SHIPPED_CATALOGUE);
    w.click("Command5");
    QCOMPARE(w.text("Text7"), QString("ERIYY               "));
    QCOMPARE(gotoBoxes(w), (QStringList{"04", "12", "09", "-", "10", "28"}));
    QCOMPARE(w.text("Text8"), QString("00"));  // the Sync boxes stay
    QVERIFY(w.prompter.messages.isEmpty());
    QCOMPARE(w.sim->received(), QByteArray());  // the search sends nothing

    w.click("Command3");
    QTRY_COMPARE(w.sim->received(), QByteArray("R2CD4,F88F"));
}

void TestOperations::searchNotFound() {
    InFolder folder;
    QFile own(folder.path("star.dat"));  // the working directory's catalogue wins
    QVERIFY(own.open(QIODevice::WriteOnly));
    own.write("ERIYY                                          01 02 03  +04 05\r\n");
    own.close();
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    w.window->setInstalledCatalogue(MORVANE_SHIPPED_CATALOGUE);
    w.click("Command5");
    QCOMPARE(gotoBoxes(w), (QStringList{"01", "02", "03", "+", "04", "05"}));

    w.type("Text7", "eriyy");  // case counts
    w.click("Command5");
    QCOMPARE(w.prompter.messages, QStringList{"eriyy               no found"});
    QCOMPARE(gotoBoxes(w), (QStringList{"01", "02", "03", "+", "04", "05"}));
}

void TestOperations::searchWithoutAnyCatalogue() {
    InFolder folder;
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    w.window->setInstalledCatalogue(folder.path("nowhere/star.dat"));
    w.click("Command5");
    QCOMPARE(w.prompter.messages.size(), 1);
    const QString message = w.prompter.messages[0];
    QVERIFY2(message.contains("star.dat (No such file or directory)"), qPrintable(message));
    QVERIFY2(message.contains(folder.path("nowhere/star.dat")), qPrintable(message));
    QCOMPARE(gotoBoxes(w), (QStringList{"00", "00", "00", "+", "00", "00"}));
    QCOMPARE(w.text("Text7"), QString("ERIYY               "));
}

QTEST_MAIN(TestOperations)
#include "test_operations.moc"
