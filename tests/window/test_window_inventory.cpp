// The window as the user first sees it: every control where it was drawn, with
// its caption and initial state, readable at the window's font, and reachable
// in the expected keyboard order.
#include <QApplication>
#include <QDebug>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QTimer>
#include <memory>

#include "ui/form1.h"
#include "ui/lamp.h"
#include "ui/prompter.h"

using morvane::Form1;
using morvane::Lamp;

namespace {

// Keeps whatever the window says (the tracking options, clicked with the
// port closed, have something to say) instead of opening real boxes.
class RecordingPrompter : public morvane::Prompter {
public:
    void inform(const QString& text) override { texts.append(text); }
    void confirm(const QString& text, std::function<void(bool)> answer) override {
        texts.append(text);
        answer(false);
    }

    QStringList texts;
};

// The layout tables are in twips, 15 to the pixel.
int px(int twips) {
    return qRound(twips / 15.0);
}

QRect pxRect(int left, int top, int width, int height) {
    return {px(left), px(top), px(width), px(height)};
}

const QStringList kCoordinateBoxes = {
    "Text1", "Text2", "Text3",  "Text4",  "Text5",  "Text6",   // Set Coordinate
    "Text8", "Text9", "Text10", "Text11", "Text12", "Text13",  // Sync
};

QString textOf(QWidget* control) {
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        return button->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        return edit->text();
    }
    if (auto* label = qobject_cast<QLabel*>(control)) {
        return label->text();
    }
    if (auto* frame = qobject_cast<QGroupBox*>(control)) {
        return frame->title();
    }
    return {};
}

// Where the style draws a control's text, and the rectangle that clips it.
struct TextPlace {
    QRect area;
    Qt::Alignment alignment;
    QRect clip;
};

TextPlace textPlace(QWidget* control) {
    QStyle* style = control->style();
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        if (button->autoDefault()) {
            option.features |= QStyleOptionButton::AutoDefaultButton;
        }
        return {style->subElementRect(QStyle::SE_PushButtonContents, &option, button),
                Qt::AlignCenter, button->rect()};
    }
    if (auto* radio = qobject_cast<QRadioButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = radio->text();
        return {style->subElementRect(QStyle::SE_RadioButtonContents, &option, radio),
                Qt::AlignLeft | Qt::AlignVCenter, radio->rect()};
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
        QRect area = style->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                         .marginsRemoved(edit->textMargins());
        // QLineEdit keeps a further 2 px left and right and 1 px above and
        // below the text, and clips its text to what is left.
        area.adjust(2, 1, -2, -1);
        return {area, Qt::AlignLeft | Qt::AlignVCenter, area};
    }
    if (auto* label = qobject_cast<QLabel*>(control)) {
        return {label->contentsRect(), label->alignment(), label->rect()};
    }
    if (auto* frame = qobject_cast<QGroupBox*>(control)) {
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.textAlignment = frame->alignment();
        option.lineWidth = 1;
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        return {
            style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame),
            Qt::AlignLeft | Qt::AlignVCenter, frame->rect()};
    }
    return {};
}

}  // namespace

class TestWindowInventory : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controls_data();
    void controls();
    void windowItself();
    void optionGroups_data();
    void optionGroups();
    void coordinateGroupsIndependent_data();
    void coordinateGroupsIndependent();
    void clippedControlsUnseen_data();
    void clippedControlsUnseen();
    void tabReachesNext_data();
    void tabReachesNext();
    void focusOrder();
    void captionsReadable_data();
    void captionsReadable();

private:
    template <typename T = QWidget>
    T* control(const QString& name) {
        const QList<T*> found = m_window->findChildren<T*>(name);
        return found.size() == 1 ? found.first() : nullptr;
    }
    void showAndActivate();

    RecordingPrompter m_prompter;
    std::unique_ptr<Form1> m_window;
};

void TestWindowInventory::initTestCase() {
    // As the application does.
    QApplication::setStyle(QStringLiteral("Fusion"));
}

void TestWindowInventory::init() {
    m_prompter.texts.clear();
    m_window = std::make_unique<Form1>(&m_prompter);
    showAndActivate();
}

