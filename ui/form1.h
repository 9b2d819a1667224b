// The one window of the program. Controls keep the names they have in the
// layout tables (Command1, Text1, ...) so tests and accessibility tools find
// them; every handler is named after its control.
#pragma once

#include "mount/codec.h"

#include <QWidget>
#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace morvane {

class Lamp;
class MountLink;
class Prompter;
struct ExchangeResult;

namespace operations {
class ArrivalWatch;
class Clock;
class MountSession;
}  // namespace operations

class Form1 : public QWidget {
    Q_OBJECT
public:
    // The window uses `prompter` for every message; without one it shows
    // real message boxes. It drives the mount through `session`, shared with
    // the remote servers; without one it has a session of its own.
    explicit Form1(Prompter* prompter = nullptr, QWidget* parent = nullptr,
                   operations::MountSession* session = nullptr);
    ~Form1() override;

    MountLink& link() { return *MSComm2; }
    operations::MountSession& session() { return *m_session; }

    // Where the time comes from (the window's own system clock unless set).
    void setClock(const operations::Clock* clock);
    // The catalogue used when the working directory has no star.dat.
    void setInstalledCatalogue(const QString& path) { m_installedCatalogue = path; }

public slots:
    void Command1_Click();   // COM OPEN
    void Command2_Click();   // CLOSE
    void Command3_Click();   // GOTO
    void Command4_Click();   // Real / Stop
    void Command5_Click();   // Search
    void Command6_Click();   // GO (Goto East)
    void Command7_Click();   // Date/Time Set
    void Command8_Click();   // Slew rate
    void Command9_Click();   // Sync
    void Command10_Click();  // Slow Goto
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void Option4_Click();  // tracking ON
    void Option5_Click();  // tracking OFF
    void Timer1_Timer();

private:
    // Builds every control at its place, with its caption and initial state
    // (form1_layout.cpp).
    void buildControls();
    void setTabOrder();
    void connectHandlers();

    // The six boxes of one coordinate entry: GOTO's or Sync's.
    struct CoordinateBoxes {
        QLineEdit* hours;
        QLineEdit* minutes;
        QLineEdit* seconds;
        QLineEdit* sign;
        QLineEdit* degrees;
        QLineEdit* arcminutes;
    };
    static codec::SexagesimalEntry entryOf(const CoordinateBoxes& boxes);
    void sendCoordinates(const CoordinateBoxes& boxes, char letter);
    void switchMonitorOff();

    int chosenPort() const;
    void showChosenPort();
    void refreshPortToolTips();
    void showFailure(const QString& text);
    // Shows an exchange's failure, unless the user closed the port or its
    // loss has been reported already.
    void reportFailure(const ExchangeResult& result);

    void onOpenChanged(bool open);
    void showTarget(char letter, const codec::SexagesimalEntry& entry);
    void showTracking(bool on);
    bool eventFilter(QObject* watched, QEvent* event) override;

    std::unique_ptr<operations::MountSession> m_ownSession;
    operations::MountSession* m_session = nullptr;
    std::unique_ptr<Prompter> m_ownPrompter;
    Prompter* m_prompter = nullptr;
    bool m_pollInFlight = false;
    bool m_showingTracking = false;  // options moved for the session: send nothing
    std::unique_ptr<operations::Clock> m_systemClock;
    const operations::Clock* m_clock = nullptr;
    QString m_installedCatalogue;
    operations::ArrivalWatch* m_arrivalWatch = nullptr;

    // Controls, named as in the layout tables.
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command7 = nullptr;
    QPushButton* Command8 = nullptr;
    QPushButton* Command9 = nullptr;
    QPushButton* Command10 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option3 = nullptr;
    QRadioButton* Option4 = nullptr;
    QRadioButton* Option5 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text5 = nullptr;
    QLineEdit* Text6 = nullptr;
    QLineEdit* Text7 = nullptr;
    QLineEdit* Text8 = nullptr;
    QLineEdit* Text9 = nullptr;
    QLineEdit* Text10 = nullptr;
    QLineEdit* Text11 = nullptr;
    QLineEdit* Text12 = nullptr;
    QLineEdit* Text13 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Label15 = nullptr;
    QLabel* Label16 = nullptr;
    QLabel* Label17 = nullptr;
    QLabel* Label18 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QGroupBox* Frame5 = nullptr;
    QGroupBox* Frame6 = nullptr;
    Lamp* Shape1 = nullptr;
    QTimer* Timer1 = nullptr;
    MountLink* MSComm2 = nullptr;
};

}  // namespace morvane
