#include "simulator/reply_scheduler.h"

#include <algorithm>

namespace morvane::sim {

ReplyScheduler::ReplyScheduler(Writer writer, QObject* parent)
    : QObject(parent), m_writer(std::move(writer)) {
    m_clock.start();
    m_timer.setSingleShot(true);
    // Pacing needs millisecond accuracy; a coarse timer would bunch bytes.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ReplyScheduler::writeDue);
}

void ReplyScheduler::schedule(const QByteArray& bytes, std::chrono::nanoseconds delay) {
    if (bytes.isEmpty()) {
        return;
    }
    if (m_queue.empty() && delay <= std::chrono::nanoseconds::zero()) {
        m_writer(bytes);
        return;
    }
    m_queue.push_back({earliestStart(delay), bytes});
    arm();
}

void ReplyScheduler::scheduleInPieces(const QList<QByteArray>& pieces,
                                      std::chrono::nanoseconds delay,
                                      std::chrono::nanoseconds gap) {
    std::chrono::nanoseconds due = earliestStart(delay);
    for (const QByteArray& piece : pieces) {
        m_queue.push_back({due, piece});
        due += gap;
    }
    arm();
}

void ReplyScheduler::schedulePaced(const QByteArray& bytes, std::chrono::nanoseconds delay,
                                   std::chrono::nanoseconds perByte) {
    std::chrono::nanoseconds due = earliestStart(delay);
    for (char byte : bytes) {
        due += perByte;
        m_queue.push_back({due, QByteArray(1, byte)});
    }
    arm();
}

void ReplyScheduler::clear() {
    m_queue.clear();
    m_timer.stop();
}

std::chrono::nanoseconds ReplyScheduler::earliestStart(std::chrono::nanoseconds delay) const {
    const auto start = now() + delay;
    return m_queue.empty() ? start : std::max(start, m_queue.back().due);
}

void ReplyScheduler::writeDue() {
    const auto at = now();
    QByteArray due;
    while (!m_queue.empty() && m_queue.front().due <= at) {
        due += m_queue.front().bytes;
        m_queue.pop_front();
    }
    if (!due.isEmpty()) {
        m_writer(due);
    }
    arm();
}

void ReplyScheduler::arm() {
    if (m_queue.empty()) {
        m_timer.stop();
        return;
    }
    const auto wait = std::max(m_queue.front().due - now(), std::chrono::nanoseconds::zero());
    // Round up: firing a little late is harmless, firing early only re-arms.
    m_timer.start(std::chrono::ceil<std::chrono::milliseconds>(wait));
}

}  // namespace morvane::sim
