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

class WindowOnSimulator {
public:
    // Starts the simulator and builds the window; `open` also clicks COM OPEN.
    // Returns an empty text on success, else what went wrong.
    QString start(bool open = true) {
        sim = std::make_unique<sim::SimulatedMount>();
        QString error;
        if (!sim->start(&error)) {
            return error;
        }
        qputenv("MORVANE_COM1", sim->devicePath().toLocal8Bit());
        window = std::make_unique<Form1>(&prompter);
        if (open) {
            click("Command1");
            if (!window->link().isOpen()) {
                return prompter.messages.join('\n');
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

    QString text(const char* name) const {
        if (auto* box = control<QLineEdit>(name)) {
            return box->text();
        }
        if (auto* button = control<QAbstractButton>(name)) {
            return button->text();
        }
        return control<QWidget>(name)->property("text").toString();
    }

    std::unique_ptr<sim::SimulatedMount> sim;
    RecordingPrompter prompter;
    std::unique_ptr<Form1> window;
};

}  // namespace morvane::testing
