#include "remote/stellarium_server.h"

#include "mount/link.h"
#include "operations/coordinate_send.h"
#include "operations/mount_session.h"
#include "operations/position_readings.h"
#include "remote/listen_failure.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(lcStellarium, "morvane.stellarium", QtInfoMsg)

namespace morvane::remote {
namespace {

using namespace std::chrono;

// Wall-clock time of a reading, in microseconds since 1970 (UTC): now, less
// the reading's age on the readings' own steady clock.
qint64 readingTimeMicroseconds(const operations::PositionReadings& readings,
                               const operations::PositionSample& sample) {
    const auto now = duration_cast<microseconds>(system_clock::now().time_since_epoch());
    return now.count() - (readings.now() - sample.takenAtMs) * 1000;
}

QString hexWords(codec::TargetWords words) {
    return QStringLiteral("%1,%2")
        .arg(words.rightAscension, 4, 16, QLatin1Char('0'))
        .arg(words.declination, 4, 16, QLatin1Char('0'))
        .toUpper();
}

}  // namespace

StellariumServer::StellariumServer(operations::MountSession& session, QObject* parent)
    : QObject(parent), m_session(session), m_server(new QTcpServer(this)) {
    connect(m_server, &QTcpServer::newConnection, this, &StellariumServer::acceptPending);
    connect(&m_ticks, &QTimer::timeout, this, &StellariumServer::tick);
    connect(&m_session, &operations::MountSession::openChanged, this, [this](bool open) {
        if (open) {
            m_toldClosed = false;  // a new episode: a refusal will be told again
        }
    });
}

StellariumServer::~StellariumServer() {
    for (const auto& client : m_clients) {
        client->socket->disconnect(this);
        client->socket->abort();
    }
}

std::optional<QString> StellariumServer::listen(const QHostAddress& address, quint16 port) {
    if (m_server->listen(address, port)) {
        qCDebug(lcStellarium).noquote() << "listening on" << endpointText(address, this->port());
        return std::nullopt;
    }
    const ListenFailure names{QStringLiteral("The Stellarium server"),
                              QStringLiteral("--stellarium-port"),
                              QStringLiteral("--stellarium-listen")};
    return listenFailureText(names, address, port, m_server->serverError(),
                             m_server->errorString());
}

QHostAddress StellariumServer::address() const {
    return m_server->serverAddress();
}

quint16 StellariumServer::port() const {
    return m_server->serverPort();
}

void StellariumServer::acceptPending() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        if (clientCount() >= m_limits.clients) {
            // Stellarium's clients are silent between gotos: none of them can
            // be told from one that has gone quiet for good, so the ones
            // reading their positions keep their places.
            int heldBack = 0;
            if (m_fullWarnings.allow(&heldBack)) {
                qCWarning(lcStellarium).noquote()
                    << QStringLiteral("%1 clients already: one more from %2 was turned away%3")
                           .arg(m_limits.clients)
                           .arg(socket->peerAddress().toString(),
                                heldBack ? QStringLiteral(" (and %1 more since the last such "
                                                          "warning)")
                                               .arg(heldBack)
                                         : QString());
            }
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto client = std::make_unique<Client>();
        client->socket = socket;
        // Qt stops reading from the kernel beyond this; the client's own
        // sending then waits (TCP flow control), whatever its rate.
        socket->setReadBufferSize(m_limits.inputBytes);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { forget(socket); });
        m_clients.push_back(std::move(client));
        qCDebug(lcStellarium).noquote()
            << "client" << endpointText(socket->peerAddress(), socket->peerPort()) << "connected;"
            << clientCount() << "connected";
        if (!m_ticks.isActive()) {
            m_ticks.start(m_limits.interval);
        }
    }
}

StellariumServer::Client* StellariumServer::clientOf(QTcpSocket* socket) {
    const auto found = std::find_if(m_clients.begin(), m_clients.end(),
                                    [socket](const auto& c) { return c->socket == socket; });
    return found == m_clients.end() ? nullptr : found->get();
}

void StellariumServer::forget(QTcpSocket* socket) {
    const auto found = std::find_if(m_clients.begin(), m_clients.end(),
                                    [socket](const auto& c) { return c->socket == socket; });
    if (found == m_clients.end()) {
        return;
    }
    m_clients.erase(found);
    // Signals first, so that closing it cannot call back in here.
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    qCDebug(lcStellarium) << "client closed;" << clientCount() << "connected";
    if (m_clients.empty()) {
        m_ticks.stop();  // with nobody to tell, nothing is asked of the mount
    }
}

void StellariumServer::readFrom(QTcpSocket* socket) {
    Client* client = clientOf(socket);
    if (client == nullptr) {
        return;
    }
    // At most the socket's read buffer per turn: the window's events come
    // between turns whatever a client sends.
    std::vector<StellariumGoto> gotos;
    const std::uint64_t skippedBefore = client->reader.skipped();
    char bytes[1024];
    bool trustworthy = true;
    for (qint64 count = 0; trustworthy && (count = socket->read(bytes, sizeof bytes)) > 0;) {
        trustworthy = client->reader.read({bytes, std::size_t(count)}, gotos);
    }
    if (client->reader.skipped() != skippedBefore) {
        qCDebug(lcStellarium) << client->reader.skipped() - skippedBefore
                              << "message(s) of another TYPE or LENGTH skipped";
    }
    if (!trustworthy) {
        int heldBack = 0;
        if (m_junkWarnings.allow(&heldBack)) {
            qCWarning(lcStellarium).noquote()
                << QStringLiteral(
                       "%1 sent a message LENGTH outside 4 to 256: the stream cannot be "
                       "trusted, the connection is closed%2")
                       .arg(socket->peerAddress().toString(),
                            heldBack ? QStringLiteral(" (%1 more closed so since the last such "
                                                      "warning)")
                                           .arg(heldBack)
                                     : QString());
        }
        forget(socket);
    }
    for (const auto& message : gotos) {
        takeGoto(message);
    }
}

