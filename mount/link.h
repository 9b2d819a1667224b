// The one owner of the serial port. All traffic with the mount is a queue of
// exchanges run one at a time in the order submitted; nothing here blocks,
// spins or opens a dialog. Results come back through callbacks, always
// exactly once per submission, never from inside submit() or close().
#pragma once

#include "mount/exchange.h"
#include "mount/link_limits.h"
#include "mount/reply_assembler.h"
#include "mount/serial_settings.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <deque>
#include <optional>

class QTimer;

namespace morvane {

class MountLink : public QObject {
    Q_OBJECT
public:
    explicit MountLink(QObject* parent = nullptr);
    ~MountLink() override;

    // Which port to open next: its number as the user knows it and the
    // device behind it. Takes effect at the next open().
    void setPort(int number, const QString& device);
    int portNumber() const { return m_portNumber; }
    QString device() const { return m_device; }
    // "Port 1 (/dev/ttyUSB0)": how every message names the port.
    QString portDescription() const;
    // What an exchange fails with while the port is closed.
    QString notOpenMessage() const;

    // Line settings as text, "9600,N,8,1". Returns an error text when the
    // text is not a valid setting; the previous settings then stay.
    std::optional<QString> setSettings(const QString& text);
    QString settings() const { return m_settingsText; }

    // Opens the port; an error text says which port, which device and why.
    std::optional<QString> open();
    // Closes the port; exchanges still waiting end with status Closed.
    void close();
    bool isOpen() const;
    bool isBusy() const { return m_current.has_value() || !m_queue.empty(); }

    void submit(const Exchange& exchange, ExchangeCallback done);
    // Runs the steps back to back, pauses included, with nothing else
    // entering the link in between. Stops at the first failing step.
    void submitSequence(QList<Exchange> steps, ExchangeCallback done);

    void setLimits(const LinkLimits& limits) { m_limits = limits; }
    const LinkLimits& limits() const { return m_limits; }

signals:
    // The device went away while open (adapter unplugged). Emitted once; the
    // port is closed by then.
    void portLost(const QString& message);
    void openChanged(bool open);
    // A command that moves the mount or redefines its position has been
    // queued: a position read before it no longer holds. Emitted from
    // inside submit(), before the command goes out.
    void positionChanging();

private:
    struct Job {
        QList<Exchange> steps;
        ExchangeCallback done;
    };

    void startNext();
    void runStep();
    void dropStaleInput();
    void onReadyRead();
    void onBytesWritten();
    void onLimitPassed();
    void onQuietGapPassed();
    void onPortError(QSerialPort::SerialPortError error);
    void stepDone();
    void finishCurrent(ExchangeResult result);
    void failAllLater(ExchangeStatus status, const QString& error);
    void deliverLater(ExchangeCallback done, ExchangeResult result);
    void resetStepTimers();
    QString openFailureText() const;
    bool deviceGone();

    QSerialPort* m_port;
    QTimer* m_limitTimer;
    QTimer* m_quietTimer;
    QTimer* m_pauseTimer;
    LinkLimits m_limits;

    int m_portNumber = 0;
    QString m_device;
    QString m_settingsText;
    SerialSettings m_settings;

    std::deque<Job> m_queue;
    std::optional<Job> m_current;
    int m_step = 0;
    bool m_written = false;
    bool m_acknowledged = false;  // the "#" has come, or none is awaited
    qint64 m_staleBytes = 0;      // still to be read and dropped: they came before the command
    ReplyAssembler m_reply;
    bool m_handlingLoss = false;
    QElapsedTimer m_errorBurst;
    int m_errorsInBurst = 0;
};

}  // namespace morvane
