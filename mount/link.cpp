#include "mount/link.h"

#include "mount/commands.h"

#include <sys/ioctl.h>
#include <unistd.h>
#include <QFile>
#include <QLoggingCategory>
#include <QTime>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>

// The traffic log for troubleshooting, off unless asked for:
// QT_LOGGING_RULES="morvane.serial.debug=true"
Q_LOGGING_CATEGORY(lcSerial, "morvane.serial", QtInfoMsg)

namespace morvane {
namespace {

QString stamp() {
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
}

// "52 33 42  R3B": the bytes in hex, then as text with dots for the rest.
QString traffic(const QByteArray& bytes) {
    QString text;
    for (const char c : bytes) {
        text += (c >= 0x20 && c < 0x7F) ? QChar::fromLatin1(c) : QChar(u'.');
    }
    return QString::fromLatin1(bytes.toHex(' ').toUpper()) + QStringLiteral("  ") + text;
}

const char* statusName(ExchangeStatus status) {
    switch (status) {
        case ExchangeStatus::Done:
            return "done";
        case ExchangeStatus::NotOpen:
            return "not open";
        case ExchangeStatus::Closed:
            return "closed";
        case ExchangeStatus::Lost:
            return "lost";
        case ExchangeStatus::TimedOut:
            return "timed out";
        case ExchangeStatus::WriteFailed:
            return "write failed";
    }
    return "?";
}

QSerialPort::Parity toParity(char letter) {
    switch (letter) {
        case 'E':
            return QSerialPort::EvenParity;
        case 'O':
            return QSerialPort::OddParity;
        case 'M':
            return QSerialPort::MarkParity;
        case 'S':
            return QSerialPort::SpaceParity;
        default:
            return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits toStopBits(int stopBits) {
    switch (stopBits) {
        case 2:
            return QSerialPort::TwoStop;
        case 15:
            return QSerialPort::OneAndHalfStop;
        default:
            return QSerialPort::OneStop;
    }
}

// Errors this many within this time, with the device still present, mean
// the device is dead all the same.
constexpr int kErrorBurstCount = 20;
constexpr std::chrono::milliseconds kErrorBurstWindow{1000};

QString seconds(std::chrono::milliseconds limit) {
    return QString::number(static_cast<double>(limit.count()) / 1000.0);
}

}  // namespace

MountLink::MountLink(QObject* parent)
    : QObject(parent),
      m_port(new QSerialPort(this)),
      m_limitTimer(new QTimer(this)),
      m_quietTimer(new QTimer(this)),
      m_pauseTimer(new QTimer(this)) {
    for (QTimer* timer : {m_limitTimer, m_quietTimer, m_pauseTimer}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    // Bytes nobody waits for are dropped anyway; cap what Qt keeps for us.
    m_port->setReadBufferSize(static_cast<qint64>(kReplyCapacity));

    connect(m_port, &QSerialPort::readyRead, this, &MountLink::onReadyRead);
    connect(m_port, &QSerialPort::bytesWritten, this, &MountLink::onBytesWritten);
    connect(m_port, &QSerialPort::errorOccurred, this, &MountLink::onPortError);
    connect(m_limitTimer, &QTimer::timeout, this, &MountLink::onLimitPassed);
    connect(m_quietTimer, &QTimer::timeout, this, &MountLink::onQuietGapPassed);
    connect(m_pauseTimer, &QTimer::timeout, this, [this] {
        ++m_step;
        runStep();
    });
    setSettings(QStringLiteral("9600,N,8,1"));
}

MountLink::~MountLink() {
    // Pending callbacks belong to objects that are going away with us.
    m_port->disconnect(this);
    m_queue.clear();
    m_current.reset();
    if (m_port->isOpen()) {
        m_port->close();
    }
}

void MountLink::setPort(int number, const QString& device) {
    m_portNumber = number;
    m_device = device;
}

QString MountLink::portDescription() const {
    if (m_device.isEmpty()) {
        return QStringLiteral("Port %1").arg(m_portNumber);
    }
    return QStringLiteral("Port %1 (%2)").arg(m_portNumber).arg(m_device);
}

QString MountLink::notOpenMessage() const {
    return QStringLiteral("%1 is not open. Click COM OPEN first.").arg(portDescription());
}

std::optional<QString> MountLink::setSettings(const QString& text) {
    const SettingsParse parsed = parseSerialSettings(text.toStdString());
    if (!parsed.settings) {
        return QString::fromStdString(parsed.error);
    }
    m_settings = *parsed.settings;
    m_settingsText = text;
    return std::nullopt;
}

std::optional<QString> MountLink::open() {
    if (isOpen()) {
        return std::nullopt;
    }
    m_port->setPortName(m_device);
    m_port->setBaudRate(m_settings.baud);
    m_port->setParity(toParity(m_settings.parity));
    m_port->setDataBits(static_cast<QSerialPort::DataBits>(m_settings.dataBits));
    m_port->setStopBits(toStopBits(m_settings.stopBits));
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port->open(QIODevice::ReadWrite)) {
        const QString why = openFailureText();
        m_port->clearError();
        return why;
    }
    m_port->clear(QSerialPort::AllDirections);
    m_staleBytes = 0;
    qCDebug(lcSerial).noquote() << stamp() << portDescription() << "open at" << m_settingsText;
    emit openChanged(true);
    return std::nullopt;
}

QString MountLink::openFailureText() const {
    QString where = portDescription();
    where[0] = where[0].toLower();
    switch (m_port->error()) {
        case QSerialPort::DeviceNotFoundError:
            return QStringLiteral(
                       "Could not open %1: there is no such device. Check that the "
                       "adapter is plugged in, or choose another port.")
                .arg(where);
        case QSerialPort::PermissionError: {
            const QByteArray path = m_device.toLocal8Bit();
            if (::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
                return QStringLiteral(
                           "Could not open %1: permission denied. Your user may need "
                           "to join the dialout group (sudo usermod -aG dialout "
                           "$USER), then log out and in again.")
                    .arg(where);
            }
            return QStringLiteral(
                       "Could not open %1: it is in use by another program. Close "
                       "that program, then click COM OPEN again.")
                .arg(where);
        }
        default:
            return QStringLiteral("Could not open %1: %2.").arg(where, m_port->errorString());
    }
}

void MountLink::close() {
    const bool wasOpen = isOpen();
    if (wasOpen) {
        m_port->close();
        qCDebug(lcSerial).noquote() << stamp() << portDescription() << "closed";
    }
    resetStepTimers();
    m_pauseTimer->stop();
    failAllLater(
        ExchangeStatus::Closed,
        QStringLiteral("%1 was closed before the command finished.").arg(portDescription()));
    if (wasOpen) {
        emit openChanged(false);
    }
}

bool MountLink::isOpen() const {
    return m_port->isOpen();
}

void MountLink::submit(const Exchange& exchange, ExchangeCallback done) {
    submitSequence({exchange}, std::move(done));
}

void MountLink::submitSequence(QList<Exchange> steps, ExchangeCallback done) {
    if (steps.isEmpty()) {
        deliverLater(std::move(done), {});
        return;
    }
    const bool changesPosition = std::any_of(steps.cbegin(), steps.cend(), [](const Exchange& e) {
        return commands::changesPosition(e.command.toStdString());
    });
    m_queue.push_back(Job{std::move(steps), std::move(done)});
    if (changesPosition) {
        emit positionChanging();
    }
    // Started from the event loop so that no callback ever runs inside submit().
    QMetaObject::invokeMethod(this, &MountLink::startNext, Qt::QueuedConnection);
}

void MountLink::startNext() {
    if (m_current || m_queue.empty()) {
        return;
    }
    m_current = std::move(m_queue.front());
    m_queue.pop_front();
    m_step = 0;
    runStep();
}

void MountLink::runStep() {
    const Exchange& exchange = m_current->steps.at(m_step);
    if (!isOpen()) {
        finishCurrent({ExchangeStatus::NotOpen, {}, notOpenMessage()});
        return;
    }
    // A late answer to an earlier command must not become part of this reply.
    dropStaleInput();
    if (!m_current) {
        return;  // the device was found gone meanwhile: the loss has failed this exchange
    }
    m_reply.start(exchange.rule, exchange.count);
    m_written = false;
    m_acknowledged = exchange.rule != ReplyRule::Settle ||
                     !commands::isAcknowledged(exchange.command.toStdString());

    qCDebug(lcSerial).noquote() << stamp() << "out" << traffic(exchange.command);
    const qint64 written = m_port->write(exchange.command);
    if (!m_current) {
        return;  // as above
    }
    if (written != exchange.command.size()) {
        m_port->clear(QSerialPort::Output);
        finishCurrent({ExchangeStatus::WriteFailed,
                       {},
                       QStringLiteral("Could not send to %1: %2.")
                           .arg(portDescription(), m_port->errorString())});
        return;
    }
    switch (exchange.rule) {
        case ReplyRule::Settle:
            m_limitTimer->start(m_limits.drain);
            break;
        case ReplyRule::Counted:
            m_limitTimer->start(m_limits.countedReply);
            break;
        case ReplyRule::Answer:
            m_limitTimer->start(m_limits.answer);
            break;
    }
    if (m_port->bytesToWrite() == 0) {
        QMetaObject::invokeMethod(this, &MountLink::onBytesWritten, Qt::QueuedConnection);
    }
}

// Input that arrived before this exchange's command went out answers an
// earlier one. Qt may already have been told it is there: taking it from the
// device behind Qt's back (a flush) leaves Qt a read that finds nothing, which
// it reports as an error with whatever errno an unrelated call left behind. So
// what Qt holds is dropped now, and what the device still holds is counted
// and dropped as Qt reads it.
void MountLink::dropStaleInput() {
    m_port->readAll();
#ifdef Q_OS_WIN
    m_port->clear(QSerialPort::Input);  // Windows reads into Qt's buffer as bytes come
    m_staleBytes = 0;
#else
    int waiting = 0;
    m_staleBytes =
        ::ioctl(static_cast<int>(m_port->handle()), FIONREAD, &waiting) == 0 ? qMax(waiting, 0) : 0;
#endif
}

void MountLink::onBytesWritten() {
    if (!m_current || m_written || m_pauseTimer->isActive() || m_port->bytesToWrite() > 0) {
        return;
    }
    m_written = true;
    if (m_current->steps.at(m_step).rule != ReplyRule::Settle) {
        return;
    }
    if (m_acknowledged) {
        stepDone();
        return;
    }
    m_limitTimer->start(m_limits.acknowledgement);  // the drain limit has done its part
}

void MountLink::onReadyRead() {
    QByteArray bytes = m_port->readAll();
    const qsizetype stale = qMin<qsizetype>(bytes.size(), m_staleBytes);
    if (stale > 0) {
        qCDebug(lcSerial).noquote() << stamp() << "in (stale)" << traffic(bytes.first(stale));
        m_staleBytes -= stale;
        bytes.remove(0, stale);
    }
    if (bytes.isEmpty()) {
        return;
    }
    if (!m_current || m_pauseTimer->isActive()) {
        qCDebug(lcSerial).noquote() << stamp() << "in (dropped)" << traffic(bytes);
        return;  // nobody waits for these: dropped
    }
    qCDebug(lcSerial).noquote() << stamp() << "in" << traffic(bytes);
    const Exchange& exchange = m_current->steps.at(m_step);
    if (exchange.rule == ReplyRule::Settle) {
        // Dropped; a "#" among it says the command was taken.
        if (!m_acknowledged && bytes.contains('#')) {
            m_acknowledged = true;
            if (m_written) {
                stepDone();
            }
        }
        return;
    }
    if (exchange.rule == ReplyRule::Counted && !m_reply.started()) {
        // A "#" ahead of the reply ends an earlier command's answer that came late.
        qsizetype strays = 0;
        while (strays < bytes.size() && bytes[strays] == '#') {
            ++strays;
        }
        bytes.remove(0, strays);
    }
    m_reply.append(bytes);
    if (exchange.rule == ReplyRule::Counted && m_reply.complete()) {
        stepDone();
    } else if (exchange.rule == ReplyRule::Answer && m_reply.started()) {
        m_quietTimer->start(m_limits.answerQuietGap);
    }
}

void MountLink::onQuietGapPassed() {
    if (m_current) {
        stepDone();
    }
}

void MountLink::onLimitPassed() {
    if (!m_current) {
        return;
    }
    const Exchange& exchange = m_current->steps.at(m_step);
    switch (exchange.rule) {
        case ReplyRule::Settle:
            if (m_written) {
                stepDone();  // no "#" within its bound: a mount that stays silent
                return;
            }
            // Whatever is still queued must not go out later, between other
            // commands.
            m_port->clear(QSerialPort::Output);
            finishCurrent({ExchangeStatus::TimedOut,
                           {},
                           QStringLiteral("%1 did not send the command within %2 s. Check the "
                                          "cable and the adapter.")
                               .arg(portDescription(), seconds(m_limits.drain))});
            return;
        case ReplyRule::Counted:
            finishCurrent({ExchangeStatus::TimedOut, m_reply.reply(),
                           QStringLiteral("The mount did not answer on %1 within %2 s.")
                               .arg(portDescription(), seconds(m_limits.countedReply))});
            return;
        case ReplyRule::Answer:
            if (m_reply.started()) {
                stepDone();
                return;
            }
            finishCurrent({ExchangeStatus::TimedOut,
                           {},
                           QStringLiteral("The mount did not answer on %1 within %2 s.")
                               .arg(portDescription(), seconds(m_limits.answer))});
            return;
    }
}

void MountLink::stepDone() {
    resetStepTimers();
    const Exchange& exchange = m_current->steps.at(m_step);
    if (m_step + 1 >= m_current->steps.size()) {
        finishCurrent({ExchangeStatus::Done, m_reply.reply(), {}});
        return;
    }
    if (exchange.pauseAfter > std::chrono::milliseconds::zero()) {
        m_pauseTimer->start(exchange.pauseAfter);  // the link stays held meanwhile
        return;
    }
    ++m_step;
    runStep();
}

void MountLink::finishCurrent(ExchangeResult result) {
    if (!m_current) {
        return;  // a port call on the way here found the device gone and failed it already
    }
    resetStepTimers();
    m_pauseTimer->stop();
    qCDebug(lcSerial).noquote() << stamp() << "exchange" << statusName(result.status)
                                << traffic(result.reply) << result.error;
    Job job = std::move(*m_current);
    m_current.reset();
    if (job.done) {
        job.done(result);
    }
    startNext();
}

void MountLink::onPortError(QSerialPort::SerialPortError error) {
    if (!m_port->isOpen() || m_handlingLoss) {
        return;  // failures to open are reported by open() itself
    }
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError ||
        error == QSerialPort::NotOpenError) {
        return;
    }
    if (!deviceGone()) {
        // The device is still there: such a trouble costs at most the
        // exchange under way, through its limit. Qt stops reading after some
        // errors; this starts it again.
        m_port->clearError();
        m_port->setReadBufferSize(static_cast<qint64>(kReplyCapacity));
        return;
    }
    // A vanished device keeps reporting errors many times a second while the
    // port stays open: close at the first one and say it once.
    m_handlingLoss = true;
    const QString why = m_port->errorString();
    m_port->clearError();
    m_port->close();
    resetStepTimers();
    m_pauseTimer->stop();
    const QString message = QStringLiteral(
                                "The connection to %1 was lost (%2). Check the cable "
                                "and the adapter, then click COM OPEN.")
                                .arg(portDescription(), why);
    qCDebug(lcSerial).noquote() << stamp() << message;
    failAllLater(ExchangeStatus::Lost, message);
    m_handlingLoss = false;
    emit openChanged(false);
    emit portLost(message);
}

bool MountLink::deviceGone() {
#ifdef Q_OS_WIN
    return true;  // Windows reports errors on a port only when it is gone
#else
    if (!QFile::exists(m_device)) {
        return true;  // unplugged: the device node (or what a link names) is gone
    }
    // A dead device whose node stays keeps failing many times a second.
    if (!m_errorBurst.isValid() || m_errorBurst.elapsed() > kErrorBurstWindow.count()) {
        m_errorBurst.start();
        m_errorsInBurst = 0;
    }
    return ++m_errorsInBurst >= kErrorBurstCount;
#endif
}

void MountLink::failAllLater(ExchangeStatus status, const QString& error) {
    if (m_current) {
        deliverLater(std::move(m_current->done), {status, {}, error});
        m_current.reset();
    }
    while (!m_queue.empty()) {
        deliverLater(std::move(m_queue.front().done), {status, {}, error});
        m_queue.pop_front();
    }
}

void MountLink::deliverLater(ExchangeCallback done, ExchangeResult result) {
    if (!done) {
        return;
    }
    QMetaObject::invokeMethod(
        this, [done = std::move(done), result = std::move(result)] { done(result); },
        Qt::QueuedConnection);
}

void MountLink::resetStepTimers() {
    m_limitTimer->stop();
    m_quietTimer->stop();
}

}  // namespace morvane