void TestWindowInventory::cleanup() {
    m_window.reset();
}

void TestWindowInventory::showAndActivate() {
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestWindowInventory::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("parent");  // empty: directly on the window
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("checked");  // -1 where not an option button

    const QByteArray button = "QPushButton";
    const QByteArray option = "QRadioButton";
    const QByteArray edit = "QLineEdit";
    const QByteArray label = "QLabel";
    const QByteArray frame = "QGroupBox";
    const QString window;

    auto row = [](const QString& name, const QByteArray& kind, const QString& text, QRect geometry,
                  const QString& parent, bool enabled = true, int checked = -1) {
        QTest::newRow(qPrintable(name))
            << name << kind << text << geometry << parent << enabled << checked;
    };

    row("Command1", button, "COM OPEN", pxRect(120, 120, 1092, 495), window);
    row("Command2", button, "CLOSE", pxRect(1320, 120, 1092, 495), window, false);
    row("Frame1", frame, "COM", pxRect(2520, 120, 1572, 612), window);
    row("Frame2", frame, "Set Coordinate", pxRect(120, 720, 3975, 1095), window);
    row("Frame3", frame, "Real Coordinate", pxRect(120, 1920, 3972, 732), window);
    row("Frame6", frame, "Sync", pxRect(120, 2760, 3975, 975), window);
    row("Frame4", frame, "Eclipsing binaries Search", pxRect(120, 3840, 3972, 732), window);
    row("Frame5", frame, "Goto East", pxRect(120, 4680, 2775, 855), window);
    row("Command7", button, "Date/Time Set", pxRect(3000, 4800, 1095, 735), window);
    row("Command8", button, "Slew rate", pxRect(3000, 8160, 1095, 495), window);

    row("Option1", option, "1", pxRect(120, 240, 372, 252), "Frame1", true, 1);
    row("Option2", option, "2", pxRect(600, 240, 372, 252), "Frame1", true, 0);
    row("Option3", option, "3", pxRect(1080, 240, 372, 252), "Frame1", true, 0);

    row("Label1", label, "RA", pxRect(120, 360, 372, 252), "Frame2");
    row("Text1", edit, "00", pxRect(480, 360, 492, 264), "Frame2");
    row("Label3", label, "h", pxRect(1080, 360, 135, 255), "Frame2");
    row("Text2", edit, "00", pxRect(1200, 360, 492, 264), "Frame2");
    row("Label4", label, "m", pxRect(1680, 360, 252, 252), "Frame2");
    row("Text3", edit, "00", pxRect(2040, 360, 492, 264), "Frame2");
    row("Label5", label, "s", pxRect(2640, 360, 252, 252), "Frame2");
    row("Label2", label, "RD", pxRect(120, 720, 372, 252), "Frame2");
    row("Text4", edit, "+", pxRect(480, 720, 492, 264), "Frame2");
    row("Text5", edit, "00", pxRect(1080, 720, 492, 264), "Frame2");
    row("Label6", label, "d", pxRect(1680, 720, 372, 252), "Frame2");
    row("Text6", edit, "00", pxRect(2040, 720, 492, 264), "Frame2");
    row("Label7", label, "'", pxRect(2640, 720, 132, 252), "Frame2");
    row("Command3", button, "GOTO", pxRect(2880, 360, 972, 615), "Frame2");
    row("Command10", button, "Slow Goto", pxRect(4320, 360, 975, 495), "Frame2");
    row("Label18", label, "Slow Goto is Slow-Goto command", pxRect(1200, 1800, 2655, 255),
        "Frame2");

    row("Label8", label, "RA/RD", pxRect(120, 360, 732, 252), "Frame3");
    row("Label10", label, "00:00:00 / +00d00'", pxRect(960, 360, 1812, 252), "Frame3");
    row("Command4", button, "Real", pxRect(2880, 240, 972, 372), "Frame3");

    row("Label11", label, "RA", pxRect(120, 240, 375, 255), "Frame6");
    row("Text8", edit, "00", pxRect(480, 240, 495, 270), "Frame6");
    row("Label13", label, "h", pxRect(1080, 240, 135, 255), "Frame6");
    row("Text9", edit, "00", pxRect(1200, 240, 495, 270), "Frame6");
    row("Label14", label, "m", pxRect(1800, 240, 255, 255), "Frame6");
    row("Text10", edit, "00", pxRect(2040, 240, 495, 270), "Frame6");
    row("Label15", label, "s", pxRect(2640, 240, 255, 255), "Frame6");
    row("Label12", label, "RD", pxRect(120, 600, 375, 255), "Frame6");
    row("Text11", edit, "+", pxRect(480, 600, 495, 270), "Frame6");
    row("Text12", edit, "00", pxRect(1200, 600, 495, 270), "Frame6");
    row("Label16", label, "d", pxRect(1800, 600, 135, 255), "Frame6");
    row("Text13", edit, "00", pxRect(2040, 600, 495, 270), "Frame6");
    row("Label17", label, "'", pxRect(2640, 600, 255, 255), "Frame6");
    row("Command9", button, "Sync", pxRect(2880, 240, 975, 615), "Frame6");

    row("Text7", edit, "ERIYY", pxRect(120, 240, 2652, 372), "Frame4");
    row("Command5", button, "Search", pxRect(2880, 240, 972, 372), "Frame4");

    row("Command6", button, "GO", pxRect(120, 240, 735, 495), "Frame5");
    row("Shape1", "morvane::Lamp", "", pxRect(960, 360, 255, 255), "Frame5");
    row("Label9", label, "EQ Tarcking", pxRect(1320, 240, 1095, 255), "Frame5");
    row("Option4", option, "ON", pxRect(1320, 480, 615, 180), "Frame5", true, 1);
    row("Option5", option, "OFF", pxRect(1920, 480, 735, 180), "Frame5", true, 0);
}

