// Writes answers at their due time without ever blocking: late answers,
// answers in pieces, and answers paced at the wire speed of 9600 baud.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>

namespace morvane::sim {

class ReplyScheduler : public QObject {
    Q_OBJECT

public:
    using Writer = std::function<void(const QByteArray&)>;

    // One byte at 9600 baud, 8N1: ten bits.
    static constexpr std::chrono::nanoseconds kByteTimeAt9600{1'041'667};

    explicit ReplyScheduler(Writer writer, QObject* parent = nullptr);

    // Writes the bytes once the delay has passed and everything scheduled
    // before them has gone: answers never overtake each other.
    void schedule(const QByteArray& bytes, std::chrono::nanoseconds delay);
    // As schedule(), the first piece after the delay and each further one
    // the gap after the one before it.
    void scheduleInPieces(const QList<QByteArray>& pieces, std::chrono::nanoseconds delay,
                          std::chrono::nanoseconds gap);
    // As schedule(), but one byte per byte time, each due after its own
    // transmission time as on a real line.
    void schedulePaced(const QByteArray& bytes, std::chrono::nanoseconds delay,
                       std::chrono::nanoseconds perByte = kByteTimeAt9600);
    // Forgets everything not yet written.
    void clear();
    bool isIdle() const { return m_queue.empty(); }

private:
    struct Chunk {
        std::chrono::nanoseconds due;
        QByteArray bytes;
    };

    std::chrono::nanoseconds now() const {
        return std::chrono::nanoseconds(m_clock.nsecsElapsed());
    }
    std::chrono::nanoseconds earliestStart(std::chrono::nanoseconds delay) const;
    void writeDue();
    void arm();

    Writer m_writer;
    QElapsedTimer m_clock;
    QTimer m_timer;
    std::deque<Chunk> m_queue;
};

}  // namespace morvane::sim
