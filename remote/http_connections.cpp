#include "remote/http_connections.h"

#include <algorithm>

#ifndef Q_OS_WIN
#include <sys/socket.h>
#endif

namespace morvane::remote {

struct HttpConnection::PendingReply {
    PendingReply(quint64 t, QHttpServerResponder&& r, bool close)
        : ticket(t), responder(std::move(r)), closeAfter(close) {}
    quint64 ticket;
    QHttpServerResponder responder;
    bool closeAfter;
    bool ready = false;
    Status status = Status::Ok;
    QByteArray contentType;
    QByteArray body;
};

HttpConnection::HttpConnection(const ConnectionLimits& limits, QObject* parent)
    : QTcpSocket(parent),
      m_limits(limits),
      m_size(limits.maximumHead, limits.maximumBody),
      m_lastActivity(std::chrono::steady_clock::now()) {
    // Connected before the HTTP server connects its own reader, so every
    // byte is counted before the server buffers it.
    connect(this, &QIODevice::readyRead, this, &HttpConnection::onReadyRead);
    connect(this, &QIODevice::bytesWritten, this, [this] { touch(); });
}

HttpConnection::~HttpConnection() {
    // Replies still waiting are dropped while the socket is whole.
    m_replies.clear();
}

quint64 HttpConnection::expectReply(QHttpServerResponder&& responder, bool closeAfter) {
    m_size.startNext();
    m_replies.push_back(
        std::make_unique<PendingReply>(++m_nextTicket, std::move(responder), closeAfter));
    return m_nextTicket;
}

void HttpConnection::reply(quint64 ticket, Status status, const QByteArray& contentType,
                           const QByteArray& body) {
    for (auto& pending : m_replies) {
        if (pending->ticket == ticket) {
            pending->ready = true;
            pending->status = status;
            pending->contentType = contentType;
            pending->body = body;
        }
    }
    while (!m_replies.empty() && m_replies.front()->ready) {
        PendingReply& next = *m_replies.front();
        const bool close = next.closeAfter;
        if (state() == QAbstractSocket::ConnectedState && !m_refused) {
            sendReply(next);
        }
        m_replies.pop_front();
        if (close) {
            m_replies.clear();
            disconnectFromHost();
            return;
        }
    }
    touch();
}

void HttpConnection::sendReply(PendingReply& reply) {
    m_collecting = true;
    reply.responder.write(reply.body, {{"Content-Type", reply.contentType}}, reply.status);
    m_collecting = false;
    const QByteArray bytes = std::exchange(m_outgoing, {});
    qint64 sent = 0;
#ifndef Q_OS_WIN
    if (bytesToWrite() == 0) {
        const auto n = ::send(static_cast<int>(socketDescriptor()), bytes.constData(),
                              static_cast<std::size_t>(bytes.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
        sent = n > 0 ? n : 0;  // on any trouble Qt's own writing takes over and reports it
    }
#endif
    if (sent < bytes.size()) {
        QTcpSocket::writeData(bytes.constData() + sent, bytes.size() - sent);
    }
}

qint64 HttpConnection::writeData(const char* data, qint64 size) {
    if (m_collecting) {
        m_outgoing.append(data, size);
        return size;
    }
    return QTcpSocket::writeData(data, size);
}

void HttpConnection::onReadyRead() {
    touch();
    if (m_refused) {
        readAll();  // the rest of a refused request, dropped
        return;
    }
    const QByteArray fresh = peek(bytesAvailable());
    switch (
        m_size.feed(std::string_view(fresh.constData(), static_cast<std::size_t>(fresh.size())))) {
        case RequestSize::Verdict::Fine:
            break;
        case RequestSize::Verdict::HeadTooLarge:
            refuse(Status::RequestHeaderFieldsTooLarge, "Request Header Fields Too Large",
                   QByteArray("The request's head is larger than ") +
                       QByteArray::number(static_cast<qulonglong>(m_limits.maximumHead / 1024)) +
                       " KiB.");
            return;
        case RequestSize::Verdict::BodyTooLarge:
            refuse(Status::PayloadTooLarge, "Payload Too Large",
                   QByteArray("The request's body is larger than ") +
                       QByteArray::number(static_cast<qulonglong>(m_limits.maximumBody / 1024)) +
                       " KiB.");
            return;
    }
}

void HttpConnection::refuse(Status status, const QByteArray& statusText, const QByteArray& reason) {
    m_refused = true;
    // Nothing of this request reaches the HTTP server any more.
    disconnect(this, &QIODevice::readyRead, nullptr, nullptr);
    connect(this, &QIODevice::readyRead, this, &HttpConnection::onReadyRead);
    readAll();
    m_replies.clear();
    const QByteArray body = reason + '\n';
    write("HTTP/1.1 " + QByteArray::number(static_cast<int>(status)) + ' ' + statusText +
          "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
          QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
#ifdef Q_OS_WIN
    disconnectFromHost();
#else
    // Closing at once with unread input would reset the connection and the
    // client might never read the answer: the sending side is shut once the
    // answer has left, and the client given a moment to close its side.
    connect(this, &QIODevice::bytesWritten, this, [this] {
        if (bytesToWrite() == 0) {
            ::shutdown(static_cast<int>(socketDescriptor()), SHUT_WR);
        }
    });
    QTimer::singleShot(m_limits.lingerAfterRefusal, this, [this] { abort(); });
#endif
}

HttpConnectionPool::HttpConnectionPool(const ConnectionLimits& limits, QObject* parent)
    : QTcpServer(parent), m_limits(limits) {
    m_idleCheck.setSingleShot(true);
    connect(&m_idleCheck, &QTimer::timeout, this, &HttpConnectionPool::closeIdle);
}

int HttpConnectionPool::connectionCount() {
    forgetClosed();
    return static_cast<int>(m_connections.size());
}

void HttpConnectionPool::forgetClosed() {
    std::erase_if(m_connections, [](const QPointer<HttpConnection>& c) {
        return c.isNull() || c->state() == QAbstractSocket::UnconnectedState;
    });
}

void HttpConnectionPool::incomingConnection(qintptr descriptor) {
    forgetClosed();
    if (static_cast<int>(m_connections.size()) >= m_limits.maximumConnections) {
        // The longest idle, preferring one that waits for no reply, makes room.
        const auto oldest = std::min_element(
            m_connections.begin(), m_connections.end(), [](const auto& a, const auto& b) {
                return std::pair(a->awaitingReply(), a->lastActivity()) <
                       std::pair(b->awaitingReply(), b->lastActivity());
            });
        QPointer<HttpConnection> evicted = *oldest;
        m_connections.erase(oldest);
        evicted->abort();
    }
    auto* connection = new HttpConnection(m_limits, this);
    if (!connection->setSocketDescriptor(descriptor)) {
        delete connection;
        return;
    }
    m_connections.emplace_back(connection);
    addPendingConnection(connection);
    if (!m_idleCheck.isActive()) {
        scheduleIdleCheck();
    }
}

void HttpConnectionPool::closeIdle() {
    forgetClosed();
    const auto now = std::chrono::steady_clock::now();
    for (const auto& connection : m_connections) {
        if (!connection->awaitingReply() &&
            now - connection->lastActivity() >= m_limits.idleClose) {
            connection->disconnectFromHost();
        }
    }
    scheduleIdleCheck();
}

// One timer for all connections, due when the longest-idle one would be.
void HttpConnectionPool::scheduleIdleCheck() {
    forgetClosed();
    if (m_connections.empty()) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    auto due = std::chrono::steady_clock::time_point::max();
    for (const auto& connection : m_connections) {
        // One waiting for its reply is not idle: looked at again later.
        const auto from = connection->awaitingReply() ? now : connection->lastActivity();
        due = std::min(due, from + m_limits.idleClose);
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now);
    m_idleCheck.start(std::max(wait, std::chrono::milliseconds(10)));
}

}  // namespace morvane::remote
