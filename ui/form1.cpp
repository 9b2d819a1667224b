#include "ui/form1.h"

#include "mount/link.h"
#include "mount/port_naming.h"
#include "operations/arrival_watch.h"
#include "operations/clock.h"
#include "operations/coordinate_send.h"
#include "operations/motor_commands.h"
#include "operations/mount_session.h"
#include "operations/position_readings.h"
#include "operations/star_lookup.h"
#include "ui/lamp.h"
#include "ui/message_box_prompter.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace morvane {
namespace {

// Installed beside the program as <prefix>/share/morvane-control/star.dat
// (the build tree mirrors this).
QString defaultInstalledCatalogue() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/morvane-control/star.dat"));
}

}  // namespace

Form1::Form1(Prompter* prompter, QWidget* parent, operations::MountSession* session)
    : QWidget(parent) {
    if (session == nullptr) {
        m_ownSession = std::make_unique<operations::MountSession>();
        session = m_ownSession.get();
    }
    m_session = session;
    if (prompter == nullptr) {
        m_ownPrompter = std::make_unique<MessageBoxPrompter>(this);
        prompter = m_ownPrompter.get();
    }
    m_prompter = prompter;

    MSComm2 = &m_session->link();
    m_arrivalWatch = &m_session->arrivalWatch();
    m_systemClock = std::make_unique<operations::SystemClock>();
    m_clock = m_systemClock.get();
    m_installedCatalogue = defaultInstalledCatalogue();

    buildControls();
    setTabOrder();
    connectHandlers();
    refreshPortToolTips();
    showChosenPort();
}

Form1::~Form1() {
    // A session of its own goes first, so that no exchange still under way
    // can call back into a window half torn down.
    m_ownSession.reset();
}

void Form1::connectHandlers() {
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Command10, &QPushButton::clicked, this, &Form1::Command10_Click);
    connect(Option1, &QRadioButton::clicked, this, &Form1::Option1_Click);
    connect(Option2, &QRadioButton::clicked, this, &Form1::Option2_Click);
    connect(Option3, &QRadioButton::clicked, this, &Form1::Option3_Click);
    // Tracking commands go out when a choice becomes the selected one, not
    // on a click on the option already selected.
    connect(Option4, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            Option4_Click();
        }
    });
    connect(Option5, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            Option5_Click();
        }
    });
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);

    connect(MSComm2, &MountLink::portLost, this, &Form1::showFailure);
    connect(m_session, &operations::MountSession::openChanged, this, &Form1::onOpenChanged);
    connect(m_session, &operations::MountSession::targetSent, this, &Form1::showTarget);
    connect(m_session, &operations::MountSession::trackingChanged, this, &Form1::showTracking);
    connect(m_session, &operations::MountSession::userNotice, this, &Form1::showFailure);
    // The lamp follows Goto East only, not a goto a remote client sent.
    const auto eastward = [this] {
        return m_arrivalWatch->purpose() == operations::ArrivalWatch::Purpose::GotoEast;
    };
    connect(m_arrivalWatch, &operations::ArrivalWatch::departed, this, [this, eastward] {
        if (eastward()) {
            Shape1->setFillColor(kLampOnTheWay);
        }
    });
    connect(m_arrivalWatch, &operations::ArrivalWatch::arrived, this, [this, eastward] {
        if (eastward()) {
            Shape1->setFillColor(kLampArrived);
        }
    });
    connect(m_arrivalWatch, &operations::ArrivalWatch::gaveUp, this,
            [this, eastward](const QString& message) {
                if (eastward()) {
                    Shape1->setFillColor(kLampGaveUp);
                }
                showFailure(message);
            });
    connect(m_arrivalWatch, &operations::ArrivalWatch::failed, this, &Form1::showFailure);
    for (QRadioButton* option : {Option1, Option2, Option3}) {
        option->installEventFilter(this);
    }
}

// --- Port choice and connection ---------------------------------------------

void Form1::Option1_Click() {
    Option2->setChecked(false);
    Option3->setChecked(false);
    showChosenPort();
}

void Form1::Option2_Click() {
    Option1->setChecked(false);
    Option3->setChecked(false);
    showChosenPort();
}

