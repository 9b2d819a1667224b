// What the window and the remote servers share: the one link to the mount,
// the port the window has chosen, who holds it open, the position readings,
// the tracking choice, the arrival watch, and the observer's site and
// horizon limit. app/ creates one and hands it to each; it knows nothing of
// either.
#pragma once

#include "mount/codec.h"
#include "mount/exchange.h"
#include "mount/target_entry.h"
#include "operations/sky_position.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <map>
#include <optional>

namespace morvane {
class MountLink;
}

namespace morvane::operations {

class ArrivalWatch;
class PositionReadings;

class MountSession : public QObject {
    Q_OBJECT
public:
    explicit MountSession(QObject* parent = nullptr);
    ~MountSession() override;

    MountLink& link() { return *m_link; }
    PositionReadings& readings() { return *m_readings; }
    ArrivalWatch& arrivalWatch() { return *m_arrivalWatch; }

    // The port COM OPEN opens (1 to 3), as chosen in the window. While the
    // port is closed, messages name this one.
    void choosePort(int number);
    int chosenPort() const { return m_chosenPort; }

    // COM OPEN: the chosen port at the mount's line settings; the window
    // holds it from then on. Opening a port already open only adds the
    // window as a holder. The error says which port and why.
    std::optional<QString> open();
    // CLOSE: closes the port for every holder.
    void close();
    bool isOpen() const;

    // Remote clients share the port as holders beside the window: a client
    // that connects holds it, one that disconnects lets go, and the port
    // closes when the last holder has let go. A client is known by its
    // ClientID; clients that send none are one client together.
    using ClientId = std::optional<quint32>;
    static constexpr std::size_t kMaximumClients = 64;
    // Opens the port if it is closed (as COM OPEN) and makes `client` a
    // holder; holding twice is holding once. Beyond kMaximumClients holders
    // a new one is refused.
    std::optional<QString> openFor(ClientId client);
    void letGo(ClientId client);
    // Whether the port is open and held for `client`: by it, or by the window.
    bool isOpenFor(ClientId client) const;
    // A request from `client`: a holder that has not been heard from for
    // `clientTimeout` is taken to have gone without saying so.
    void heardFrom(ClientId client);
    void setClientTimeout(std::chrono::milliseconds timeout) { m_clientTimeout = timeout; }

    // Where the observer stands, as a remote client or the settings say;
    // set announces a change.
    const Site& site() const { return m_site; }
    void setSite(const Site& site);
    // Gotos to a target below this altitude (degrees) are refused; none: off.
    std::optional<double> horizonLimit() const { return m_horizonLimit; }
    void setHorizonLimit(std::optional<double> degrees);
    // Why a goto to these words, or to the position typed in `entry`, is
    // refused now: the target lies below the horizon limit (the text gives
    // its altitude and the limit). Nothing with the limit off, or when the
    // entry cannot be encoded (the goto itself says why).
    std::optional<QString> gotoRefusal(codec::TargetWords target) const;
    std::optional<QString> gotoRefusal(const codec::SexagesimalEntry& entry) const;

    // GOTO ("R") or Sync ("S") for these words: exactly the bytes the
    // window's GOTO or Sync sends for the entry targetSent() carries. A
    // goto is followed by the arrival watch once its command has left. A
    // goto that gotoRefusal() refuses is not sent, `done` never runs, and
    // the refusal is returned.
    [[nodiscard]] std::optional<QString> sendTarget(char letter, codec::TargetWords target,
                                                    ExchangeCallback done);

    // The tracking choice, as the window's options show it. set sends the
    // command once and announces the new choice to the window.
    bool tracking() const { return m_tracking; }
    void setTracking(bool on, ExchangeCallback done);

    // Something the user at the window should be told (a remote client's
    // request the program refused); the window shows it.
    void tellUser(const QString& message) { emit userNotice(message); }

signals:
    void openChanged(bool open);
    void targetSent(char letter, const codec::SexagesimalEntry& entry);
    void trackingChanged(bool on);
    void userNotice(const QString& message);
    void siteChanged();
    void horizonLimitChanged();

private:
    std::optional<QString> openPort();
    void forgetSilentClients();
    void closeIfUnheld();

    MountLink* m_link;
    PositionReadings* m_readings;
    ArrivalWatch* m_arrivalWatch;
    int m_chosenPort = 1;
    bool m_tracking = true;
    Site m_site;
    std::optional<double> m_horizonLimit;

    bool m_windowHolds = false;
    std::map<ClientId, qint64> m_clientsHolding;  // each with when it was last heard from
    std::chrono::milliseconds m_clientTimeout{std::chrono::minutes(5)};
    QElapsedTimer m_clock;
    QTimer m_silenceCheck;
};

}  // namespace morvane::operations
