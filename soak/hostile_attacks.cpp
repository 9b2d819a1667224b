#include "soak/hostile_attacks.h"

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QPointer>
#include <QTcpSocket>
#include <QTextStream>
#include <QUdpSocket>
#include <QtEndian>

#include <memory>

#ifndef Q_OS_WIN
#include <sys/socket.h>
#endif

using namespace std::chrono_literals;

namespace morvane::soak {
namespace {

constexpr int kAtOnce = 4;
constexpr qint64 kMostSentByOne = 64 << 20;

// A socket to 127.0.0.1 that ends itself after `life` at the latest and
// calls `done` once, whichever way it ended.
QTcpSocket* connection(QObject* owner, quint16 port, std::chrono::milliseconds life,
                       std::function<void()> done) {
    auto* socket = new QTcpSocket(owner);
    auto called = std::make_shared<bool>(false);
    const auto end = [socket, called, done = std::move(done)] {
        if (!*called) {
            *called = true;
            socket->abort();
            socket->deleteLater();
            if (done) {
                done();
            }
        }
    };
    QObject::connect(socket, &QAbstractSocket::disconnected, socket, end);
    QObject::connect(socket, &QAbstractSocket::errorOccurred, socket, end);
    QTimer::singleShot(life, socket, end);
    socket->connectToHost(QHostAddress::LocalHost, port);
    return socket;
}

// Calls `done` once `count` calls of the returned function have been made.
std::function<void()> afterAll(int count, std::function<void()> done) {
    auto left = std::make_shared<int>(count);
    return [left, done = std::move(done)] {
        if (--*left == 0) {
            done();
        }
    };
}

// Keeps a socket's output topped up from `next` while it takes it, up to
// `limit` bytes in all.
void keepFeeding(QTcpSocket* socket, std::function<QByteArray()> next, qint64 limit) {
    auto sent = std::make_shared<qint64>(0);
    const auto feed = [socket, next = std::move(next), sent, limit] {
        while (socket->state() == QAbstractSocket::ConnectedState &&
               socket->bytesToWrite() < 256 * 1024 && *sent < limit) {
            const QByteArray piece = next();
            *sent += piece.size();
            socket->write(piece);
        }
    };
    QObject::connect(socket, &QAbstractSocket::connected, socket, feed);
    QObject::connect(socket, &QIODevice::bytesWritten, socket, feed);
}

const QByteArray kMalformed[] = {
    "GET / HTTPX1.1\r\n\r\n",
    "GET / HTTP/A.B\r\n\r\n",
    "GET / HTTP/2.0\r\n\r\n",
    "GET /api/v1/telescope%2F0/name HTTP/1.1\r\n\r\n",
    "GET /api/v1/telescope/0/name HTTP/1.1\nHost: x\n\n",
    "PUT /api/v1/telescope/0/tracking HTTP/1.1\r\nContent-Length: 14\r\nTransfer-Encoding: "
    "chunked\r\n\r\nE\r\nTracking=false\r\n0\r\n\r\n",
    "PUT /api/v1/telescope/0/tracking HTTP/1.1\r\nContent-Length: 14\r\nContent-Length: "
    "15\r\n\r\nTracking=false",
    "PUT /api/v1/telescope/0/tracking HTTP/1.1\r\nContent-Length : 14\r\n\r\nTracking=false",
    "PUT /api/v1/telescope/0/tracking HTTP/1.1\r\nX: a\r\n folded\r\n\r\n",
    "GET /api/v1/telescope/0/name HTTP/1.1\r\nno colon here\r\n\r\n",
    "GET /api/v1/telescope/0/name HTTP/1.1\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n\r\n",
    "GET  /api/v1/telescope/0/name HTTP/1.1\r\n\r\n",
    "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03",
    "PUT /api/v1/telescope/0/slewtocoordinatesasync HTTP/1.1\r\nContent-Length: "
    "99999999999999999999\r\n\r\n",
    "PUT /api/v1/telescope/0/slewtocoordinatesasync HTTP/1.1\r\nContent-Length: 41\r\n\r\n"
    "RightAscension=NaN&Declination=1e999999999",
    "PUT /api/v1/telescope/0/slewtocoordinatesasync HTTP/1.1\r\nContent-Length: 44\r\n\r\n"
    "RightAscension=1&Declination=-90.0000000001",
    "GET /management/%s%s%s%n HTTP/1.1\r\n\r\n",
    "DELETE /api/v1/telescope/0/connected HTTP/1.1\r\n\r\n",
};

}  // namespace

Attacks::Attacks(const ServerPorts& ports, quint32 seed, std::chrono::milliseconds length)
    : m_ports(ports), m_random(seed), m_end(std::chrono::steady_clock::now() + length) {
    connect(&m_launcher, &QTimer::timeout, this, &Attacks::launchSome);
}

void Attacks::start() {
    m_launcher.start(500);
    launchSome();
}

void Attacks::launchSome() {
    if (std::chrono::steady_clock::now() >= m_end) {
        m_launcher.stop();
        if (m_running == 0) {
            QTextStream out(stdout);
            for (const auto& [name, count] : m_started) {
                out << "attack\t" << name << '\t' << count << '\n';
            }
            out.flush();
            QCoreApplication::quit();
        }
        return;
    }
    static const std::pair<const char*, void (Attacks::*)(std::function<void()>)> kinds[] = {
        {"answers left unread", &Attacks::unreadPipeline},
        {"a body streamed past its limit", &Attacks::streamedBody},
        {"an oversized head in two pieces", &Attacks::splitOversizedHead},
        {"40 heads a byte a second", &Attacks::slowHeads},
        {"200 silent connections a second", &Attacks::connectionStorm},
        {"malformed and smuggling shapes", &Attacks::malformed},
        {"1,900 requests in one write", &Attacks::pipelinedBurst},
        {"half-closed requests", &Attacks::halfClosed},
        {"valid slews back to back", &Attacks::validSlewFlood},
        {"Stellarium junk streams", &Attacks::stellariumJunk},
        {"40 Stellarium clients more than the cap", &Attacks::stellariumCrowd},
        {"discovery junk", &Attacks::discoveryJunk},
    };
    while (m_running < kAtOnce && pick(0, 2) != 0) {
        const auto& [name, attack] = kinds[pick(0, int(std::size(kinds)) - 1)];
        ++m_running;
        ++m_started[QString::fromLatin1(name)];
        (this->*attack)([this, name = QString::fromLatin1(name)] { finished(name); });
    }
}

void Attacks::finished(const QString&) {
    --m_running;
    if (std::chrono::steady_clock::now() >= m_end) {
        launchSome();
    }
}

// Pipelines setup-page requests and never reads: the server must stop
// reading it, and abort it once it has been idle.
void Attacks::unreadPipeline(std::function<void()> done) {
    QTcpSocket* socket = connection(this, m_ports.alpaca, 45s, std::move(done));
    socket->setReadBufferSize(1);
    const QByteArray requests =
        QByteArray("GET /setup HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").repeated(400);
    keepFeeding(
        socket, [requests] { return requests; }, kMostSentByOne);
}

void Attacks::streamedBody(std::function<void()> done) {
    QTcpSocket* socket = connection(this, m_ports.alpaca, 10s, std::move(done));
    socket->write(
        "PUT /api/v1/telescope/0/tracking HTTP/1.1\r\nContent-Length: 1000000000\r\n\r\n");
    const QByteArray piece(64 * 1024, 'x');
    keepFeeding(
        socket, [piece] { return piece; }, kMostSentByOne);
}

void Attacks::splitOversizedHead(std::function<void()> done) {
    QTcpSocket* socket = connection(this, m_ports.alpaca, 10s, std::move(done));
    const QByteArray half = "X-Padding: " + QByteArray(10 * 1024, 'h') + "\r\n";
    socket->write("GET /api/v1/telescope/0/name HTTP/1.1\r\n" + half);
    QPointer<QTcpSocket> guard(socket);
    QTimer::singleShot(100ms, socket, [guard, half] {
        if (guard) {
            keepFeeding(
                guard, [half] { return half; }, kMostSentByOne);
            guard->write(half);
        }
    });
}

void Attacks::slowHeads(std::function<void()> done) {
    const auto each = afterAll(40, std::move(done));
    for (int i = 0; i < 40; ++i) {
        QTcpSocket* socket = connection(this, m_ports.alpaca, 60s, each);
        auto* drip = new QTimer(socket);
        auto at = std::make_shared<int>(0);
        connect(drip, &QTimer::timeout, socket, [socket, at] {
            if (socket->state() != QAbstractSocket::ConnectedState) {
                return;
            }
            static const QByteArray head =
                "GET /api/v1/telescope/0/name HTTP/1.1\r\nX: " + QByteArray(20000, 'd');
            socket->write(head.mid((*at)++ % head.size(), 1));
        });
        drip->start(1000);
    }
}

void Attacks::connectionStorm(std::function<void()> done) {
    auto* tick = new QTimer(this);
    auto rounds = std::make_shared<int>(0);
    const auto each = afterAll(1000, std::move(done));
    connect(tick, &QTimer::timeout, this, [this, tick, rounds, each] {
        for (int i = 0; i < 20; ++i) {
            connection(this, m_ports.alpaca, 2s, each);
        }
        if (++*rounds == 50) {
            tick->deleteLater();
        }
    });
    tick->start(100);
}

void Attacks::malformed(std::function<void()> done) {
    const auto each = afterAll(int(std::size(kMalformed)) + 1, std::move(done));
    for (const QByteArray& request : kMalformed) {
        QTcpSocket* socket = connection(this, m_ports.alpaca, 5s, each);
        connect(socket, &QAbstractSocket::connected, socket,
                [socket, request] { socket->write(request); });
        connect(socket, &QIODevice::readyRead, socket, [socket] { socket->readAll(); });
    }
    QTcpSocket* socket = connection(this, m_ports.alpaca, 5s, each);
    QByteArray junk(4096, '\0');
    for (char& c : junk) {
        c = char(pick(0, 255));
    }
    socket->write(junk);
}

void Attacks::pipelinedBurst(std::function<void()> done) {
    QTcpSocket* socket = connection(this, m_ports.alpaca, 20s, std::move(done));
    socket->write(QByteArray("GET /api/v1/telescope/0/name HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
                      .repeated(1900));
    auto answers = std::make_shared<qsizetype>(0);
    connect(socket, &QIODevice::readyRead, socket, [socket, answers] {
        *answers += socket->readAll().count("HTTP/1.1 200");
        if (*answers >= 1900) {
            socket->disconnectFromHost();
        }
    });
}

// A request that reads only, then the sending side shut: nothing of it may
// reach the mount but the position query it asks for.
void Attacks::halfClosed(std::function<void()> done) {
    const auto each = afterAll(20, std::move(done));
    for (int i = 0; i < 20; ++i) {
        QTcpSocket* socket = connection(this, m_ports.alpaca, 5s, each);
        connect(socket, &QAbstractSocket::connected, socket, [socket] {
            socket->write(
                "GET /api/v1/telescope/0/rightascension HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
            socket->flush();
#ifndef Q_OS_WIN
            ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
#endif
        });
    }
}

// Valid commands as fast as they are answered: the link must keep the port
// open and every command whole.
void Attacks::validSlewFlood(std::function<void()> done) {
    const auto each = afterAll(2, std::move(done));
    for (int c = 0; c < 2; ++c) {
        QTcpSocket* socket = connection(this, m_ports.alpaca, 5s, each);
        auto turn = std::make_shared<int>(c);
        const auto next = [socket, turn] {
            const auto& target = kFloodTargets[(*turn)++ % 2];
            const QByteArray form = "RightAscension=" + QByteArray::number(target[0]) +
                                    "&Declination=" + QByteArray::number(target[1]);
            socket->write(
                "PUT /api/v1/telescope/0/slewtocoordinatesasync HTTP/1.1\r\nHost: "
                "127.0.0.1\r\nContent-Length: " +
                QByteArray::number(form.size()) + "\r\n\r\n" + form);
        };
        connect(socket, &QAbstractSocket::connected, socket, next);
        auto reply = std::make_shared<QByteArray>();
        connect(socket, &QIODevice::readyRead, socket, [socket, reply, next] {
            *reply += socket->readAll();
            while (reply->contains('}')) {
                reply->remove(0, reply->indexOf('}') + 1);
                next();
            }
        });
    }
}

void Attacks::stellariumJunk(std::function<void()> done) {
    const auto each = afterAll(10, std::move(done));
    for (int i = 0; i < 10; ++i) {
        QTcpSocket* socket = connection(this, m_ports.stellarium, 3s, each);
        QByteArray junk(pick(1, 300), '\0');
        for (char& c : junk) {
            c = char(pick(0, 255));
        }
        if (i % 2 == 0) {
            junk.prepend(QByteArray::fromHex("0300"));  // LENGTH 3: cannot be trusted
        }
        socket->write(junk);
    }
}

void Attacks::stellariumCrowd(std::function<void()> done) {
    const auto each = afterAll(40, std::move(done));
    for (int i = 0; i < 40; ++i) {
        QTcpSocket* socket = connection(this, m_ports.stellarium, 5s, each);
        connect(socket, &QIODevice::readyRead, socket, [socket] { socket->readAll(); });
    }
}

void Attacks::discoveryJunk(std::function<void()> done) {
    QUdpSocket socket;
    for (int i = 0; i < 2000; ++i) {
        QByteArray datagram(pick(0, 64), '\0');
        for (char& c : datagram) {
            c = char(pick(0, 255));
        }
        socket.writeDatagram(i % 10 == 0 ? QByteArray("alpacadiscovery1") : datagram,
                             QHostAddress::LocalHost, m_ports.discovery);
    }
    QTimer::singleShot(1s, this, std::move(done));
}

}  // namespace morvane::soak
