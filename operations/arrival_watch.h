// Goto East, and any goto a remote client sends: watches, once a second,
// until the mount says the movement is over. Never blocks: the
// pacing is a timer set to the next change of the clock's seconds, and each
// status query waits only for its own answer.
#pragma once

#include "mount/exchange.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace morvane {
class MountLink;
}

namespace morvane::operations {

class ArrivalWatch : public QObject {
    Q_OBJECT
public:
    enum class Purpose {
        GotoEast,  // the window's GO or the remote action: the lamp follows it
        Target,    // a goto to a remote client's target
    };

    explicit ArrivalWatch(MountLink& link, QObject* parent = nullptr);

    // Sends "B0000,0000" and watches. A watch already running is given up
    // and a new one begins: there is only ever one. `sent`, if given, runs
    // once the command's exchange has ended, however it ended.
    void start(ExchangeCallback sent = {});
    // Watches a goto whose command has just left (sent by someone else).
    void follow();
    // Ends the watch quietly (the port was closed, the window is closing).
    void stop();
    // From start() or follow() until arrival, the time limit or a failure.
    bool isSlewing() const { return m_slewing; }
    bool isWatching() const { return m_watching; }
    Purpose purpose() const { return m_purpose; }

signals:
    void departed();  // the command has left: the mount is on its way
    void arrived();
    void gaveUp(const QString& message);  // no arrival within the time limit
    void failed(const QString& message);  // the command or a query could not be sent

private:
    void scheduleQuery();
    void query();
    void finish();
    MountLink& m_link;
    QTimer m_pace;
    QTimer m_limit;
    void watch();

    bool m_watching = false;
    bool m_slewing = false;
    Purpose m_purpose = Purpose::GotoEast;
    bool m_queryInFlight = false;
    // Callbacks of an earlier watch still in the link's queue are recognised
    // by this number and ignored.
    quint64 m_run = 0;
};

}  // namespace morvane::operations
