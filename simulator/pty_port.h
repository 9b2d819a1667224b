// The mount's end of a pseudo-terminal (Linux). The other end is an ordinary
// serial device path that a client opens like an adapter.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

namespace morvane::sim {

class PtyPort : public QObject {
    Q_OBJECT

public:
    explicit PtyPort(QObject* parent = nullptr);
    ~PtyPort() override;

    bool open(QString* error = nullptr);
    // Closes both ends: the device path vanishes and a client that still has
    // it open sees a hang-up. Removes the link, if one was made.
    void close();
    bool isOpen() const { return m_master >= 0; }
    QString devicePath() const { return m_devicePath; }

    // A symbolic link at path pointing at the device. A stale link left at
    // path is replaced; any other file there is left alone and refused.
    bool makeLink(const QString& path, QString* error = nullptr);
    QString linkPath() const { return m_linkPath; }

    // Never blocks: what the kernel will not take now is written when it can.
    void write(const QByteArray& bytes);

signals:
    void bytesRead(const QByteArray& bytes);

private:
    void readAvailable();
    void writePending();
    void removeLink();

    int m_master = -1;
    // Held open, never read: while it is open the master never sees a
    // hang-up between one client's close and the next one's open.
    int m_slave = -1;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QTimer m_readRetry;
    QByteArray m_unwritten;
    QString m_devicePath;
    QString m_linkPath;
};

}  // namespace morvane::sim
