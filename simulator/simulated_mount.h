// A mount on a pseudo-terminal: reads commands, obeys them, answers like the
// controller, and records every byte it was sent. Tests run it in-process; the
// morvane-mount-sim program wraps it for use by hand.
#pragma once

#include "simulator/command_parser.h"
#include "simulator/fault.h"
#include "simulator/log_entry.h"
#include "simulator/mount_model.h"
#include "simulator/pty_port.h"
#include "simulator/reply_scheduler.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <random>

namespace morvane::sim {

class SimulatedMount : public QObject {
    Q_OBJECT

public:
    // Pieces of a split answer follow each other this far apart by default.
    static constexpr std::chrono::milliseconds kDefaultSplitGap{20};

    explicit SimulatedMount(QObject* parent = nullptr);
    ~SimulatedMount() override;

    bool start(QString* error = nullptr);
    // Closes the pseudo-terminal: the device vanishes as if unplugged.
    void stop();
    bool isRunning() const { return m_port.isOpen(); }
    QString devicePath() const { return m_port.devicePath(); }
    bool makeLink(const QString& path, QString* error = nullptr);

    bool setSlewRate(double degreesPerSecond) { return m_model.setSlewRate(degreesPerSecond); }
    void setPosition(quint16 raWord, quint16 decWord) { m_model.setPosition(raWord, decWord); }
    void setReplyDelay(std::chrono::milliseconds delay) { m_replyDelay = delay; }
    void setFault(Fault fault) { m_fault = fault; }
    Fault fault() const { return m_fault; }
    void setSplitGap(std::chrono::milliseconds gap) { m_splitGap = gap; }
    // After the n-th well-formed command (unanswered) or the n-th byte the
    // device vanishes; 0 turns this off. Counting starts at start().
    void setVanishAfterCommands(int count) { m_vanishAfterCommands = count; }
    void setVanishAfterBytes(int count) { m_vanishAfterBytes = count; }

    // Writes bytes the client did not ask for, at once.
    void inject(const QByteArray& bytes);

    QByteArray received() const { return m_received; }
    QList<LogEntry> log() const { return m_log; }
    void clearHistory();
    const MountModel& model() const { return m_model; }

signals:
    void commandReceived(const morvane::sim::LogEntry& entry);
    void bytesReceived(const QByteArray& bytes);
    void vanished();

private:
    std::chrono::milliseconds now() const { return std::chrono::milliseconds(m_clock.elapsed()); }
    void takeBytes(const QByteArray& bytes);
    void record(const ParsedCommand& command);
    // False when the command made the device vanish.
    bool handle(const ParsedCommand& command);
    void answer(const ParsedCommand& command, std::string reply);
    void expirePartial();
    void armPartialTimer();
    void vanish();

    QElapsedTimer m_clock;
    std::chrono::milliseconds m_startedAt{0};
    PtyPort m_port;
    CommandParser m_parser;
    MountModel m_model;
    ReplyScheduler m_replies;
    QTimer m_partialTimer;
    std::mt19937 m_random;

    Fault m_fault = Fault::None;
    std::chrono::milliseconds m_replyDelay{0};
    std::chrono::milliseconds m_splitGap = kDefaultSplitGap;
    int m_vanishAfterCommands = 0;
    int m_vanishAfterBytes = 0;
    int m_commandCount = 0;
    int m_byteCount = 0;
    bool m_acknowledgementHeld = false;

    QByteArray m_received;
    QList<LogEntry> m_log;
};

}  // namespace morvane::sim
