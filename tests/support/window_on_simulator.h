// The window with port 1 mapped to a simulated mount on a pseudo-terminal,
// for end-to-end tests that click the named controls.
#pragma once

#include "mount/link.h"
#include "simulator/simulated_mount.h"
#include "tests/support/recording_prompter.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>
#include <memory>

namespace morvane::testing {

inline const char* const kGotoBoxes[] = {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6"};
inline const char* const kSyncBoxes[] = {"Text8", "Text9", "Text10", "Text11", "Text12", "Text13"};

class WindowOnSimulator {
public:
    // Starts the simulator and builds the window (with `prompter` in place of
    // the recording one, if given); `open` also clicks COM OPEN. Returns an
    // empty text on success, else what went wrong.
    QString start(bool open = true, Prompter* own = nullptr) {
        window.reset();  // anything a test before left behind
        prompter = RecordingPrompter();
        qunsetenv("MORVANE_COM2");
        qunsetenv("MORVANE_COM3");
        sim = std::make_unique<sim::SimulatedMount>();
        QString error;
        if (!sim->start(&error)) {
            return error;
        }
        qputenv("MORVANE_COM1", sim->devicePath().toLocal8Bit());
        window = std::make_unique<Form1>(own ? own : &prompter);
        if (open) {
            click("Command1");
            if (!window->link().isOpen()) {
                return QStringLiteral("COM OPEN failed");
            }
        }
        return {};
    }

    ~WindowOnSimulator() {
        window.reset();
        sim.reset();
        qunsetenv("MORVANE_COM1");
    }

    template <class T = QWidget>
    T* control(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

    void click(const char* name) {
        QTest::mouseClick(control<QAbstractButton>(name), Qt::LeftButton);
    }

    void type(const char* name, const QString& text) {
        auto* box = control<QLineEdit>(name);
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }

    // Hours, minutes, seconds, sign, degrees, arcminutes into one box set.
    void typeEntry(const char* const (&boxes)[6], const QStringList& values) {
        for (int i = 0; i < 6; ++i) {
            type(boxes[i], values.at(i));
        }
    }

    QStringList entry(const char* const (&boxes)[6]) const {
        QStringList texts;
        for (const char* name : boxes) {
            texts << text(name);
        }
        return texts;
    }

    // A box's, a button's or a label's text.
    QString text(const char* name) const { return control(name)->property("text").toString(); }

    // Shorter limits, so that a test of a silent mount takes a moment.
    void shortenLimits(std::chrono::milliseconds reply, std::chrono::milliseconds arrival) {
        LinkLimits limits;
        limits.drain = 1000ms;
        limits.countedReply = reply;
        limits.answer = reply;
        limits.arrivalWatch = arrival;
        window->link().setLimits(limits);
    }

    std::unique_ptr<sim::SimulatedMount> sim;
    RecordingPrompter prompter;
    std::unique_ptr<Form1> window;
};

}  // namespace morvane::testing