void StellariumServer::takeGoto(const StellariumGoto& message) {
    qCDebug(lcStellarium) << "goto RA" << Qt::hex << message.rightAscension << "DEC"
                          << message.declination << Qt::dec << "time" << message.time;
    if (message.declination > kStellariumNorthPole || message.declination < -kStellariumNorthPole) {
        qCDebug(lcStellarium) << "goto refused: declination beyond the poles";
        return;
    }
    if (!m_session.isOpen()) {
        refuseWhileClosed();
        return;
    }
    const codec::TargetWords words = wordsForGoto(message);
    if (m_gotoInFlight) {
        // Only the latest waits: a burst of gotos costs one command on the
        // wire after the one under way, however long the burst.
        m_nextGoto = words;
        return;
    }
    sendGoto(words);
}

void StellariumServer::sendGoto(codec::TargetWords words) {
    qCDebug(lcStellarium).noquote() << "GOTO" << hexWords(words);
    QPointer<StellariumServer> self(this);
    const auto refusal =
        m_session.sendTarget(operations::kGotoLetter, words, [self](const ExchangeResult& result) {
            if (self) {
                self->gotoDone(result);
            }
        });
    if (refusal) {
        refuseBelowHorizon(*refusal);
        return;
    }
    m_gotoInFlight = true;
    m_toldBelowHorizon = false;
}

void StellariumServer::refuseBelowHorizon(const QString& why) {
    if (m_toldBelowHorizon) {
        qCDebug(lcStellarium).noquote() << "goto refused:" << why;
        return;  // once until a goto goes out again, not once per message
    }
    qCInfo(lcStellarium).noquote() << "goto refused:" << why;
    m_toldBelowHorizon = true;
    m_session.tellUser(QStringLiteral("Stellarium asked for a goto. %1").arg(why));
}

void StellariumServer::gotoDone(const ExchangeResult& result) {
    m_gotoInFlight = false;
    switch (result.status) {
        case ExchangeStatus::Done:
        case ExchangeStatus::Closed:  // the user closed the port meanwhile
        case ExchangeStatus::Lost:    // the window reports a lost port itself
            break;
        case ExchangeStatus::NotOpen:
            refuseWhileClosed();
            break;
        case ExchangeStatus::TimedOut:
        case ExchangeStatus::WriteFailed:
            qCWarning(lcStellarium) << "goto failed:" << result.error;
            m_session.tellUser(
                QStringLiteral("Stellarium's goto was not sent: %1").arg(result.error));
            break;
    }
    if (const auto next = std::exchange(m_nextGoto, std::nullopt)) {
        if (m_session.isOpen()) {
            sendGoto(*next);
        } else {
            refuseWhileClosed();
        }
    }
}

void StellariumServer::refuseWhileClosed() {
    if (m_toldClosed) {
        qCDebug(lcStellarium) << "goto refused: the port is not open";
        return;  // once per closed-port spell, not once per message
    }
    qCInfo(lcStellarium) << "goto refused: the port is not open";
    m_toldClosed = true;
    m_session.tellUser(
        QStringLiteral("Stellarium asked for a goto, but %1 is not open. Click COM OPEN first, "
                       "then send the goto again from Stellarium.")
            .arg(m_session.link().portDescription()));
}

void StellariumServer::tick() {
    if (m_readingAsked || !m_session.isOpen()) {
        return;
    }
    m_readingAsked = true;
    QPointer<StellariumServer> self(this);
    m_session.readings().request(m_limits.readingAge,
                                 [self](const operations::PositionSample& sample) {
                                     if (self) {
                                         self->m_readingAsked = false;
                                         self->sendPosition(sample);
                                     }
                                 });
}

void StellariumServer::sendPosition(const operations::PositionSample& sample) {
    if (!sample.ok() || !m_session.isOpen() || sample.takenAtMs == m_lastSentReading) {
        return;  // nothing new to say: a failed or an old reading is not a position
    }
    const auto words = wordsFromPositionReply(
        std::string_view(sample.reply.constData(), std::size_t(sample.reply.size())));
    if (!words) {
        qCDebug(lcStellarium) << "no position in the reply" << sample.reply;
        return;
    }
    m_lastSentReading = sample.takenAtMs;
    const StellariumPosition message = stellariumPosition(
        readingTimeMicroseconds(m_session.readings(), sample),
        rightAscensionFromWord(words->rightAscension), declinationFromWord(words->declination));
    int sent = 0;
    for (const auto& client : m_clients) {
        // A client that does not read loses messages, not memory.
        if (client->socket->bytesToWrite() <= m_limits.unsentBytes) {
            client->socket->write(message.data(), qint64(message.size()));
            ++sent;
        }
    }
    qCDebug(lcStellarium).noquote()
        << "position" << hexWords(*words) << "to" << sent << "of" << clientCount() << "clients";
}

}  // namespace morvane::remote
