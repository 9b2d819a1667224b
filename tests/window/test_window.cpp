// The window as the user first sees it, hears it through a screen reader and
// walks it with the keyboard: every control present with its caption, initial
// state, accessible name and description, every caption readable at the
// window's font, the option groups, the lamp, the Tab order and Return.
#include "tests/support/recording_prompter.h"
#include "ui/form1.h"
#include "ui/lamp.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QTimer>

using namespace morvane;

namespace {

struct Control {
    const char* object;
    const char* caption;  // or the text box's initial text
    // The accessible name: the caption, with context after a comma where the
    // caption alone is ambiguous; a text box, which shows none, has a name of
    // its own. nullptr: the caption itself.
    const char* name;
    const char* description;  // a part of the accessible description; nullptr: none checked
};

// clang-format off
const Control kControls[] = {
    {"Command1", "COM OPEN", nullptr, "at 9600 baud"},
    {"Command2", "CLOSE", nullptr, "closes the port"},
    {"Frame1", "COM", nullptr, nullptr},
    // A port's description is its tooltip: the device it opens.
    {"Option1", "1", "1, port 1", "Port 1: /dev/morvane-test-port"},
    {"Option2", "2", "2, port 2", nullptr}, {"Option3", "3", "3, port 3", nullptr},
    {"Frame2", "Set Coordinate", nullptr, nullptr}, {"Label1", "RA", nullptr, nullptr},
    {"Text1", "00", "Right ascension hours, GOTO target", nullptr},
    {"Label3", "h", nullptr, nullptr},
    {"Text2", "00", "Right ascension minutes, GOTO target", nullptr},
    {"Label4", "m", nullptr, nullptr},
    {"Text3", "00", "Right ascension seconds, GOTO target", nullptr},
    {"Label5", "s", nullptr, nullptr}, {"Label2", "RD", nullptr, nullptr},
    {"Text4", "+", "Declination sign, GOTO target", "minus sign (-) means south"},
    {"Text5", "00", "Declination degrees, GOTO target", nullptr},
    {"Label6", "d", nullptr, nullptr},
    {"Text6", "00", "Declination arcminutes, GOTO target", nullptr},
    {"Label7", "'", nullptr, nullptr},
    {"Command3", "GOTO", nullptr, "R3B79,FC2C"},
    {"Command10", "Slow Goto", nullptr, "two eight-byte P commands"},
    {"Label18", "Slow Goto is Slow-Goto command", nullptr, nullptr},
    {"Frame3", "Real Coordinate", nullptr, nullptr}, {"Label8", "RA/RD", nullptr, nullptr},
    {"Label10", "00:00:00 / +00d00'", nullptr, "Telescope position"},  // read out as it changes
    {"Command4", "Real", nullptr, "(sends E)"},
    {"Frame6", "Sync", nullptr, nullptr}, {"Label11", "RA", nullptr, nullptr},
    {"Text8", "00", "Right ascension hours, Sync star", nullptr},
    {"Label13", "h", nullptr, nullptr},
    {"Text9", "00", "Right ascension minutes, Sync star", nullptr},
    {"Label14", "m", nullptr, nullptr},
    {"Text10", "00", "Right ascension seconds, Sync star", nullptr},
    {"Label15", "s", nullptr, nullptr}, {"Label12", "RD", nullptr, nullptr},
    {"Text11", "+", "Declination sign, Sync star", "minus sign (-) means south"},
    {"Text12", "00", "Declination degrees, Sync star", nullptr},
    {"Label16", "d", nullptr, nullptr},
    {"Text13", "00", "Declination arcminutes, Sync star", nullptr},
    {"Label17", "'", nullptr, nullptr},
    {"Command9", "Sync", nullptr, "S3B79,FC2C"},
    {"Frame4", "Eclipsing binaries Search", nullptr, nullptr},
    {"Text7", "ERIYY", "Star name to search", nullptr},
    {"Command5", "Search", nullptr, "Sends nothing"},
    {"Frame5", "Goto East", nullptr, nullptr},
    {"Command6", "GO", "GO, Goto East", "B0000,0000"},
    {"Label9", "EQ Tarcking", nullptr, nullptr},
    {"Option4", "ON", "ON, tracking", "T and byte 02"},
    {"Option5", "OFF", "OFF, tracking", "T and byte 00"},
    {"Command7", "Date/Time Set", nullptr, "then 09 00 01"},
    {"Command8", "Slew rate", nullptr, "four eight-byte P commands"},
};
// clang-format on

// Laid out beyond their frame or the window: shown (so Tab reaches them) but
// out of sight.
const QStringList kOutOfSight{"Command10", "Label18", "Command8"};

// Where Tab goes from COM OPEN at start: CLOSE is disabled until the port is
// open, and each group of options is one stop, at its chosen option.
const QStringList kTabStops = {
    "Command1", "Option1",   "Text1",    "Text2",    "Text3",    "Text4",   "Text5",    "Text6",
    "Command3", "Command10", "Command4", "Text8",    "Text9",    "Text10",  "Text11",   "Text12",
    "Text13",   "Command9",  "Text7",    "Command5", "Command6", "Option4", "Command7", "Command8",
};

QString accessibleText(QWidget* widget, QAccessible::Text which) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(which) : QStringLiteral("<no interface>");
}

