#include "operations/position_readings.h"

#include "mount/codec.h"
#include "mount/link.h"

#include <QPointer>

namespace morvane::operations {
namespace {

std::string_view field(const QByteArray& reply, qsizetype from) {
    if (reply.size() <= from) {
        return {};
    }
    return std::string_view(reply.constData() + from,
                            static_cast<std::size_t>(std::min<qsizetype>(4, reply.size() - from)));
}

}  // namespace

double PositionSample::rightAscensionHours() const {
    double degrees = codec::decodeField(field(reply, 0));
    if (degrees < 0) {
        degrees += 360.0;
    }
    return degrees / 15.0;
}

double PositionSample::declinationDegrees() const {
    return codec::decodeField(field(reply, 5));
}

QString PositionSample::text() const {
    return QString::fromStdString(codec::positionTextFromReply(reply.toStdString()));
}

PositionReadings::PositionReadings(MountLink& link, QObject* parent)
    : QObject(parent), m_link(link) {
    m_clock.start();
    m_gap.setSingleShot(true);
    m_gap.setTimerType(Qt::PreciseTimer);
    connect(&m_gap, &QTimer::timeout, this, &PositionReadings::startReading);
    // A reading from before a close says nothing about the mount after it.
    connect(&m_link, &MountLink::openChanged, this, [this] { m_latest.reset(); });
}

void PositionReadings::request(SampleCallback done) {
    request(m_timing.maximumAge, std::move(done));
}

void PositionReadings::request(std::chrono::milliseconds maximumAge, SampleCallback done) {
    if (m_latest && m_clock.elapsed() - m_latest->takenAtMs <= maximumAge.count() &&
        m_link.isOpen()) {
        QTimer::singleShot(0, this, [done = std::move(done), sample = *m_latest] { done(sample); });
        return;
    }
    m_waiting.push_back(std::move(done));
    if (m_inFlight || m_gap.isActive()) {
        return;  // joins the reading already coming
    }
    const qint64 sinceLast =
        m_lastReplyEnd ? m_clock.elapsed() - *m_lastReplyEnd : m_timing.minimumGap.count();
    if (sinceLast >= m_timing.minimumGap.count()) {
        startReading();
    } else {
        m_gap.start(std::chrono::milliseconds(m_timing.minimumGap.count() - sinceLast));
    }
}

void PositionReadings::startReading() {
    m_inFlight = true;
    QPointer<PositionReadings> self(this);
    m_link.submit(Exchange::counted("E", kPositionReplyLength), [self](
                                                                    const ExchangeResult& result) {
        if (!self) {
            return;
        }
        PositionReadings& readings = *self;
        readings.m_inFlight = false;
        PositionSample sample{result.status, result.reply, result.error,
                              readings.m_clock.elapsed()};
        // Only a reading that went on the wire counts for the gap.
        if (result.status == ExchangeStatus::Done || result.status == ExchangeStatus::TimedOut) {
            readings.m_lastReplyEnd = sample.takenAtMs;
        }
        if (sample.ok()) {
            readings.m_latest = sample;
        }
        auto waiting = std::move(readings.m_waiting);
        readings.m_waiting.clear();
        emit readings.taken(sample);
        for (auto& done : waiting) {
            done(sample);
        }
    });
}

}  // namespace morvane::operations
