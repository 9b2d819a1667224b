// The simulated mount on a thread of its own, with its own event loop: it
// reads its end of the pseudo-terminal as a separate process would, the
// moment the window's bytes reach the kernel, whatever the window's thread
// is busy with. Everything it hears is stamped on arrival.
#pragma once

#include "simulator/simulated_mount.h"

#include <QMutex>
#include <QThread>

#include <atomic>
#include <chrono>
#include <functional>

namespace morvane::bench {

class SimulatorThread {
public:
    using Clock = std::chrono::steady_clock;

    SimulatorThread() {
        m_context.moveToThread(&m_thread);
        m_thread.start();
    }

    ~SimulatorThread() {
        run([this] { delete m_mount; });
        m_thread.quit();
        m_thread.wait();
    }

    // Runs `work` on the simulator's thread and waits for it.
    void run(const std::function<void()>& work) {
        QMetaObject::invokeMethod(&m_context, work, Qt::BlockingQueuedConnection);
    }

    // Starts the mount; returns its device, or an empty text.
    QString start() {
        QString device;
        run([&] {
            m_mount = new sim::SimulatedMount;
            // A command is logged as soon as its last byte is parsed, before
            // the mount obeys and answers it; the bytes are reported after.
            QObject::connect(m_mount, &sim::SimulatedMount::commandReceived, m_mount,
                             [this] { stamp(); });
            QObject::connect(m_mount, &sim::SimulatedMount::bytesReceived, m_mount,
                             [this](const QByteArray& bytes) {
                                 stamp();
                                 m_received += bytes;
                             });
            if (m_mount->start()) {
                device = m_mount->devicePath();
            }
        });
        return device;
    }

    // Forgets what was heard; `onFirst` runs on the simulator's thread when
    // the next bytes arrive.
    void rearm(std::function<void()> onFirst) {
        run([&] {
            m_received.clear();
            m_first = Clock::time_point{};
            m_onFirst = std::move(onFirst);
        });
    }

    Clock::time_point firstHeard() {
        Clock::time_point first;
        run([&] { first = m_first; });
        return first;
    }

    QByteArray received() {
        QByteArray bytes;
        run([&] { bytes = m_received; });
        return bytes;
    }

    sim::SimulatedMount& mount() { return *m_mount; }  // use only inside run()

private:
    void stamp() {
        if (m_first == Clock::time_point{}) {
            m_first = Clock::now();
            if (m_onFirst) {
                m_onFirst();
            }
        }
    }

    QThread m_thread;
    QObject m_context;
    sim::SimulatedMount* m_mount = nullptr;
    // Touched on the simulator's thread only.
    QByteArray m_received;
    Clock::time_point m_first{};
    std::function<void()> m_onFirst;
};

}  // namespace morvane::bench
