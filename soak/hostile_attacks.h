// The attacks of the hostile-client soak: buggy and hostile clients of the
// Alpaca and Stellarium servers, each bounded in what it sends and in how
// long it lasts, all to 127.0.0.1. They run in a process of their own (the
// soak's driver started again with --attack), so that their work never
// delays the valid clients' clocks.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <random>

namespace morvane::soak {

struct ServerPorts {
    quint16 alpaca = 0;
    quint16 discovery = 0;
    quint16 stellarium = 0;
};

// The targets the valid-command flood slews between: the driver counts the
// commands they cause at the mount as asked for.
inline constexpr double kFloodTargets[][2] = {{3.25, 12.5}, {3.5, 12.75}};

class Attacks : public QObject {
public:
    Attacks(const ServerPorts& ports, quint32 seed, std::chrono::milliseconds length);

    // Starts attacks for the length, at most four at a time; quits the
    // application once the last has ended, having printed how many of each
    // ran.
    void start();

private:
    using Attack = std::function<void(std::function<void()> done)>;

    void launchSome();
    void finished(const QString& name);
    int pick(int from, int to) { return std::uniform_int_distribution<int>(from, to)(m_random); }

    void unreadPipeline(std::function<void()> done);
    void streamedBody(std::function<void()> done);
    void splitOversizedHead(std::function<void()> done);
    void slowHeads(std::function<void()> done);
    void connectionStorm(std::function<void()> done);
    void malformed(std::function<void()> done);
    void pipelinedBurst(std::function<void()> done);
    void halfClosed(std::function<void()> done);
    void validSlewFlood(std::function<void()> done);
    void stellariumJunk(std::function<void()> done);
    void stellariumCrowd(std::function<void()> done);
    void discoveryJunk(std::function<void()> done);

    ServerPorts m_ports;
    std::mt19937 m_random;
    std::chrono::steady_clock::time_point m_end;
    QTimer m_launcher;
    int m_running = 0;
    std::map<QString, int> m_started;
};

}  // namespace morvane::soak