void TestWindowInventory::controls() {
    QFETCH(QString, name);
    QFETCH(QByteArray, kind);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    QFETCH(QString, parent);
    QFETCH(bool, enabled);
    QFETCH(int, checked);

    QWidget* widget = control(name);
    QVERIFY2(widget, "missing, or more than one control of that name");
    QCOMPARE(QByteArray(widget->metaObject()->className()), kind);
    QCOMPARE(textOf(widget), text);
    QCOMPARE(widget->geometry(), geometry);
    QWidget* expectedParent = parent.isEmpty() ? m_window.get() : control(parent);
    QVERIFY(expectedParent);
    QCOMPARE(widget->parentWidget(), expectedParent);
    QCOMPARE(widget->isEnabled(), enabled);
    // Even the controls that lie out of sight are shown, not hidden.
    QVERIFY(widget->isVisible());
    if (checked >= 0) {
        auto* radio = qobject_cast<QRadioButton*>(widget);
        QVERIFY(radio);
        QCOMPARE(radio->isChecked(), checked == 1);
    }
}

void TestWindowInventory::windowItself() {
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Morvane Control Ver1.10"));
    QCOMPARE(m_window->size(), QSize(280, 376));
    QCOMPARE(m_window->minimumSize(), QSize(280, 376));
    QCOMPARE(m_window->maximumSize(), QSize(280, 376));

    const QIcon icon = m_window->windowIcon();
    const QList<QSize> sizes = icon.availableSizes();
    QVERIFY2(sizes.contains(QSize(48, 48)) && sizes.contains(QSize(64, 64)),
             qPrintable(QDebug::toString(sizes)));
    for (int side : {48, 64}) {
        // Sizes are listed even for files that fail to load; the images must
        // really be there, in colour with transparency.
        const QImage image = icon.pixmap(QSize(side, side)).toImage();
        QCOMPARE(image.size(), QSize(side, side));
        QVERIFY(image.hasAlphaChannel());
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QVERIFY(qAlpha(image.pixel(side / 2, side / 2)) == 255);
    }

    auto* timer = m_window->findChild<QTimer*>(QStringLiteral("Timer1"));
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 1000);
    QVERIFY(!timer->isActive());

    auto* lamp = control<Lamp>(QStringLiteral("Shape1"));
    QVERIFY(lamp);
    QCOMPARE(lamp->fillColor(), QColor(0, 192, 0));
}

