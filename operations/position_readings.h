// The telescope's position, read on demand and shared by everyone who asks:
// the window's readout and any remote client. Readings are taken only when
// somebody asks; a reading recent enough is handed out again instead of
// asking the mount; two position queries never go out closer than the
// minimum gap, however many ask and however fast. This is the one place that
// knows whether a reading still holds: a command that moves the mount or
// redefines its position ends every reading taken before it.
#pragma once

#include "mount/exchange.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace morvane {
class MountLink;
}

namespace morvane::operations {

// The position reply: two four-digit words, a separator and a terminator.
inline constexpr int kPositionReplyLength = 10;

struct PositionSample {
    ExchangeStatus status = ExchangeStatus::Done;
    QByteArray reply;      // the ten characters "RRRR,DDDD#" when read
    QString error;         // why not, for the user: the exchange failed, or its
                           // reply (status Done) is not a position
    qint64 takenAtMs = 0;  // on the readings' own steady clock, at the reply's end
    bool ok() const { return status == ExchangeStatus::Done && error.isEmpty(); }
    double rightAscensionHours() const;  // 0 <= h < 24
    double declinationDegrees() const;   // -180 <= d < 180
    QString text() const;                // "HH:MM:SS / +DDdMM'"
};

using SampleCallback = std::function<void(const PositionSample&)>;

class PositionReadings : public QObject {
    Q_OBJECT
public:
    struct Timing {
        std::chrono::milliseconds minimumGap{250};  // from one reply's end to the next query
        std::chrono::milliseconds maximumAge{500};  // oldest reading handed out again
    };

    explicit PositionReadings(MountLink& link, QObject* parent = nullptr);

    // `done` runs once (never from inside this call) with a reading no older
    // than `maximumAge` that still holds, or with the failure of the reading
    // taken for it. Failed readings are never handed out again.
    void request(SampleCallback done);
    void request(std::chrono::milliseconds maximumAge, SampleCallback done);

    // The last successful reading while it still holds: at most
    // `maximumAge` old, the port open, and no command since that changes the
    // position.
    std::optional<PositionSample> usable(std::chrono::milliseconds maximumAge) const;
    std::optional<PositionSample> usable() const { return usable(m_timing.maximumAge); }
    // Milliseconds on the readings' clock, for comparing with takenAtMs.
    qint64 now() const { return m_clock.elapsed(); }

    void setTiming(Timing timing) { m_timing = timing; }
    Timing timing() const { return m_timing; }

signals:
    // Every reading taken, successful or not.
    void taken(const PositionSample& sample);

private:
    void startReading();
    void finishReading(const ExchangeResult& result);
    void forgetReadings();

    MountLink& m_link;
    Timing m_timing;
    QElapsedTimer m_clock;
    QTimer m_gap;
    std::optional<PositionSample> m_latest;
    std::optional<qint64> m_lastReplyEnd;
    bool m_inFlight = false;
    // Counts the commands that changed the position (and the port's opening
    // and closing), so that a reading under way as one was queued is not kept.
    quint64 m_era = 0;
    quint64 m_readingEra = 0;  // of the reading under way
    std::vector<SampleCallback> m_waiting;
};

}  // namespace morvane::operations