void Form1::Option3_Click() {
    Option1->setChecked(false);
    Option2->setChecked(false);
    showChosenPort();
}

void Form1::showChosenPort() {
    // Messages about a closed port name the port the user would open.
    m_session->choosePort(chosenPort());
}

int Form1::chosenPort() const {
    int port = 0;
    if (Option1->isChecked()) {
        port = 1;
    }
    if (Option2->isChecked()) {
        port = 2;
    }
    if (Option3->isChecked()) {
        port = 3;
    }
    return port;
}

void Form1::Command1_Click() {
    m_session->choosePort(chosenPort());
    if (const auto error = m_session->open()) {
        showFailure(*error);
    }
}

void Form1::Command2_Click() {
    switchMonitorOff();
    m_session->close();
}

// The buttons follow the port, whoever opened or closed it (this window, a
// remote client, or the device going away).
void Form1::onOpenChanged(bool open) {
    if (!open) {
        switchMonitorOff();
    }
    Command1->setEnabled(!open);
    Command2->setEnabled(open);
}

void Form1::refreshPortToolTips() {
    const PortEnvironment environment = currentPortEnvironment();
    QRadioButton* const options[] = {Option1, Option2, Option3};
    for (int port = 1; port <= 3; ++port) {
        options[port - 1]->setToolTip(
            QStringLiteral("Port %1: %2").arg(port).arg(deviceForPort(port, environment)));
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    // Adapters come and go: say which device a port opens as of now.
    if (event->type() == QEvent::ToolTip &&
        (watched == Option1 || watched == Option2 || watched == Option3)) {
        refreshPortToolTips();
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::showFailure(const QString& text) {
    m_prompter->inform(text);
}

// --- Position monitor ----------------------------------------------------------

void Form1::Command4_Click() {
    // The caption always names what the next click does.
    if (Timer1->isActive()) {
        Timer1->stop();
        Command4->setText(QStringLiteral("Real"));
    } else {
        Timer1->start();
        Command4->setText(QStringLiteral("Stop"));
    }
}

void Form1::switchMonitorOff() {
    if (Timer1->isActive()) {
        Command4_Click();
    }
}

void Form1::Timer1_Timer() {
    if (m_pollInFlight) {
        return;  // the last reading is still under way: skip, never pile up
    }
    m_pollInFlight = true;
    // Shared with remote clients: a reading one of them asked for moments ago
    // serves here too.
    m_session->readings().request([this](const operations::PositionSample& reading) {
        m_pollInFlight = false;
        switch (reading.status) {
            case ExchangeStatus::Done:
                // A reply that is not a position shows nothing: the readout
                // keeps what the mount last said.
                if (reading.ok()) {
                    Label10->setText(reading.text());
                }
                break;
            case ExchangeStatus::TimedOut:
                // A mount that misses one reading may answer the next.
                Label10->setText(QStringLiteral("no reply"));
                break;
            case ExchangeStatus::NotOpen:
            case ExchangeStatus::WriteFailed:
                // Once, not once a second.
                switchMonitorOff();
                showFailure(reading.error);
                break;
            case ExchangeStatus::Closed:
            case ExchangeStatus::Lost:
                break;  // CLOSE or the loss report has dealt with it
        }
    });
}

// --- GOTO and Sync ----------------------------------------------------------------

void Form1::sendCoordinates(const CoordinateBoxes& boxes, char letter) {
    if (letter == operations::kGotoLetter) {
        // Below the horizon limit nothing happens but the message: the
        // readings are not even switched over.
        if (const auto refusal = m_session->gotoRefusal(entryOf(boxes))) {
            showFailure(*refusal);
            return;
        }
    }
    Command4_Click();
    const auto done = [this](const ExchangeResult& result) {
        // After CLOSE or a lost port the monitor stays off: back on, it would
        // poll a closed port.
        if (result.status != ExchangeStatus::Closed && result.status != ExchangeStatus::Lost) {
            Command4_Click();
        }
        reportFailure(result);
    };
    const auto refused = operations::sendCoordinates(*MSComm2, letter, entryOf(boxes), done);
    if (refused) {
        // Nothing was sent; the monitor goes back as it was all the same.
        Command4_Click();
        showFailure(*refused);
    }
}

void Form1::Command3_Click() {
    sendCoordinates({Text1, Text2, Text3, Text4, Text5, Text6}, operations::kGotoLetter);
}

void Form1::Command9_Click() {
    m_prompter->confirm(QStringLiteral("Sync"), [this](bool ok) {
        if (ok) {
            sendCoordinates({Text8, Text9, Text10, Text11, Text12, Text13},
                            operations::kSyncLetter);
        }
    });
}

// --- Catalogue search -----------------------------------------------------------

void Form1::Command5_Click() {
    Text7->setText(operations::searchKey(Text7->text()));
    const operations::StarLookup star = operations::lookUpStar(Text7->text(), m_installedCatalogue);
    if (star.status != operations::StarLookup::Status::Found) {
        showFailure(star.message);
        return;
    }
    Text1->setText(star.hours);
    Text2->setText(star.minutes);
    Text3->setText(star.seconds);
    Text4->setText(star.sign);
    Text5->setText(star.degrees);
    Text6->setText(star.arcminutes);
}

// --- Goto East, tracking, clock, motors -----------------------------------------

void Form1::Command6_Click() {
    m_arrivalWatch->start();
}

void Form1::Option4_Click() {
    Option4->setChecked(true);
    Option5->setChecked(false);
    if (!m_showingTracking) {
        m_session->setTracking(true, [this](const ExchangeResult& r) { reportFailure(r); });
    }
}

void Form1::Option5_Click() {
    Option4->setChecked(false);
    Option5->setChecked(true);
    if (!m_showingTracking) {
        m_session->setTracking(false, [this](const ExchangeResult& r) { reportFailure(r); });
    }
}

// A remote client switched tracking: the options move, nothing is sent again.
void Form1::showTracking(bool on) {
    m_showingTracking = true;
    (on ? Option4 : Option5)->setChecked(true);
    m_showingTracking = false;
}

// A remote client's target, in the boxes the window's own GOTO or Sync reads.
void Form1::showTarget(char letter, const codec::SexagesimalEntry& entry) {
    const bool sync = letter == operations::kSyncLetter;
    QLineEdit* const boxes[] = {sync ? Text8 : Text1,  sync ? Text9 : Text2,
                                sync ? Text10 : Text3, sync ? Text11 : Text4,
                                sync ? Text12 : Text5, sync ? Text13 : Text6};
    const std::string* const texts[] = {&entry.hours, &entry.minutes, &entry.seconds,
                                        &entry.sign,  &entry.degrees, &entry.arcminutes};
    for (int i = 0; i < 6; ++i) {
        boxes[i]->setText(QString::fromStdString(*texts[i]));
        boxes[i]->setCursorPosition(0);  // the whole number first, not the last decimals
    }
}

void Form1::Command7_Click() {
    operations::setMountClock(*MSComm2, *m_clock,
                              [this](const ExchangeResult& r) { reportFailure(r); });
}

void Form1::Command10_Click() {
    const auto refused =
        operations::slowGoto(*MSComm2, entryOf({Text1, Text2, Text3, Text4, Text5, Text6}),
                             [this](const ExchangeResult& r) { reportFailure(r); });
    if (refused) {
        showFailure(*refused);
    }
}

void Form1::Command8_Click() {
    operations::slew(*MSComm2, [this](const ExchangeResult& r) { reportFailure(r); });
}

void Form1::setClock(const operations::Clock* clock) {
    m_clock = clock ? clock : m_systemClock.get();
}

void Form1::reportFailure(const ExchangeResult& result) {
    if (!result.ok() && result.status != ExchangeStatus::Closed &&
        result.status != ExchangeStatus::Lost) {
        showFailure(result.error);
    }
}

codec::SexagesimalEntry Form1::entryOf(const CoordinateBoxes& boxes) {
    return {boxes.hours->text().toStdString(),   boxes.minutes->text().toStdString(),
            boxes.seconds->text().toStdString(), boxes.sign->text().toStdString(),
            boxes.degrees->text().toStdString(), boxes.arcminutes->text().toStdString()};
}

}  // namespace morvane