void TestWindowInventory::optionGroups_data() {
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QList<bool>>("checked");  // Option1..Option5 afterwards

    QTest::newRow("port 2 clears port 1, keeps tracking ON")
        << QStringList{"Option2"} << QList<bool>{false, true, false, true, false};
    QTest::newRow("port 3 clears port 1")
        << QStringList{"Option3"} << QList<bool>{false, false, true, true, false};
    QTest::newRow("back to port 1")
        << QStringList{"Option3", "Option1"} << QList<bool>{true, false, false, true, false};
    QTest::newRow("OFF clears ON, keeps port 1")
        << QStringList{"Option5"} << QList<bool>{true, false, false, false, true};
    QTest::newRow("port 2 then OFF")
        << QStringList{"Option2", "Option5"} << QList<bool>{false, true, false, false, true};
    QTest::newRow("OFF, port 3, ON") << QStringList{"Option5", "Option3", "Option4"}
                                     << QList<bool>{false, false, true, true, false};
}

void TestWindowInventory::optionGroups() {
    QFETCH(QStringList, clicks);
    QFETCH(QList<bool>, checked);

    for (const QString& name : clicks) {
        auto* option = control<QRadioButton>(name);
        QVERIFY(option);
        QTest::mouseClick(option, Qt::LeftButton);
    }
    for (int i = 0; i < checked.size(); ++i) {
        const QString name = QStringLiteral("Option%1").arg(i + 1);
        auto* option = control<QRadioButton>(name);
        QVERIFY(option);
        QVERIFY2(option->isChecked() == checked.at(i), qPrintable(name));
    }
}

void TestWindowInventory::coordinateGroupsIndependent_data() {
    QTest::addColumn<QString>("typedInto");
    for (const QString& name : kCoordinateBoxes) {
        QTest::newRow(qPrintable(name)) << name;
    }
}

void TestWindowInventory::coordinateGroupsIndependent() {
    QFETCH(QString, typedInto);

    QHash<QString, QString> before;
    for (const QString& name : kCoordinateBoxes) {
        auto* box = control<QLineEdit>(name);
        QVERIFY(box);
        before.insert(name, box->text());
    }
    QTest::keyClicks(control<QLineEdit>(typedInto), QStringLiteral("7"));
    for (const QString& name : kCoordinateBoxes) {
        const QString expected = name == typedInto ? before.value(name) + "7" : before.value(name);
        QVERIFY2(control<QLineEdit>(name)->text() == expected, qPrintable(name));
    }
}

void TestWindowInventory::clippedControlsUnseen_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("Slow Goto, right of its frame") << "Command10";
    QTest::newRow("its note, below its frame") << "Label18";
    QTest::newRow("Slew rate, below the window") << "Command8";
}

void TestWindowInventory::clippedControlsUnseen() {
    QFETCH(QString, name);
    QWidget* widget = control(name);
    QVERIFY(widget);
    QVERIFY(widget->isVisible());
    QVERIFY(!widget->parentWidget()->rect().intersects(widget->geometry()));
    QVERIFY(widget->visibleRegion().isEmpty());
}

void TestWindowInventory::tabReachesNext_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    auto row = [](const char* tag, const char* from, const char* to) {
        QTest::newRow(tag) << QString::fromLatin1(from) << QString::fromLatin1(to);
    };
    row("GOTO to the unseen Slow Goto", "Command3", "Command10");
    row("Slow Goto on to Real", "Command10", "Command4");
    row("Date/Time Set to the unseen Slew rate", "Command7", "Command8");
    row("last Sync box to Sync", "Text13", "Command9");
    // CLOSE is disabled at start, and each option group is one stop, at its
    // chosen option (the arrow keys move within the group).
    row("COM OPEN past CLOSE to the chosen port", "Command1", "Option1");
    row("port options are one stop", "Option1", "Text1");
    row("GO to the chosen tracking option", "Command6", "Option4");
    row("tracking options are one stop", "Option4", "Command7");
}

