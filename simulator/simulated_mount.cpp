#include "simulator/simulated_mount.h"

namespace morvane::sim {

namespace {

// Garbage is reproducible from run to run, so a failing test fails the same
// way again.
constexpr std::mt19937::result_type kGarbageSeed = 9600;

QElapsedTimer startedClock() {
    QElapsedTimer clock;
    clock.start();
    return clock;
}

QByteArray toBytes(const std::string& text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

}  // namespace

SimulatedMount::SimulatedMount(QObject* parent)
    : QObject(parent),
      m_clock(startedClock()),
      m_port(this),
      m_model([this] { return now(); }),
      m_replies([this](const QByteArray& bytes) { m_port.write(bytes); }, this),
      m_random(kGarbageSeed) {
    connect(&m_port, &PtyPort::bytesRead, this, &SimulatedMount::takeBytes);
    m_partialTimer.setSingleShot(true);
    connect(&m_partialTimer, &QTimer::timeout, this, &SimulatedMount::expirePartial);
}

SimulatedMount::~SimulatedMount() {
    // Closing here is not a vanishing anyone should hear about.
    m_port.close();
}

bool SimulatedMount::start(QString* error) {
    if (isRunning()) {
        return true;
    }
    if (!m_port.open(error)) {
        return false;
    }
    m_startedAt = now();
    m_commandCount = 0;
    m_byteCount = 0;
    return true;
}

void SimulatedMount::stop() {
    if (isRunning()) {
        vanish();
    }
}

bool SimulatedMount::makeLink(const QString& path, QString* error) {
    return m_port.makeLink(path, error);
}

void SimulatedMount::inject(const QByteArray& bytes) {
    m_port.write(bytes);
}

void SimulatedMount::clearHistory() {
    m_received.clear();
    m_log.clear();
}

void SimulatedMount::takeBytes(const QByteArray& bytes) {
    qsizetype taken = 0;
    bool open = true;
    while (open && taken < bytes.size()) {
        const auto byte = std::uint8_t(bytes[taken++]);
        m_received.append(char(byte));
        ++m_byteCount;
        for (const ParsedCommand& command : m_parser.feed(byte, now())) {
            if (!handle(command)) {
                open = false;
                break;
            }
        }
        if (open && m_vanishAfterBytes > 0 && m_byteCount >= m_vanishAfterBytes) {
            open = false;
        }
    }
    // Bytes behind the one that made the device vanish were never received.
    emit bytesReceived(bytes.left(taken));
    if (open) {
        armPartialTimer();
    } else {
        vanish();
    }
}

void SimulatedMount::record(const ParsedCommand& command) {
    const LogEntry entry{now() - m_startedAt, toBytes(command.bytes), command.kind,
                         QString::fromStdString(command.meaning)};
    m_log.append(entry);
    emit commandReceived(entry);
}

bool SimulatedMount::handle(const ParsedCommand& command) {
    record(command);
    if (m_acknowledgementHeld && command.kind == CommandKind::Command) {
        m_acknowledgementHeld = false;
        m_replies.schedule("#", m_replyDelay);
    }
    std::string reply = m_model.execute(command);
    if (command.kind == CommandKind::Command && m_vanishAfterCommands > 0 &&
        ++m_commandCount >= m_vanishAfterCommands) {
        // Unplugged as the command lands: it is obeyed, but never answered.
        return false;
    }
    answer(command, std::move(reply));
    return true;
}

void SimulatedMount::answer(const ParsedCommand& command, std::string reply) {
    if (reply.empty() || m_fault == Fault::Silent) {
        return;
    }
    const std::chrono::nanoseconds delay = m_replyDelay;
    switch (m_fault) {
        case Fault::LateAcknowledgement:
            if (reply == "#") {
                m_acknowledgementHeld = true;
                return;
            }
            break;
        case Fault::NeverArrives:
            if (command.verb == Verb::GotoStatusQuery) {
                reply = "1#";
            }
            break;
        case Fault::Garbage:
            reply = garbageOfLength(reply.size(), m_random);
            break;
        case Fault::Split: {
            QList<QByteArray> pieces;
            for (const std::string& piece : splitIntoPieces(reply)) {
                pieces.append(toBytes(piece));
            }
            m_replies.scheduleInPieces(pieces, delay, m_splitGap);
            return;
        }
        case Fault::Paced:
            m_replies.schedulePaced(toBytes(reply), delay);
            return;
        case Fault::None:
        case Fault::Silent:
            break;
    }
    m_replies.schedule(toBytes(reply), delay);
}

void SimulatedMount::expirePartial() {
    if (auto partial = m_parser.expire(now())) {
        handle(*partial);
    }
    armPartialTimer();
}

void SimulatedMount::armPartialTimer() {
    const auto deadline = m_parser.deadline();
    if (!deadline) {
        m_partialTimer.stop();
        return;
    }
    m_partialTimer.start(std::max(*deadline - now(), std::chrono::milliseconds::zero()));
}

void SimulatedMount::vanish() {
    m_partialTimer.stop();
    m_replies.clear();
    m_acknowledgementHeld = false;
    if (auto partial = m_parser.flush()) {
        record(*partial);
    }
    m_port.close();
    emit vanished();
}

}  // namespace morvane::sim
