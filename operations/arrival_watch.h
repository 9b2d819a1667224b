// Goto East: sends the mount to its east position and watches, once a
// second, until the mount says the movement is over. Never blocks: the
// pacing is a timer set to the next change of the clock's seconds, and each
// status query waits only for its own answer.
#pragma once

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
    explicit ArrivalWatch(MountLink& link, QObject* parent = nullptr);

    // Sends "B0000,0000" and watches. A watch already running is given up
    // and a new one begins: there is only ever one.
    void start();
    // Ends the watch quietly (the port was closed, the window is closing).
    void stop();
    bool isWatching() const { return m_watching; }

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
    bool m_watching = false;
    bool m_queryInFlight = false;
    // Callbacks of an earlier watch still in the link's queue are recognised
    // by this number and ignored.
    quint64 m_run = 0;
};

}  // namespace morvane::operations
