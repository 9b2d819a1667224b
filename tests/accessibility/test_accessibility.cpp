// The window through the eyes of a screen reader and the hands of a keyboard
// user: what each control is called, what the lamp says its colour means,
// where Tab goes, and that Return presses the focused button.
#include "tests/support/window_on_simulator.h"
#include "ui/lamp.h"

#include <QAccessible>
#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace morvane;
using namespace std::chrono_literals;
using morvane::testing::RecordingPrompter;
using morvane::testing::WindowOnSimulator;

namespace {

QString accessibleText(QWidget* widget, QAccessible::Text which) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(which) : QStringLiteral("<no interface>");
}

const char* const kNamed[] = {
    "Command1", "Command2",  "Command3", "Command4", "Command5", "Command6", "Command7", "Command8",
    "Command9", "Command10", "Option1",  "Option2",  "Option3",  "Option4",  "Option5",  "Text1",
    "Text2",    "Text3",     "Text4",    "Text5",    "Text6",    "Text7",    "Text8",    "Text9",
    "Text10",   "Text11",    "Text12",   "Text13",   "Shape1",   "Label10",
};

// Where Tab goes from COM OPEN at start: CLOSE is disabled until the port is
// open, and each group of options is one stop, at its chosen option.
const QStringList kTabStops = {
    "Command1", "Option1",   "Text1",    "Text2",    "Text3",    "Text4",   "Text5",    "Text6",
    "Command3", "Command10", "Command4", "Text8",    "Text9",    "Text10",  "Text11",   "Text12",
    "Text13",   "Command9",  "Text7",    "Command5", "Command6", "Option4", "Command7", "Command8",
};

}  // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void controlsAreNamed_data();
    void controlsAreNamed();
    void namesAreDistinct();
    void descriptionsSayWhatHappens_data();
    void descriptionsSayWhatHappens();
    void lampDescribesItsColour_data();
    void lampDescribesItsColour();
    void tabFollowsTheLayout_data();
    void tabFollowsTheLayout();
    void returnPressesTheFocusedButton_data();
    void returnPressesTheFocusedButton();

private:
    template <class T = QWidget>
    T* control(const QString& name) const {
        return m_window->findChild<T*>(name);
    }
    void showActive();

    RecordingPrompter m_prompter;
    std::unique_ptr<Form1> m_window;
};

void TestAccessibility::init() {
    qputenv("MORVANE_COM1", "/dev/morvane-test-port");
    m_prompter = RecordingPrompter();
    m_window = std::make_unique<Form1>(&m_prompter);
}

void TestAccessibility::cleanup() {
    m_window.reset();
    qunsetenv("MORVANE_COM1");
}