QString textOf(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        return b->text();
    }
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        return e->text();
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        return l->text();
    }
    return qobject_cast<QGroupBox*>(w)->title();
}

// Where the style draws a control's text.
QRect textArea(QWidget* w) {
    if (auto* frame = qobject_cast<QGroupBox*>(w)) {
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        return w->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel,
                                          frame);
    }
    if (qobject_cast<QLineEdit*>(w)) {
        // QLineEdit keeps 2 px left and right and 1 px above and below its
        // text inside the frame.
        return w->rect().adjusted(3, 2, -3, -2);
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return label->contentsRect();
    }
    QStyleOptionButton option;
    option.initFrom(w);
    option.text = textOf(w);
    return w->style()->subElementRect(qobject_cast<QRadioButton*>(w)
                                          ? QStyle::SE_RadioButtonContents
                                          : QStyle::SE_PushButtonContents,
                                      &option, w);
}

// Counts the paint events a widget gets.
struct PaintCount : QObject {
    explicit PaintCount(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Paint;
        return false;
    }
    int count = 0;
};

}  // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void windowAndInitialState();
    void everyControl();
    void captionsReadable();
    void optionGroupsIndependent();
    void lampPaintsAndDescribesItsColour();
    void tabFollowsTheLayout();
    void returnPressesTheFocusedButton();

private:
    QWidget* control(const char* name) const { return m_window->findChild<QWidget*>(name); }

    testing::RecordingPrompter m_prompter;
    std::unique_ptr<Form1> m_window;
};

