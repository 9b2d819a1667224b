// The mount as Alpaca Telescope 0: every member of the Telescope and common
// interfaces, answered from the shared mount session. Nothing here waits:
// a member that needs the mount answers when its exchange completes, or at
// once from a position reading fresh enough.
#pragma once

#include "operations/sky_position.h"
#include "remote/alpaca_answer.h"
#include "remote/alpaca_parameters.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace morvane {
struct ExchangeResult;
enum class ExchangeStatus;
namespace operations {
class MountSession;
struct PositionSample;
}  // namespace operations
}  // namespace morvane

namespace morvane::remote {

class AlpacaTelescope : public QObject {
    Q_OBJECT
public:
    // Remote commands waiting on the link at most; one more is refused as
    // busy rather than queued behind them.
    static constexpr int kMaximumWaitingExchanges = 8;

    explicit AlpacaTelescope(operations::MountSession& session, QObject* parent = nullptr);

    // Whether `member` (lower case, as in the path) exists for this method.
    static bool hasMember(const QString& member, bool put);
    // Answers the request through `reply`, now or once the mount has
    // answered. A member that does not exist answers HTTP 400.
    void call(const QString& member, bool put, const Parameters& parameters, const Reply& reply);

    int waitingExchanges() const { return m_waitingExchanges; }
    const operations::Site& site() const;
    bool slewing() const;
    QString portDescription() const;

private:
    friend struct TelescopeMembers;

    bool requireOpen(const Reply& reply) const;
    // One more remote exchange on the link, if there is room.
    bool admit(const Reply& reply);
    Reply releasing(const Reply& reply);
    static Answer failure(ExchangeStatus status, const QString& text);
    static Answer outcome(const ExchangeResult& result);

    void putConnected(bool on, const Parameters& parameters, const Reply& reply);
    void readPosition(const Reply& reply,
                      std::function<QJsonValue(const operations::PositionSample&)> valueOf);
    // A goto or a sync to a J2000 target, or (`altAz`) a goto to where an
    // altitude and azimuth stand now: that one leaves the targets as they
    // are and wants tracking off, as the standard has it.
    void sendTarget(char letter, operations::Equatorial target, bool altAz, const Reply& reply);
    void setTracking(const Parameters& parameters, const Reply& reply);
    void gotoEast(const Reply& reply);
    void deviceState(const Reply& reply);

    operations::MountSession& m_session;
    std::optional<double> m_targetRightAscension;
    std::optional<double> m_targetDeclination;
    int m_waitingExchanges = 0;
    int m_slewsBeingSent = 0;
    std::vector<std::function<void(const operations::PositionSample&)>> m_positionWaiters;
};

}  // namespace morvane::remote
