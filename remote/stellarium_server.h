// Stellarium's telescope protocol over TCP: each connected client is sent
// the mount's position once a second while the port is open, and a goto it
// sends becomes the window's GOTO for the same words. Everything runs on
// the event loop of the thread that owns the session; clients are untrusted
// and each costs a bounded amount of memory.
#pragma once

#include "mount/exchange.h"
#include "mount/target_entry.h"
#include "remote/stellarium_protocol.h"
#include "remote/warning_limit.h"

#include <QHostAddress>
#include <QLoggingCategory>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class QTcpServer;
class QTcpSocket;

Q_DECLARE_LOGGING_CATEGORY(lcStellarium)

namespace morvane::operations {
class MountSession;
struct PositionSample;
}  // namespace morvane::operations

namespace morvane::remote {

class StellariumServer : public QObject {
    Q_OBJECT
public:
    struct Limits {
        int clients = 32;  // beyond this a newcomer is turned away
        // Position messages not yet taken by a client's socket beyond which
        // the next ones are dropped for it rather than queued.
        qint64 unsentBytes = 4 * qint64(kStellariumPositionLength);
        qint64 inputBytes = 4096;  // read from a client's socket at most, per turn
        std::chrono::milliseconds interval{1000};
        // A reading this recent (the window's readout, an Alpaca client's)
        // is sent instead of asking the mount again. Under the interval, so
        // that without such readings each tick still takes a new one.
        std::chrono::milliseconds readingAge{750};
    };

    explicit StellariumServer(operations::MountSession& session, QObject* parent = nullptr);
    ~StellariumServer() override;

    // Listens; on failure the text says where, why and which option helps.
    std::optional<QString> listen(const QHostAddress& address, quint16 port);
    QHostAddress address() const;
    quint16 port() const;

    void setLimits(const Limits& limits) { m_limits = limits; }
    int clientCount() const { return static_cast<int>(m_clients.size()); }

private:
    struct Client {
        QTcpSocket* socket = nullptr;
        StellariumReader reader;
    };

    void acceptPending();
    void readFrom(QTcpSocket* socket);
    void forget(QTcpSocket* socket);
    Client* clientOf(QTcpSocket* socket);

    void tick();
    void sendPosition(const operations::PositionSample& sample);

    void takeGoto(const StellariumGoto& message);
    void sendGoto(codec::TargetWords words);
    void gotoDone(const ExchangeResult& result);
    void refuseWhileClosed();
    void refuseBelowHorizon(const QString& why);

    operations::MountSession& m_session;
    Limits m_limits;
    QTcpServer* m_server;
    QTimer m_ticks;
    WarningLimit m_fullWarnings;
    WarningLimit m_junkWarnings;
    std::vector<std::unique_ptr<Client>> m_clients;

    bool m_readingAsked = false;
    std::optional<qint64> m_lastSentReading;  // takenAtMs of the last position sent

    bool m_gotoInFlight = false;
    std::optional<codec::TargetWords> m_nextGoto;  // the latest goto behind the one in flight
    bool m_toldClosed = false;        // the window heard of a refusal since the port closed
    bool m_toldBelowHorizon = false;  // ... of a goto below the horizon since one went out
};

}  // namespace morvane::remote
