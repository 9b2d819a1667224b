// Where every control of the window sits. The layout was drawn in twips at
// 96 dpi; positions and sizes are kept exactly as drawn, so the fonts and the
// few style tweaks below are chosen to fit the controls, not the other way
// round.
#include <QAbstractButton>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTimer>
#include <algorithm>
#include <iterator>

#include "ui/cached_group_box.h"
#include "ui/form1.h"
#include "ui/lamp.h"

// The icons live in a static library, whose resources the linker would drop
// without a reference; this must be outside any namespace.
static void initIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace morvane {

namespace {

constexpr double kTwipsPerPixel = 15.0;

// The layout was designed around the classic 8-point UI font at 96 dpi, 11
// pixels. Sizes are given in pixels because the geometry is in pixels too; a
// point size would grow with the screen's logical dpi and spill out of the
// controls. Wider default families (DejaVu Sans) need a pixel less to fit.
constexpr int kLargestFontPixels = 11;
constexpr int kSmallestFontPixels = 9;

constexpr int kPositionPollMs = 1000;

// The option buttons are drawn 12 to 17 pixels high and as narrow as 25
// pixels, less than the style's own indicator and spacing need. A proxy
// rather than a style sheet: a style sheet takes its widgets out of the
// window's font propagation.
class CompactOptionStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        switch (metric) {
            case PM_ExclusiveIndicatorWidth:
            case PM_ExclusiveIndicatorHeight:
                return kIndicatorPixels;
            case PM_RadioButtonLabelSpacing:
                return kLabelSpacingPixels;
            default:
                return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

private:
    static constexpr int kIndicatorPixels = 11;
    static constexpr int kLabelSpacingPixels = 3;
};

// The width the style leaves for a control's caption, or -1 for controls
// whose text is not a fixed caption.
int captionRoom(QWidget* control) {
    QStyle* style = control->style();
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        if (button->autoDefault()) {
            option.features |= QStyleOptionButton::AutoDefaultButton;
        }
        return style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
    }
    if (auto* radio = qobject_cast<QRadioButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = radio->text();
        return style->subElementRect(QStyle::SE_RadioButtonContents, &option, radio).width();
    }
    if (auto* label = qobject_cast<QLabel*>(control)) {
        return label->contentsRect().width();
    }
    return -1;
}

QString captionOf(QWidget* control) {
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        return button->text();
    }
    if (auto* label = qobject_cast<QLabel*>(control)) {
        return label->text();
    }
    return {};
}

bool captionFits(QWidget* control) {
    const int room = captionRoom(control);
    return room < 0 || control->fontMetrics().horizontalAdvance(captionOf(control)) <= room;
}

// Takes the largest face, in the platform's default family, at which no
// caption is cut off.
void fitFont(QWidget* window) {
    const QList<QWidget*> controls = window->findChildren<QWidget*>();
    QFont face = window->font();
    for (int pixels = kLargestFontPixels; pixels >= kSmallestFontPixels; --pixels) {
        face.setPixelSize(pixels);
        window->setFont(face);
        if (std::all_of(controls.begin(), controls.end(), captionFits)) {
            return;
        }
    }
}

int twips(int value) {
    return qRound(value / kTwipsPerPixel);
}

// What a screen reader says for a control: what it is, and, where the
// caption leaves it unsaid, what it does and what it sends.
void describe(QWidget* control, const QString& name, const QString& description = {}) {
    control->setAccessibleName(name);
    if (!description.isEmpty()) {
        control->setAccessibleDescription(description);
    }
}

