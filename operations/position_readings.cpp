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

// "RRRR,DDDD#": anything else is no position, whatever it decodes to.
bool hasPositionShape(const QByteArray& reply) {
    if (reply.size() < kPositionReplyLength || reply[4] != ',' || reply[9] != '#') {
        return false;
    }
    for (const int i : {0, 1, 2, 3, 5, 6, 7, 8}) {
        if (codec::hexDigitValue(reply[i]) < 0) {
            return false;
        }
    }
    return true;
}

QString notAPosition(const QByteArray& reply, const QString& port) {
    constexpr qsizetype kShown = 16;
    QString shown;
    for (const char c : reply.first(qMin(reply.size(), kShown))) {
        shown += (c >= 0x20 && c < 0x7F)
                     ? QString(QChar::fromLatin1(c))
                     : QStringLiteral("\\x%1").arg(uchar(c), 2, 16, QChar(u'0'));
    }
    return QStringLiteral(
               "The mount on %1 answered the position query with \"%2%3\", which is "
               "not a position. Check the cable and the line settings.")
        .arg(port, shown, reply.size() > kShown ? QStringLiteral("...") : QString());
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
    connect(&m_link, &MountLink::openChanged, this, &PositionReadings::forgetReadings);
    connect(&m_link, &MountLink::positionChanging, this, &PositionReadings::forgetReadings);
}

void PositionReadings::request(SampleCallback done) {
    request(m_timing.maximumAge, std::move(done));
}

void PositionReadings::request(std::chrono::milliseconds maximumAge, SampleCallback done) {
    if (const auto sample = usable(maximumAge)) {
        QTimer::singleShot(0, this, [done = std::move(done), sample = *sample] { done(sample); });
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

std::optional<PositionSample> PositionReadings::usable(std::chrono::milliseconds maximumAge) const {
    if (m_latest && m_clock.elapsed() - m_latest->takenAtMs <= maximumAge.count() &&
        m_link.isOpen()) {
        return m_latest;
    }
    return std::nullopt;
}

void PositionReadings::forgetReadings() {
    ++m_era;
    m_latest.reset();
}

void PositionReadings::startReading() {
    m_inFlight = true;
    m_readingEra = m_era;
    QPointer<PositionReadings> self(this);
    m_link.submit(Exchange::counted("E", kPositionReplyLength),
                  [self](const ExchangeResult& result) {
                      if (self) {
                          self->finishReading(result);
                      }
                  });
}

void PositionReadings::finishReading(const ExchangeResult& result) {
    m_inFlight = false;
    PositionSample sample{result.status, result.reply, result.error, m_clock.elapsed()};
    // Only a reading that went on the wire counts for the gap.
    if (result.status == ExchangeStatus::Done || result.status == ExchangeStatus::TimedOut) {
        m_lastReplyEnd = sample.takenAtMs;
    }
    if (result.ok()) {
        if (hasPositionShape(result.reply)) {
            sample.reply.truncate(kPositionReplyLength);
        } else {
            sample.error = notAPosition(result.reply, m_link.portDescription());
        }
    }
    // Kept for later readers only if no command that changes the position
    // was queued while it was being read.
    if (sample.ok() && m_readingEra == m_era) {
        m_latest = sample;
    }
    auto waiting = std::move(m_waiting);
    m_waiting.clear();
    emit taken(sample);
    for (auto& done : waiting) {
        done(sample);
    }
}

}  // namespace morvane::operations