void TestWindow::init() {
    QApplication::setStyle(QStringLiteral("Fusion"));  // as the application does
    qputenv("MORVANE_COM1", "/dev/morvane-test-port");
    m_window = std::make_unique<Form1>(&m_prompter);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestWindow::cleanup() {
    m_window.reset();
    qunsetenv("MORVANE_COM1");
}

void TestWindow::windowAndInitialState() {
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Morvane Control Ver1.10"));
    QCOMPARE(m_window->size(), QSize(280, 376));
    QCOMPARE(m_window->maximumSize(), QSize(280, 376));
    QVERIFY(!m_window->windowIcon().pixmap(48).isNull());
    auto* timer = m_window->findChild<QTimer*>("Timer1");
    QCOMPARE(timer->interval(), 1000);
    QVERIFY(!timer->isActive());
    QCOMPARE(m_window->findChild<Lamp*>("Shape1")->fillColor(), QColor(0, 192, 0));
}

void TestWindow::everyControl() {
    const QMap<QString, QByteArray> kinds{{"Command", "QPushButton"},
                                          {"Option", "QRadioButton"},
                                          {"Text", "QLineEdit"},
                                          {"Label", "QLabel"},
                                          {"Frame", "QGroupBox"}};
    QSet<QString> focusableNames;
    for (const Control& c : kControls) {
        const auto found = m_window->findChildren<QWidget*>(c.object);
        QVERIFY2(found.size() == 1, c.object);
        QWidget* w = found.first();
        const QString kind = QString(c.object).remove(QRegularExpression("\\d+$"));
        QVERIFY2(w->inherits(kinds[kind]), c.object);
        QCOMPARE(textOf(w), QString::fromUtf8(c.caption));
        QVERIFY2(w->isVisible(), c.object);
        QCOMPARE(w->visibleRegion().isEmpty(), kOutOfSight.contains(c.object));
        QCOMPARE(w->isEnabled(), QByteArray(c.object) != "Command2");
        if (auto* option = qobject_cast<QRadioButton*>(w)) {
            QCOMPARE(option->isChecked(),
                     QByteArray(c.object) == "Option1" || QByteArray(c.object) == "Option4");
        }
        // Said as seen: whoever is told "press COM OPEN" finds it by that name.
        const QString name = accessibleText(w, QAccessible::Name);
        QVERIFY2(kind == "Text" || name.startsWith(QString::fromUtf8(c.caption)), c.object);
        QCOMPARE(name, QString::fromUtf8(c.name ? c.name : c.caption));
        if (w->focusPolicy() & Qt::TabFocus) {
            QVERIFY2(!focusableNames.contains(name), qPrintable(name));  // told apart by ear
            focusableNames.insert(name);
        }
        const QString description = accessibleText(w, QAccessible::Description);
        QVERIFY2(!c.description || description.contains(c.description), qPrintable(description));
    }
    auto* lamp = m_window->findChild<Lamp*>("Shape1");
    QVERIFY(lamp->isVisible());
    QCOMPARE(accessibleText(lamp, QAccessible::Name), QString("Goto East status lamp"));
}

void TestWindow::captionsReadable() {
    for (const Control& c : kControls) {
        QWidget* w = control(c.object);
        const QRect area = textArea(w);
        const QFontMetrics metrics = w->fontMetrics();
        QVERIFY2(metrics.horizontalAdvance(textOf(w)) <= area.width(),
                 qPrintable(QStringLiteral("%1 needs %2 px, has %3 px")
                                .arg(c.object)
                                .arg(metrics.horizontalAdvance(textOf(w)))
                                .arg(area.width())));
        // The caption's ink, centred in its area, within the control.
        const int top = area.top() + (area.height() - metrics.height()) / 2 + metrics.ascent();
        const QRect ink = metrics.tightBoundingRect(textOf(w)).translated(0, top);
        QVERIFY2(ink.top() >= 0 && ink.bottom() < w->height(), c.object);
    }
}

void TestWindow::optionGroupsIndependent() {
    for (const char* click : {"Option3", "Option5", "Option2", "Option4"}) {
        QTest::mouseClick(control(click), Qt::LeftButton);
    }
    QList<bool> checked;
    for (const char* option : {"Option1", "Option2", "Option3", "Option4", "Option5"}) {
        checked << qobject_cast<QRadioButton*>(control(option))->isChecked();
    }
    QCOMPARE(checked, (QList<bool>{false, true, false, true, false}));
}

void TestWindow::lampPaintsAndDescribesItsColour() {
    auto* lamp = m_window->findChild<Lamp*>("Shape1");
    QCOMPARE(accessibleText(lamp, QAccessible::Description), QString("at rest"));
    PaintCount painted(lamp);
    for (const auto& [colour, meaning] : {std::pair{kLampOnTheWay, "on the way"},
                                          {kLampArrived, "arrived"},
                                          {kLampGaveUp, "gave up"}}) {
        painted.count = 0;
        lamp->setFillColor(colour);
        QCOMPARE(accessibleText(lamp, QAccessible::Description), QString(meaning));
        QTRY_VERIFY(painted.count > 0);  // shown, not only stored
    }
    // Painted round, in its colour; the corners stay clear.
    QImage image(lamp->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    lamp->render(&image, {}, {}, QWidget::DrawChildren);
    QCOMPARE(image.pixelColor(lamp->rect().center()), kLampGaveUp);
    QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(image.pixelColor(lamp->width() - 1, lamp->height() - 1).alpha(), 0);
}

void TestWindow::tabFollowsTheLayout() {
    control("Command1")->setFocus(Qt::OtherFocusReason);
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (qsizetype i = 1; i <= kTabStops.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, kTabStops + QStringList{kTabStops.first()});  // round once, and back
}

void TestWindow::returnPressesTheFocusedButton() {
    auto* real = qobject_cast<QPushButton*>(control("Command4"));
    real->setFocus(Qt::OtherFocusReason);
    QSignalSpy clicked(real, &QPushButton::clicked);
    QTest::keyClick(real, Qt::Key_Return);
    QCOMPARE(real->text(), QString("Stop"));
    QCOMPARE(accessibleText(real, QAccessible::Name), QString("Stop"));  // as the caption
    QTest::keyClick(real, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(clicked.count(), 2);
    QCOMPARE(accessibleText(real, QAccessible::Name), QString("Real"));
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"
