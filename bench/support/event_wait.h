// Waiting inside a benchmark without distorting it: the event loop blocks
// until something happens (QTest::qWaitFor would sleep in 10 ms steps and
// delay the very events being timed).
#pragma once

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>

namespace morvane::bench {

// Runs the event loop until `done()` holds, checked every `step`, or until
// `limit` passes. Returns whether `done()` held.
inline bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                     std::chrono::milliseconds step = std::chrono::milliseconds(1)) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QTimer check;
    check.setInterval(step);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return done();
}

// Runs the event loop for `duration`, doing nothing else.
inline void runFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace morvane::bench