void TestAccessibility::showActive() {
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestAccessibility::controlsAreNamed_data() {
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("name");
    auto row = [](const char* object, const char* name) {
        QTest::newRow(object) << QString::fromLatin1(object) << QString::fromUtf8(name);
    };
    row("Command1", "Open the serial port");
    row("Command2", "Close the serial port");
    row("Option1", "Port 1");
    row("Option3", "Port 3");
    row("Text1", "Right ascension hours, GOTO target");
    row("Text3", "Right ascension seconds, GOTO target");
    row("Text4", "Declination sign, GOTO target");
    row("Text6", "Declination arcminutes, GOTO target");
    row("Command3", "Go to the target");
    row("Command10", "Slow Goto to the target");
    row("Command4", "Start the position readings");
    // The readout is read as what it shows.
    row("Label10", "00:00:00 / +00d00'");
    row("Text8", "Right ascension hours, Sync star");
    row("Text11", "Declination sign, Sync star");
    row("Text13", "Declination arcminutes, Sync star");
    row("Command9", "Sync on the star");
    row("Text7", "Star name to search");
    row("Command5", "Search the catalogue");
    row("Command6", "Goto East");
    row("Shape1", "Goto East status lamp");
    row("Option4", "Tracking on");
    row("Option5", "Tracking off");
    row("Command7", "Set the mount's date and time");
    row("Command8", "Slew rate test");
}

void TestAccessibility::controlsAreNamed() {
    QFETCH(QString, object);
    QFETCH(QString, name);
    QWidget* widget = control(object);
    QVERIFY(widget);
    QCOMPARE(accessibleText(widget, QAccessible::Name), name);
}

void TestAccessibility::namesAreDistinct() {
    QHash<QString, QString> owner;
    for (const char* object : kNamed) {
        QWidget* widget = control(QString::fromLatin1(object));
        QVERIFY2(widget, object);
        const QString name = accessibleText(widget, QAccessible::Name);
        QVERIFY2(!name.trimmed().isEmpty(), object);
        QVERIFY2(!owner.contains(name),
                 qPrintable(QStringLiteral("%1 and %2 are both called \"%3\"")
                                .arg(owner.value(name), QLatin1String(object), name)));
        owner.insert(name, QString::fromLatin1(object));
    }
}

void TestAccessibility::descriptionsSayWhatHappens_data() {
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("says");
    auto row = [](const char* object, const char* says) {
        QTest::newRow(object) << QString::fromLatin1(object) << QString::fromUtf8(says);
    };
    // A port's description is its tooltip: the device it opens.
    row("Option1", "Port 1: /dev/morvane-test-port");
    row("Text4", "minus sign (-) means south");
    row("Command3", "R3B79,FC2C");
    row("Command9", "S3B79,FC2C");
    row("Command4", "(sends E)");
    row("Command6", "B0000,0000");
    row("Option5", "T and byte 00");
    row("Command7", "then 09 00 01");
    row("Shape1", "at rest");
}

void TestAccessibility::descriptionsSayWhatHappens() {
    QFETCH(QString, object);
    QFETCH(QString, says);
    QWidget* widget = control(object);
    QVERIFY(widget);
    const QString description = accessibleText(widget, QAccessible::Description);
    QVERIFY2(description.contains(says), qPrintable(description));
}

void TestAccessibility::lampDescribesItsColour_data() {
    QTest::addColumn<bool>("arrives");
    QTest::addColumn<QString>("finally");
    QTest::newRow("arrives") << true << "arrived";
    QTest::newRow("never arrives") << false << "gave up";
}

void TestAccessibility::lampDescribesItsColour() {
    QFETCH(bool, arrives);
    QFETCH(QString, finally);
    WindowOnSimulator w;
    QCOMPARE(w.start(), QString());
    LinkLimits limits;
    limits.arrivalWatch = 1500ms;
    w.window->link().setLimits(limits);
    w.sim->setSlewRate(90);
    if (!arrives) {
        w.sim->setFault(sim::Fault::NeverArrives);
    }
    auto* lamp = w.control<Lamp>("Shape1");
    QCOMPARE(accessibleText(lamp, QAccessible::Description), QString("at rest"));

    w.click("Command6");
    QTRY_COMPARE(accessibleText(lamp, QAccessible::Description), QString("on the way"));
    QTRY_COMPARE_WITH_TIMEOUT(accessibleText(lamp, QAccessible::Description), finally, 5000);
}

void TestAccessibility::tabFollowsTheLayout_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("stops");
    QTest::newRow("Tab") << int(Qt::Key_Tab) << kTabStops;
    // Backwards, Qt enters an option group at its last option; still one
    // stop per group.
    QStringList backwards(kTabStops.rbegin(), kTabStops.rend());
    backwards.prepend(backwards.takeLast());  // from COM OPEN, back to Slew rate
    backwards.replace(backwards.indexOf("Option4"), "Option5");
    backwards.replace(backwards.indexOf("Option1"), "Option3");
    QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab) << backwards;
}

void TestAccessibility::tabFollowsTheLayout() {
    QFETCH(int, key);
    QFETCH(QStringList, stops);
    showActive();
    control("Command1")->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), control("Command1"));

    QStringList visited{QApplication::focusWidget()->objectName()};
    for (qsizetype i = 1; i <= stops.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        visited << QApplication::focusWidget()->objectName();
    }
    // Round once, and back where it started.
    QCOMPARE(visited, stops + QStringList{stops.first()});
}

void TestAccessibility::returnPressesTheFocusedButton_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("presses");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("name");
    QTest::newRow("Return once") << int(Qt::Key_Return) << 1 << "Stop"
                                 << "Stop the position readings";
    QTest::newRow("Enter twice") << int(Qt::Key_Enter) << 2 << "Real"
                                 << "Start the position readings";
}

void TestAccessibility::returnPressesTheFocusedButton() {
    QFETCH(int, key);
    QFETCH(int, presses);
    QFETCH(QString, caption);
    QFETCH(QString, name);
    showActive();
    auto* real = control<QPushButton>("Command4");
    // Reached as a keyboard user would: by Tab from the last GOTO box.
    control("Command10")->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), control("Command10"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), real);

    QSignalSpy clicked(real, &QPushButton::clicked);
    for (int i = 0; i < presses; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    }
    QCOMPARE(clicked.count(), presses);
    QCOMPARE(real->text(), caption);
    QCOMPARE(accessibleText(real, QAccessible::Name), name);
}

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
