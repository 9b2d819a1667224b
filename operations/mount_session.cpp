#include "operations/mount_session.h"

#include "mount/link.h"
#include "mount/port_naming.h"
#include "operations/arrival_watch.h"
#include "operations/coordinate_send.h"
#include "operations/motor_commands.h"
#include "operations/position_readings.h"

#include <QPointer>
#include <QTimer>

namespace morvane::operations {
namespace {

const QString kLineSettings = QStringLiteral("9600,N,8,1");

}  // namespace

MountSession::MountSession(QObject* parent)
    : QObject(parent),
      m_link(new MountLink(this)),
      m_readings(new PositionReadings(*m_link, this)),
      m_arrivalWatch(new ArrivalWatch(*m_link, this)) {
    m_link->setObjectName(QStringLiteral("MSComm2"));
    connect(m_link, &MountLink::openChanged, this, &MountSession::openChanged);
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

void MountSession::sendTarget(char letter, codec::TargetWords target, ExchangeCallback done) {
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
        return;
    }
    emit targetSent(letter, entry);
}

void MountSession::setTracking(bool on, ExchangeCallback done) {
    if (on != m_tracking) {
        m_tracking = on;
        emit trackingChanged(on);
    }
    operations::setTracking(*m_link, on, std::move(done));
}

}  // namespace morvane::operations
