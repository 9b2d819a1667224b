#include "simulator/pty_port.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace morvane::sim {

namespace {

// After a read error the notifier rests this long instead of firing again at
// once for the same condition.
constexpr std::chrono::milliseconds kReadRetry{50};
constexpr qsizetype kReadChunk = 4096;

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

void closeDescriptor(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

PtyPort::PtyPort(QObject* parent) : QObject(parent) {
    m_readRetry.setSingleShot(true);
    m_readRetry.setInterval(kReadRetry);
    connect(&m_readRetry, &QTimer::timeout, this, [this] {
        if (m_readNotifier) {
            m_readNotifier->setEnabled(true);
        }
    });
}

PtyPort::~PtyPort() {
    close();
}

bool PtyPort::open(QString* error) {
    close();
    const auto fail = [&](const char* what) {
        if (error) {
            *error = systemError(what);
        }
        close();
        return false;
    };

    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0) {
        return fail("posix_openpt");
    }
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    if (::grantpt(m_master) != 0) {
        return fail("grantpt");
    }
    if (::unlockpt(m_master) != 0) {
        return fail("unlockpt");
    }
    const char* name = ::ptsname(m_master);
    if (!name) {
        return fail("ptsname");
    }
    m_devicePath = QString::fromLocal8Bit(name);

    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slave < 0) {
        return fail("open slave");
    }
    // Raw, so that every byte value passes both ways unchanged (no echo, no
    // CR/LF translation, no flow-control or signal characters).
    termios settings{};
    if (::tcgetattr(m_slave, &settings) != 0) {
        return fail("tcgetattr");
    }
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    if (::tcsetattr(m_slave, TCSANOW, &settings) != 0) {
        return fail("tcsetattr");
    }

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyPort::readAvailable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyPort::writePending);
    return true;
}

void PtyPort::close() {
    m_readRetry.stop();
    // close() may run inside a notifier's own activation: disable now,
    // delete once control is back in the event loop.
    for (QSocketNotifier** notifier : {&m_readNotifier, &m_writeNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    removeLink();
    closeDescriptor(m_slave);
    closeDescriptor(m_master);
    m_unwritten.clear();
    m_devicePath.clear();
}

bool PtyPort::makeLink(const QString& path, QString* error) {
    const auto fail = [&](const QString& why) {
        if (error) {
            *error = why;
        }
        return false;
    };
    if (!isOpen()) {
        return fail(QStringLiteral("no device to link to"));
    }
    if (path.isEmpty()) {
        return fail(QStringLiteral("empty link path"));
    }
    if (!m_linkPath.isEmpty() && m_linkPath != path) {
        removeLink();
    }
    const QFileInfo existing(path);
    if (existing.isSymLink()) {
        if (!QFile::remove(path)) {
            return fail(QStringLiteral("cannot replace the old link at %1").arg(path));
        }
    } else if (existing.exists()) {
        return fail(QStringLiteral("%1 exists and is not a link; not touching it").arg(path));
    }
    const QByteArray target = QFile::encodeName(m_devicePath);
    const QByteArray link = QFile::encodeName(path);
    if (::symlink(target.constData(), link.constData()) != 0) {
        return fail(systemError("symlink"));
    }
    m_linkPath = path;
    return true;
}

void PtyPort::write(const QByteArray& bytes) {
    if (!isOpen() || bytes.isEmpty()) {
        return;
    }
    m_unwritten += bytes;
    writePending();
}

void PtyPort::readAvailable() {
    QByteArray bytes;
    char buffer[kReadChunk];
    for (;;) {
        const ssize_t count = ::read(m_master, buffer, sizeof buffer);
        if (count > 0) {
            bytes.append(buffer, count);
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count == 0 || errno != EAGAIN) {
            // EIO: no slave end open. Our own slave fd should prevent it, but
            // the notifier would fire without pause if left enabled.
            if (m_readNotifier) {
                m_readNotifier->setEnabled(false);
                m_readRetry.start();
            }
        }
        break;
    }
    if (!bytes.isEmpty()) {
        emit bytesRead(bytes);
    }
}

void PtyPort::writePending() {
    while (!m_unwritten.isEmpty()) {
        const ssize_t count =
            ::write(m_master, m_unwritten.constData(), size_t(m_unwritten.size()));
        if (count > 0) {
            m_unwritten.remove(0, count);
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno != EAGAIN) {
            m_unwritten.clear();  // the line is gone: what was not sent is lost
        }
        break;
    }
    if (m_writeNotifier) {
        m_writeNotifier->setEnabled(!m_unwritten.isEmpty());
    }
}

void PtyPort::removeLink() {
    if (m_linkPath.isEmpty()) {
        return;
    }
    // Only our own link: someone may have put something else there since.
    const QFileInfo link(m_linkPath);
    if (link.isSymLink() && link.symLinkTarget() == m_devicePath) {
        ::unlink(QFile::encodeName(m_linkPath).constData());
    }
    m_linkPath.clear();
}

}  // namespace morvane::sim