// Return and Enter click a focused button, as Space does. Qt does that only
// for buttons in dialogs (auto-default ones), and making these auto-default
// would also draw whichever has the focus as the window's default button.
class ReturnClicks : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
            auto* button = qobject_cast<QPushButton*>(watched);
            if (button && modifiers == Qt::NoModifier &&
                (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
                button->click();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

QRect toPixels(const TwipsRect& r) {
    return {twips(r.left), twips(r.top), twips(r.width), twips(r.height)};
}

// Every control kind used here takes (caption, parent) in its constructor.
template <typename Control>
Control* place(QWidget* parent, const char* name, const QString& caption, const TwipsRect& at) {
    auto* control = new Control(caption, parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(toPixels(at));
    return control;
}

}  // namespace

void Form1::buildControls() {
    setWindowTitle(QStringLiteral("Morvane Control Ver1.10"));
    setFixedSize(twips(4200), twips(5640));

    initIconResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/morvane-48.png"), QSize(48, 48));
    icon.addFile(QStringLiteral(":/icons/morvane-64.png"), QSize(64, 64));
    setWindowIcon(icon);

    // Created in reading order, which is also the keyboard order;
    // setTabOrder() states that order outright so later additions cannot
    // disturb it.
    Command1 =
        place<QPushButton>(this, "Command1", QStringLiteral("COM OPEN"), {120, 120, 1092, 495});
    Command2 =
        place<QPushButton>(this, "Command2", QStringLiteral("CLOSE"), {1320, 120, 1092, 495});
    Command2->setEnabled(false);

    // The three options choose the port; being the only buttons in their
    // frame makes them one exclusive group, apart from the tracking options.
    Frame1 = place<CachedGroupBox>(this, "Frame1", QStringLiteral("COM"), {2520, 120, 1572, 612});
    Option1 = place<QRadioButton>(Frame1, "Option1", QStringLiteral("1"), {120, 240, 372, 252});
    Option2 = place<QRadioButton>(Frame1, "Option2", QStringLiteral("2"), {600, 240, 372, 252});
    Option3 = place<QRadioButton>(Frame1, "Option3", QStringLiteral("3"), {1080, 240, 372, 252});
    Option1->setChecked(true);

    Frame2 = place<CachedGroupBox>(this, "Frame2", QStringLiteral("Set Coordinate"),
                                   {120, 720, 3975, 1095});
    Label1 = place<QLabel>(Frame2, "Label1", QStringLiteral("RA"), {120, 360, 372, 252});
    Text1 = place<QLineEdit>(Frame2, "Text1", QStringLiteral("00"), {480, 360, 492, 264});
    Label3 = place<QLabel>(Frame2, "Label3", QStringLiteral("h"), {1080, 360, 135, 255});
    Text2 = place<QLineEdit>(Frame2, "Text2", QStringLiteral("00"), {1200, 360, 492, 264});
    Label4 = place<QLabel>(Frame2, "Label4", QStringLiteral("m"), {1680, 360, 252, 252});
    Text3 = place<QLineEdit>(Frame2, "Text3", QStringLiteral("00"), {2040, 360, 492, 264});
    Label5 = place<QLabel>(Frame2, "Label5", QStringLiteral("s"), {2640, 360, 252, 252});
    Label2 = place<QLabel>(Frame2, "Label2", QStringLiteral("RD"), {120, 720, 372, 252});
    Text4 = place<QLineEdit>(Frame2, "Text4", QStringLiteral("+"), {480, 720, 492, 264});
    Text5 = place<QLineEdit>(Frame2, "Text5", QStringLiteral("00"), {1080, 720, 492, 264});
    Label6 = place<QLabel>(Frame2, "Label6", QStringLiteral("d"), {1680, 720, 372, 252});
    Text6 = place<QLineEdit>(Frame2, "Text6", QStringLiteral("00"), {2040, 720, 492, 264});
    Label7 = place<QLabel>(Frame2, "Label7", QStringLiteral("'"), {2640, 720, 132, 252});
    Command3 =
        place<QPushButton>(Frame2, "Command3", QStringLiteral("GOTO"), {2880, 360, 972, 615});
    // Slow Goto and its note lie past the frame's edges: the frame clips them
    // out of sight, yet they stay shown so the button keeps its place in the
    // keyboard focus order.
    Command10 =
        place<QPushButton>(Frame2, "Command10", QStringLiteral("Slow Goto"), {4320, 360, 975, 495});
    Label18 = place<QLabel>(Frame2, "Label18", QStringLiteral("Slow Goto is Slow-Goto command"),
                            {1200, 1800, 2655, 255});

    Frame3 = place<CachedGroupBox>(this, "Frame3", QStringLiteral("Real Coordinate"),
                                   {120, 1920, 3972, 732});
    Label8 = place<QLabel>(Frame3, "Label8", QStringLiteral("RA/RD"), {120, 360, 732, 252});
    Label10 = place<QLabel>(Frame3, "Label10", QStringLiteral("00:00:00 / +00d00'"),
                            {960, 360, 1812, 252});
    Command4 =
        place<QPushButton>(Frame3, "Command4", QStringLiteral("Real"), {2880, 240, 972, 372});

    Frame6 = place<CachedGroupBox>(this, "Frame6", QStringLiteral("Sync"), {120, 2760, 3975, 975});
    Label11 = place<QLabel>(Frame6, "Label11", QStringLiteral("RA"), {120, 240, 375, 255});
    Text8 = place<QLineEdit>(Frame6, "Text8", QStringLiteral("00"), {480, 240, 495, 270});
    Label13 = place<QLabel>(Frame6, "Label13", QStringLiteral("h"), {1080, 240, 135, 255});
    Text9 = place<QLineEdit>(Frame6, "Text9", QStringLiteral("00"), {1200, 240, 495, 270});
    Label14 = place<QLabel>(Frame6, "Label14", QStringLiteral("m"), {1800, 240, 255, 255});
    Text10 = place<QLineEdit>(Frame6, "Text10", QStringLiteral("00"), {2040, 240, 495, 270});
    Label15 = place<QLabel>(Frame6, "Label15", QStringLiteral("s"), {2640, 240, 255, 255});
    Label12 = place<QLabel>(Frame6, "Label12", QStringLiteral("RD"), {120, 600, 375, 255});
    Text11 = place<QLineEdit>(Frame6, "Text11", QStringLiteral("+"), {480, 600, 495, 270});
    Text12 = place<QLineEdit>(Frame6, "Text12", QStringLiteral("00"), {1200, 600, 495, 270});
    Label16 = place<QLabel>(Frame6, "Label16", QStringLiteral("d"), {1800, 600, 135, 255});
    Text13 = place<QLineEdit>(Frame6, "Text13", QStringLiteral("00"), {2040, 600, 495, 270});
    Label17 = place<QLabel>(Frame6, "Label17", QStringLiteral("'"), {2640, 600, 255, 255});
    Command9 =
        place<QPushButton>(Frame6, "Command9", QStringLiteral("Sync"), {2880, 240, 975, 615});

    Frame4 = place<CachedGroupBox>(this, "Frame4", QStringLiteral("Eclipsing binaries Search"),
                                   {120, 3840, 3972, 732});
    Text7 = place<QLineEdit>(Frame4, "Text7", QStringLiteral("ERIYY"), {120, 240, 2652, 372});
    Command5 =
        place<QPushButton>(Frame4, "Command5", QStringLiteral("Search"), {2880, 240, 972, 372});

    Frame5 =
        place<CachedGroupBox>(this, "Frame5", QStringLiteral("Goto East"), {120, 4680, 2775, 855});
    Command6 = place<QPushButton>(Frame5, "Command6", QStringLiteral("GO"), {120, 240, 735, 495});
    Shape1 = new Lamp(Frame5);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(toPixels({960, 360, 255, 255}));
    Shape1->setFillColor(kLampAtRest);
    Label9 = place<QLabel>(Frame5, "Label9", QStringLiteral("EQ Tarcking"), {1320, 240, 1095, 255});
    Option4 = place<QRadioButton>(Frame5, "Option4", QStringLiteral("ON"), {1320, 480, 615, 180});
    Option5 = place<QRadioButton>(Frame5, "Option5", QStringLiteral("OFF"), {1920, 480, 735, 180});
    // Shown as chosen only; nothing is sent to the mount for it at start.
    Option4->setChecked(true);

    Command7 = place<QPushButton>(this, "Command7", QStringLiteral("Date/Time Set"),
                                  {3000, 4800, 1095, 735});
    // Below the bottom edge of the fixed-size window, like Slow Goto reachable
    // only through the keyboard.
    Command8 =
        place<QPushButton>(this, "Command8", QStringLiteral("Slew rate"), {3000, 8160, 1095, 495});

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kPositionPollMs);

    // Names and descriptions for screen readers, which see neither the
    // frames' titles beside the boxes nor the lamp's colour. A control with a
    // caption is called by it, so that "press COM OPEN" finds what it says;
    // where the caption alone is ambiguous, context follows a comma. What a
    // control does and sends is its description.
    describe(Command1, QStringLiteral("COM OPEN"),
             QStringLiteral("Opens the chosen port at 9600 baud, 8 data bits, no parity, "
                            "1 stop bit. Sends nothing."));
    describe(Command2, QStringLiteral("CLOSE"),
             QStringLiteral("Stops the position readings and closes the port."));
    // Their tooltips, the devices they open, serve as their descriptions.
    describe(Option1, QStringLiteral("1, port 1"));
    describe(Option2, QStringLiteral("2, port 2"));
    describe(Option3, QStringLiteral("3, port 3"));

    const QString southOnly = QStringLiteral("A minus sign (-) means south; anything else north.");
    const auto coordinateBoxes = [&](QLineEdit* const(&boxes)[6], const QString& whose) {
        const char* const what[] = {"Right ascension hours",   "Right ascension minutes",
                                    "Right ascension seconds", "Declination sign",
                                    "Declination degrees",     "Declination arcminutes"};
        for (int i = 0; i < 6; ++i) {
            describe(boxes[i], QStringLiteral("%1, %2").arg(QLatin1String(what[i]), whose),
                     i == 3 ? southOnly : QString());
        }
    };
    coordinateBoxes({Text1, Text2, Text3, Text4, Text5, Text6}, QStringLiteral("GOTO target"));
    coordinateBoxes({Text8, Text9, Text10, Text11, Text12, Text13}, QStringLiteral("Sync star"));

    describe(Command3, QStringLiteral("GOTO"),
             QStringLiteral("Sends R, the target's right ascension and declination as "
                            "hexadecimal words, for example R3B79,FC2C."));
    describe(Command10, QStringLiteral("Slow Goto"),
             QStringLiteral("Sends each motor to the target with its own slow goto: two "
                            "eight-byte P commands, right ascension motor first."));
    // No name of its own: it is read as its caption, "Real" or "Stop", which
    // names what the next click does.
    Command4->setAccessibleDescription(
        QStringLiteral("Reads the telescope's position from the mount once a second (sends "
                       "E) and shows it in the readout."));
    // The readout keeps its text as its name, so that it is read out as it
    // changes.
    Label10->setAccessibleDescription(
        QStringLiteral("Telescope position, right ascension / declination, as the mount last "
                       "reported it."));
    describe(Command9, QStringLiteral("Sync"),
             QStringLiteral("Asks for confirmation, then sends S and the star's right ascension "
                            "and declination as hexadecimal words, for example S3B79,FC2C."));
    describe(Text7, QStringLiteral("Star name to search"),
             QStringLiteral("A catalogue name, constellation first, such as ERIYY or PERBET."));
    describe(Command5, QStringLiteral("Search"),
             QStringLiteral("Copies the star's coordinates from the catalogue into the GOTO "
                            "target. Sends nothing."));
    describe(Command6, QStringLiteral("GO, Goto East"),
             QStringLiteral("Sends B0000,0000, then asks L once a second until the mount "
                            "reports its arrival; the status lamp beside follows it."));
    describe(Shape1, QStringLiteral("Goto East status lamp"));
    Shape1->setColorMeaning(kLampAtRest, QStringLiteral("at rest"));
    Shape1->setColorMeaning(kLampOnTheWay, QStringLiteral("on the way"));
    Shape1->setColorMeaning(kLampArrived, QStringLiteral("arrived"));
    Shape1->setColorMeaning(kLampGaveUp, QStringLiteral("gave up"));
    describe(Option4, QStringLiteral("ON, tracking"), QStringLiteral("Sends T and byte 02."));
    describe(Option5, QStringLiteral("OFF, tracking"), QStringLiteral("Sends T and byte 00."));
    describe(Command7, QStringLiteral("Date/Time Set"),
             QStringLiteral("Sends H and the computer's local hour, minute, second, month, "
                            "day and year within the century, one byte each, then 09 00 01."));
    describe(Command8, QStringLiteral("Slew rate"),
             QStringLiteral("Moves each motor at rate 1, positive then negative, right "
                            "ascension first: four eight-byte P commands."));

    auto* returnClicks = new ReturnClicks(this);
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->installEventFilter(returnClicks);
    }

    // Made last so that it outlives the options that use it. The base is a
    // fresh copy of the application's style, which the proxy then owns.
    auto* compactStyle = new CompactOptionStyle(QStyleFactory::create(style()->name()));
    compactStyle->setParent(this);
    for (QRadioButton* option : {Option1, Option2, Option3, Option4, Option5}) {
        option->setStyle(compactStyle);
    }

    fitFont(this);
}

void Form1::setTabOrder() {
    // Top to bottom, left to right within each frame; the hidden-away Slow
    // Goto and Slew rate follow the buttons they were drawn next to.
    QWidget* const order[] = {
        Command1, Command2, Option1,  Option2, Option3,  Text1,     Text2,
        Text3,    Text4,    Text5,    Text6,   Command3, Command10, Command4,
        Text8,    Text9,    Text10,   Text11,  Text12,   Text13,    Command9,
        Text7,    Command5, Command6, Option4, Option5,  Command7,  Command8,
    };
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

}  // namespace morvane