void TestWindowInventory::tabReachesNext() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    QWidget* start = control(from);
    QWidget* target = control(to);
    QVERIFY(start && target);
    start->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), start);
    QTest::keyClick(start, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), target);
}

void TestWindowInventory::focusOrder() {
    const QStringList expected = {
        "Command1", "Command2", "Option1",  "Option2", "Option3",  "Text1",     "Text2",
        "Text3",    "Text4",    "Text5",    "Text6",   "Command3", "Command10", "Command4",
        "Text8",    "Text9",    "Text10",   "Text11",  "Text12",   "Text13",    "Command9",
        "Text7",    "Command5", "Command6", "Option4", "Option5",  "Command7",  "Command8",
    };
    QWidget* first = control(expected.first());
    QVERIFY(first);
    QStringList order;
    QWidget* widget = first;
    do {
        if (widget->focusPolicy() & Qt::TabFocus) {
            order.append(widget->objectName());
        }
        widget = widget->nextInFocusChain();
    } while (widget != first && order.size() <= expected.size());
    QCOMPARE(order, expected);
}

void TestWindowInventory::captionsReadable_data() {
    QTest::addColumn<QString>("name");
    for (const char* name :
         {"Command1", "Command2", "Command3",  "Command4", "Command5", "Command6", "Command7",
          "Command8", "Command9", "Command10", "Option1",  "Option2",  "Option3",  "Option4",
          "Option5",  "Frame1",   "Frame2",    "Frame3",   "Frame4",   "Frame5",   "Frame6",
          "Label1",   "Label2",   "Label3",    "Label4",   "Label5",   "Label6",   "Label7",
          "Label8",   "Label9",   "Label10",   "Label11",  "Label12",  "Label13",  "Label14",
          "Label15",  "Label16",  "Label17",   "Label18",  "Text1",    "Text2",    "Text3",
          "Text4",    "Text5",    "Text6",     "Text7",    "Text8",    "Text9",    "Text10",
          "Text11",   "Text12",   "Text13"}) {
        QTest::newRow(name) << QString::fromLatin1(name);
    }
}

void TestWindowInventory::captionsReadable() {
    QFETCH(QString, name);
    QWidget* widget = control(name);
    QVERIFY(widget);
    const QString text = textOf(widget);
    QVERIFY(!text.isEmpty());
    const TextPlace place = textPlace(widget);
    QVERIFY(place.area.isValid());
    const QFontMetrics metrics = widget->fontMetrics();

    const int advance = metrics.horizontalAdvance(text);
    QVERIFY2(advance <= place.area.width(),
             qPrintable(QStringLiteral("caption needs %1 px, has %2 px at %3 px font")
                            .arg(advance)
                            .arg(place.area.width())
                            .arg(QFontInfo(widget->font()).pixelSize())));
    QVERIFY2(place.clip.contains(place.area), "text area reaches outside the control");

    // The ink of the caption, laid out as the style places it, inside the
    // rectangle that clips it.
    int lineTop = place.area.top() + (place.area.height() - metrics.height()) / 2;
    if (place.alignment & Qt::AlignTop) {
        lineTop = place.area.top();
    } else if (place.alignment & Qt::AlignBottom) {
        lineTop = place.area.bottom() + 1 - metrics.height();
    }
    const QRect ink = metrics.tightBoundingRect(text).translated(0, lineTop + metrics.ascent());
    QVERIFY2(ink.top() >= place.clip.top() && ink.bottom() <= place.clip.bottom(),
             qPrintable(QStringLiteral("ink rows %1..%2, room %3..%4")
                            .arg(ink.top())
                            .arg(ink.bottom())
                            .arg(place.clip.top())
                            .arg(place.clip.bottom())));

    if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(radio);
        const QRect indicator =
            radio->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, radio);
        QVERIFY2(radio->rect().contains(indicator), "indicator cut off");
        QVERIFY(!indicator.intersects(place.area));
    }
}

QTEST_MAIN(TestWindowInventory)
#include "test_window_inventory.moc"
