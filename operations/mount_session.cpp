#include "operations/mount_session.h"

#include "mount/link.h"
#include "mount/port_naming.h"
#include "operations/arrival_watch.h"
#include "operations/coordinate_send.h"
#include "operations/horizon_limit.h"
#include "operations/motor_commands.h"
#include "operations/position_readings.h"

#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace morvane::operations {
namespace {

const QString kLineSettings = QStringLiteral("9600,N,8,1");

// Where the mount goes for these words, as angles.
Equatorial anglesOf(codec::TargetWords words) {
    return {words.rightAscension * 24.0 / 65536.0,
            static_cast<std::int16_t>(words.declination) * 360.0 / 65536.0};
}

// Degrees for a message: whole where whole, else to the hundredth.
QString degreesText(double degrees) {
    return QString::number(degrees, 'f', degrees == std::round(degrees) ? 0 : 2);
}

}  // namespace

MountSession::MountSession(QObject* parent)
    : QObject(parent),
      m_link(new MountLink(this)),
      m_readings(new PositionReadings(*m_link, this)),
      m_arrivalWatch(new ArrivalWatch(*m_link, this)) {
    m_link->setObjectName(QStringLiteral("MSComm2"));
    connect(m_link, &MountLink::openChanged, this, [this](bool open) {
        if (!open) {
            // Closed by CLOSE, by the last holder or by the device going
            // away: nobody holds it any more.
            m_windowHolds = false;
            m_clientsHolding.clear();
            m_silenceCheck.stop();
        }
        emit openChanged(open);
    });
    m_clock.start();
    m_silenceCheck.setSingleShot(true);
    connect(&m_silenceCheck, &QTimer::timeout, this, &MountSession::forgetSilentClients);
    choosePort(1);
}

MountSession::~MountSession() {
    // The watch and the readings use the link: they go before it.
    delete m_arrivalWatch;
    delete m_readings;
    delete m_link;
}

void MountSession::choosePort(int number) {
    m_chosenPort = number;
    if (!m_link->isOpen()) {
        m_link->setPort(number, deviceForPort(number, currentPortEnvironment()));
    }
}

std::optional<QString> MountSession::open() {
    auto error = openPort();
    m_windowHolds = m_windowHolds || !error;
    return error;
}

std::optional<QString> MountSession::openPort() {
    if (m_link->isOpen()) {
        return std::nullopt;
    }
    m_link->setPort(m_chosenPort, deviceForPort(m_chosenPort, currentPortEnvironment()));
    if (auto error = m_link->setSettings(kLineSettings)) {
        return error;
    }
    return m_link->open();
}

void MountSession::close() {
    m_link->close();
}

bool MountSession::isOpen() const {
    return m_link->isOpen();
}

std::optional<QString> MountSession::openFor(ClientId client) {
    // Each ClientID costs an entry until it is let go: a client making up
    // new ones cannot grow the list without end.
    if (m_clientsHolding.count(client) == 0 && m_clientsHolding.size() >= kMaximumClients) {
        return QStringLiteral("%1 clients already hold %2: one of them must disconnect first.")
            .arg(kMaximumClients)
            .arg(m_link->portDescription());
    }
    if (auto error = openPort()) {
        return error;
    }
    m_clientsHolding[client] = m_clock.elapsed();
    if (!m_silenceCheck.isActive()) {
        m_silenceCheck.start(m_clientTimeout);
    }
    return std::nullopt;
}

void MountSession::letGo(ClientId client) {
    if (m_clientsHolding.erase(client) > 0) {
        closeIfUnheld();
    }
}

bool MountSession::isOpenFor(ClientId client) const {
    return isOpen() && (m_windowHolds || m_clientsHolding.count(client) > 0);
}

void MountSession::heardFrom(ClientId client) {
    if (const auto found = m_clientsHolding.find(client); found != m_clientsHolding.end()) {
        found->second = m_clock.elapsed();
    }
}

// Runs when the client heard from longest ago may have fallen silent.
void MountSession::forgetSilentClients() {
    const qint64 now = m_clock.elapsed();
    const qint64 timeout = m_clientTimeout.count();
    std::erase_if(m_clientsHolding, [&](const auto& held) { return now - held.second >= timeout; });
    if (m_clientsHolding.empty()) {
        closeIfUnheld();
        return;
    }
    qint64 oldest = now;
    for (const auto& [client, heard] : m_clientsHolding) {
        oldest = std::min(oldest, heard);
    }
    m_silenceCheck.start(std::chrono::milliseconds(oldest + timeout - now));
}

void MountSession::closeIfUnheld() {
    if (!m_windowHolds && m_clientsHolding.empty() && m_link->isOpen()) {
        m_link->close();
    }
}

void MountSession::setSite(const Site& site) {
    if (site.latitude != m_site.latitude || site.longitude != m_site.longitude ||
        site.elevation != m_site.elevation) {
        m_site = site;
        emit siteChanged();
    }
}

void MountSession::setHorizonLimit(std::optional<double> degrees) {
    if (degrees != m_horizonLimit) {
        m_horizonLimit = degrees;
        emit horizonLimitChanged();
    }
}

std::optional<QString> MountSession::gotoRefusal(codec::TargetWords target) const {
    const auto altitude = altitudeBelowLimit(m_horizonLimit, anglesOf(target), m_site,
                                             std::chrono::system_clock::now());
    if (!altitude) {
        return std::nullopt;
    }
    // Cut, not rounded, so that the altitude shown is below the limit too.
    const double shown = std::floor(*altitude * 100.0) / 100.0;
    return QStringLiteral(
               "The target is at %1\u00b0 altitude, below the horizon limit of %2\u00b0: the "
               "goto was not sent.")
        .arg(degreesText(shown), degreesText(*m_horizonLimit));
}

std::optional<QString> MountSession::gotoRefusal(const codec::SexagesimalEntry& entry) const {
    if (!m_horizonLimit) {
        return std::nullopt;
    }
    const auto words = codec::wordsForEntry(entry);
    return words ? gotoRefusal(*words) : std::nullopt;
}

std::optional<QString> MountSession::sendTarget(char letter, codec::TargetWords target,
                                                ExchangeCallback done) {
    if (letter == kGotoLetter) {
        if (auto refusal = gotoRefusal(target)) {
            return refusal;
        }
    }
    const codec::SexagesimalEntry entry = codec::entryForWords(target);
    QPointer<MountSession> self(this);
    const auto refused =
        sendCoordinates(*m_link, letter, entry, [self, letter, done](const ExchangeResult& r) {
            if (self && r.ok() && letter == kGotoLetter) {
                self->m_arrivalWatch->follow();
            }
            done(r);
        });
    if (refused) {
        // Only the declination word 0x8000 (180 degrees) cannot be sent.
        QTimer::singleShot(0, this, [done, error = *refused] {
            done({ExchangeStatus::WriteFailed, {}, error});
        });
        return std::nullopt;
    }
    emit targetSent(letter, entry);
    return std::nullopt;
}

void MountSession::setTracking(bool on, ExchangeCallback done) {
    if (on != m_tracking) {
        m_tracking = on;
        emit trackingChanged(on);
    }
    operations::setTracking(*m_link, on, std::move(done));
}

}  // namespace morvane::operations
