#include "remote/http_connections.h"

#include "remote/warning_limit.h"

#include <QEvent>
#include <QHash>
#include <QLoggingCategory>
#include <QMetaEnum>
#include <algorithm>
#include <charconv>
#include <cstring>

#ifndef Q_OS_WIN
#include <sys/socket.h>
#endif

// Refusals are warnings, at most one every ten seconds; the rest of the
// connections' life is debug: QT_LOGGING_RULES="morvane.http.debug=true"
Q_LOGGING_CATEGORY(lcHttp, "morvane.http", QtWarningMsg)

namespace morvane::remote {
namespace {

using Clock = std::chrono::steady_clock;

// What the gate reads of a client ahead of the HTTP server: a whole request
// at the largest fits, so that it can be handed on whole.
qint64 inboxBound(const ConnectionLimits& limits) {
    return qint64(limits.maximumHead + limits.maximumBody);
}
// What Qt takes from the kernel for a connection before the gate reads it.
constexpr qint64 kWireBuffer = 16 * 1024;
// What the kernel holds of a client's requests before TCP holds it back (a
// whole request at the largest), and of its answers before they count as
// unsent here. Left to itself the kernel grows each to megabytes for a fast
// client, and answers queued there went on being made for one that never
// reads. (The kernel doubles both.)
constexpr int kKernelReceive = 96 * 1024;
constexpr int kKernelSend = 32 * 1024;

// How deep the HTTP server's handling of a request (of any connection) is
// now: a request is never handed to it from within its own handling.
int g_handing = 0;

// "400 Bad Request": the status's name in Qt's list, in words.
QByteArray statusLine(QHttpServerResponder::StatusCode status) {
    static QHash<int, QByteArray> lines;
    QByteArray& line = lines[int(status)];
    if (line.isEmpty()) {
        line = QByteArray::number(int(status));
        if (status == QHttpServerResponder::StatusCode::Ok) {
            line += " OK";
        }
        const char* name =
            status == QHttpServerResponder::StatusCode::Ok
                ? ""
                : QMetaEnum::fromType<QHttpServerResponder::StatusCode>().valueToKey(int(status));
        for (; name && *name; ++name) {
            line += QByteArray(*name >= 'A' && *name <= 'Z' ? " " : "") + *name;
        }
    }
    return line;
}

// Head and body in one buffer, allocated once.
QByteArray answer(QHttpServerResponder::StatusCode status, const QByteArray& contentType,
                  const QByteArray& body, const char* connection, bool headOnly = false) {
    QByteArray bytes;
    bytes.reserve(112 + contentType.size() + body.size());
    char length[24];
    const auto end = std::to_chars(length, length + sizeof length, body.size()).ptr;
    bytes.append("HTTP/1.1 ")
        .append(statusLine(status))
        .append("\r\nContent-Type: ")
        .append(contentType)
        .append("\r\nContent-Length: ")
        .append(length, end - length);
    if (connection) {
        bytes.append("\r\nConnection: ").append(connection);
    }
    bytes.append("\r\n\r\n");
    if (!headOnly) {
        bytes.append(body);  // HEAD: the head of the answer a GET would get
    }
    return bytes;
}

QByteArray sizeText(std::size_t bytes) {
    return bytes % 1024 == 0 ? QByteArray::number(qulonglong(bytes / 1024)) + " KiB"
                             : QByteArray::number(qulonglong(bytes)) + " bytes";
}

void warnRefusal(const QHostAddress& peer, const QByteArray& status, const QByteArray& reason) {
    static WarningLimit limit;
    int heldBack = 0;
    if (!limit.allow(&heldBack)) {
        qCDebug(lcHttp).noquote() << "refused" << peer.toString() << status << reason.trimmed();
        return;
    }
    qCWarning(lcHttp).noquote() << QStringLiteral("refused a request from %1: %2 (%3)%4")
                                       .arg(peer.toString(), QString::fromUtf8(status),
                                            QString::fromUtf8(reason.trimmed()),
                                            heldBack ? QStringLiteral("; %1 more refused since "
                                                                      "the last such warning")
                                                           .arg(heldBack)
                                                     : QString());
}

}  // namespace

struct HttpConnection::PendingReply {
    PendingReply(quint64 t, QHttpServerResponder&& r, bool close, const RequestSize::Request& q)
        : ticket(t), responder(std::move(r)), closeAfter(close), request(q) {}
    quint64 ticket;
    QHttpServerResponder responder;
    bool closeAfter;
    RequestSize::Request request;
    bool ready = false;
    Status status = Status::Ok;
    QByteArray contentType;
    QByteArray body;
};

HttpConnection::HttpConnection(qintptr descriptor, const ConnectionLimits& limits, QObject* parent)
    : QTcpSocket(parent),
      m_limits(limits),
      m_size(limits.maximumHead, limits.maximumBody),
      m_lastActivity(Clock::now()) {
    if (!m_wire.setSocketDescriptor(descriptor)) {
        return;
    }
    m_attached = true;
    // Beyond this Qt stops reading from the kernel and TCP holds the
    // client back, until the gate has room again.
    m_wire.setReadBufferSize(kWireBuffer);
    m_wire.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kKernelReceive);
    m_wire.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kKernelSend);
    m_wire.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    setPeerAddress(m_wire.peerAddress());
    setPeerPort(m_wire.peerPort());
    setLocalAddress(m_wire.localAddress());
    setLocalPort(m_wire.localPort());
    QIODevice::open(QIODevice::ReadWrite);
    setSocketState(QAbstractSocket::ConnectedState);
    connect(&m_wire, &QIODevice::readyRead, this, &HttpConnection::pull);
    connect(&m_wire, &QIODevice::bytesWritten, this, [this] {
        touch();
        if (m_refusalSent && m_wire.bytesToWrite() == 0) {
            shutDownSending();
        }
        if (!readingPaused()) {
            pull();
        }
    });
    connect(&m_wire, &QAbstractSocket::disconnected, this, &HttpConnection::wireClosed);
    // Qt HttpServer closes the socket it was given when it cannot parse a
    // request: the client's connection goes with it.
    connect(this, &QAbstractSocket::stateChanged, this, [this](SocketState state) {
        if (state != ConnectedState && m_wire.state() == ConnectedState) {
            m_stopReading = m_stopHanding = true;
            m_wire.disconnectFromHost();
        }
    });
}

HttpConnection::~HttpConnection() {
    // Replies still waiting are dropped while the gate is whole, and the
    // connection ends without calling back into what is being destroyed.
    m_replies.clear();
    m_wire.disconnect(this);
    m_wire.abort();
    // Nor does the socket's own destructor abort a gate still marked open:
    // the signals of that would reach this object's parts already gone.
    // (Qt HttpServer's own connections stay: it lets go of its request for
    // the gate on destroyed.)
    setSocketState(QAbstractSocket::UnconnectedState);
}

// The HTTP server sees bytes only within the readyRead the gate emits: it
// then never reads on by itself, from within some other handling.
qint64 HttpConnection::bytesAvailable() const {
    return QIODevice::bytesAvailable() + (m_handingNow ? m_offered : 0);
}

qint64 HttpConnection::bytesToWrite() const {
    return m_wire.bytesToWrite();
}

bool HttpConnection::awaitingReply() const {
    return std::any_of(m_replies.begin(), m_replies.end(),
                       [](const auto& reply) { return !reply->ready; });
}

int HttpConnection::evictionClass() const {
    if (m_stopReading) {
        return 0;  // refused, or on its way out
    }
    return m_requestsTaken == 0 ? 1 : 2;
}

qint64 HttpConnection::unsentBytes() const {
    qint64 held = 0;
    for (const auto& reply : m_replies) {
        held += reply->ready ? reply->body.size() : 0;
    }
    return m_wire.bytesToWrite() + held;
}

bool HttpConnection::readingPaused() const {
    return unsentBytes() > m_limits.unsentAnswers ||
           qsizetype(m_replies.size() + m_unanswered.size()) >= m_limits.waitingRequests;
}

void HttpConnection::closeNow() {
    m_stopReading = m_stopHanding = true;
    m_wire.abort();
}

void HttpConnection::pull() {
    if (g_handing > 0) {
        scheduleOffer();
        return;
    }
    char chunk[16 * 1024];
    for (bool progress = true; progress;) {
        progress = false;
        while (!m_stopReading && heldRequestBytes() < inboxBound(m_limits) &&
               m_wire.bytesAvailable() > 0) {
            const qint64 n = m_wire.read(
                chunk, std::min<qint64>(sizeof chunk, inboxBound(m_limits) - heldRequestBytes()));
            if (n <= 0) {
                break;
            }
            progress = true;
            touch();
            scan(chunk, n);
        }
        // Whole requests, one at a time: the HTTP server handles each within
        // readyRead, and room is made in the inbox for more of the client.
        // One it does not take whole (it framed the request otherwise) is
        // offered again until it takes nothing more.
        while (!m_stopHanding && !readingPaused() &&
               (m_offered > 0 || (!m_framed.empty() && !noticeHalfClose()))) {
            if (m_offered == 0) {
                m_offered = qint64(m_framed.front().end - m_handed);
            }
            const qint64 offered = m_offered;
            m_handingNow = true;
            ++g_handing;
            emit readyRead();
            --g_handing;
            m_handingNow = false;
            if (m_offered == offered) {
                break;
            }
            progress = true;
        }
    }
    sendRefusalWhenDue();
}

void HttpConnection::scan(const char* data, qint64 size) {
    if (m_inboxOffset > 0) {
        m_inbox.remove(0, m_inboxOffset);
        m_inboxOffset = 0;
    }
    std::string_view rest(data, std::size_t(size));
    while (!rest.empty()) {
        const std::size_t taken = m_size.take(rest);
        if (m_size.verdict() != RequestSize::Verdict::Fine) {
            refuse(m_size.verdict(), m_size.problem());
            return;
        }
        m_inbox.append(rest.data(), qsizetype(taken));
        m_scanned += taken;
        rest.remove_prefix(taken);
        if (m_size.ended()) {
            m_framed.push_back({m_scanned, m_size.request()});
        }
    }
}

// A client that has shut its sending side is about to be closed by Qt's
// socket, which knows no half-closed connections: its answers could not be
// written, so no request of it that changes the mount is handed on.
bool HttpConnection::noticeHalfClose() {
#ifndef Q_OS_WIN
    if (!m_clientLeft && !m_framed.front().request.readsOnly && m_wire.bytesAvailable() == 0) {
        char byte = 0;
        m_clientLeft = ::recv(static_cast<int>(m_wire.socketDescriptor()), &byte, 1,
                              MSG_PEEK | MSG_DONTWAIT) == 0;
        if (m_clientLeft) {
            qCDebug(lcHttp).noquote() << peerAddress().toString() << "shut its sending side;"
                                      << m_framed.size() << "request(s) left unanswered";
            m_stopHanding = true;
            m_framed.clear();
        }
    }
#endif
    return m_clientLeft;
}

void HttpConnection::scheduleOffer() {
    if (m_offerScheduled) {
        return;
    }
    m_offerScheduled = true;
    // Posted to the client's socket: what is posted to the gate counts as
    // the HTTP server's own (see event()).
    QMetaObject::invokeMethod(
        &m_wire,
        [this] {
            m_offerScheduled = false;
            pull();
        },
        Qt::QueuedConnection);
}

// Qt HttpServer reads on after a request through a call it posts to the
// socket: that too is its handling, within which nothing is handed to it.
bool HttpConnection::event(QEvent* event) {
    if (event->type() != QEvent::MetaCall) {
        return QTcpSocket::event(event);
    }
    ++g_handing;
    const bool handled = QTcpSocket::event(event);
    --g_handing;
    return handled;
}

qint64 HttpConnection::readData(char* data, qint64 maxSize) {
    const qint64 n = m_handingNow ? std::min(maxSize, m_offered) : 0;
    if (n <= 0) {
        return 0;  // nothing now; more is announced with readyRead
    }
    std::memcpy(data, m_inbox.constData() + m_inboxOffset, std::size_t(n));
    m_inboxOffset += n;
    m_handed += quint64(n);
    m_offered -= n;
    if (m_offered == 0) {
        m_unanswered.push_back(m_framed.front().request);
        m_framed.pop_front();
        if (m_inboxOffset == m_inbox.size()) {
            m_inbox.resize(0);
            m_inboxOffset = 0;
        }
    }
    return n;
}

qint64 HttpConnection::writeData(const char* data, qint64 size) {
    return m_wire.write(data, size);
}

quint64 HttpConnection::expectReply(QHttpServerResponder&& responder, bool closeAfter) {
    RequestSize::Request request;
    if (!m_unanswered.empty()) {
        request = m_unanswered.front();
        m_unanswered.pop_front();
    }
    ++m_requestsTaken;
    closeAfter = closeAfter || !request.keepAlive;
    if (closeAfter) {
        m_stopHanding = true;  // what the client sent after it goes unread
    }
    m_replies.push_back(
        std::make_unique<PendingReply>(++m_nextTicket, std::move(responder), closeAfter, request));
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
    writeReady();
}

void HttpConnection::writeReady() {
    while (!m_replies.empty() && m_replies.front()->ready) {
        PendingReply& next = *m_replies.front();
        const bool close = next.closeAfter;
        if (m_wire.state() == QAbstractSocket::ConnectedState) {
            sendReply(next);
        }
        m_replies.pop_front();
        if (close) {
            m_replies.clear();
            m_stopReading = m_stopHanding = true;
            m_wire.disconnectFromHost();  // once the answer has left
            return;
        }
    }
    touch();
    if (!m_handingNow && !readingPaused()) {
        pull();  // this connection's own handing goes on by itself
    }
}

// The answer's head is written here rather than by Qt's responder, which
// writes it in a dozen pieces: one piece, one send.
void HttpConnection::sendReply(const PendingReply& reply) {
    send(answer(reply.status, reply.contentType, reply.body,
                reply.closeAfter       ? "close"
                : reply.request.http10 ? "keep-alive"
                                       : nullptr,
                reply.request.headOnly));
}

// Sends at once, straight to the socket when nothing is queued before it:
// no write notifier to switch on and off, no extra turn of the event loop.
void HttpConnection::send(const QByteArray& bytes) {
    qint64 sent = 0;
#ifndef Q_OS_WIN
    if (m_wire.bytesToWrite() == 0) {
        const auto n = ::send(static_cast<int>(m_wire.socketDescriptor()), bytes.constData(),
                              std::size_t(bytes.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
        sent = n > 0 ? n : 0;  // on any trouble Qt's own writing takes over and reports it
    }
#endif
    if (sent < bytes.size()) {
        m_wire.write(bytes.constData() + sent, bytes.size() - sent);
    }
}

void HttpConnection::refuse(RequestSize::Verdict verdict, const char* problem) {
    using Verdict = RequestSize::Verdict;
    Status status = Status::BadRequest;
    QByteArray reason = problem;
    switch (verdict) {
        case Verdict::Fine:
        case Verdict::Malformed:
            break;
        case Verdict::HeadTooLarge:
            status = Status::RequestHeaderFieldsTooLarge;
            reason = "The request's head is larger than " + sizeText(m_limits.maximumHead) + '.';
            break;
        case Verdict::BodyTooLarge:
            status = Status::PayloadTooLarge;
            reason = "The request's body is larger than " + sizeText(m_limits.maximumBody) + '.';
            break;
        case Verdict::LengthRequired:
            status = Status::LengthRequired;
            reason = "A request's body must come with its Content-Length.";
            break;
        case Verdict::VersionUnsupported:
            status = Status::HttpVersionNotSupported;
            reason = "This server speaks HTTP/1.1 (and 1.0).";
            break;
    }
    warnRefusal(peerAddress(), statusLine(status), reason);
    // Nothing more of the client is read, and nothing of the refused request
    // is kept; the requests whole before it are still answered, in order.
    m_stopReading = true;
    const quint64 lastWhole =
        m_framed.empty() ? m_handed + quint64(m_offered) : m_framed.back().end;
    m_inbox.truncate(m_inboxOffset + qsizetype(lastWhole - m_handed));
    const QByteArray body = reason + '\n';
    m_refusal = answer(status, "text/plain; charset=utf-8", body, "close");
    QTimer::singleShot(m_limits.lingerAfterRefusal, this, &HttpConnection::closeNow);
}

void HttpConnection::sendRefusalWhenDue() {
    if (m_refusal.isEmpty() || !m_framed.empty() || m_offered > 0 || !m_unanswered.empty() ||
        !m_replies.empty()) {
        return;
    }
    m_stopHanding = true;
    send(std::exchange(m_refusal, {}));
    m_refusalSent = true;
    if (m_wire.bytesToWrite() == 0) {
        shutDownSending();
    }
}

// The client reads the refusal and then the end of the connection, rather
// than a reset that may come before the answer.
void HttpConnection::shutDownSending() {
#ifdef Q_OS_WIN
    m_wire.disconnectFromHost();
#else
    ::shutdown(static_cast<int>(m_wire.socketDescriptor()), SHUT_WR);
#endif
}

void HttpConnection::wireClosed() {
    m_stopReading = m_stopHanding = true;
    setSocketState(QAbstractSocket::UnconnectedState);
    emit disconnected();  // Qt HttpServer lets go of the gate on this
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
        // One that never completed a request (or was refused) makes room
        // first; among the rest the longest idle, preferring one that waits
        // for no reply. A client that has made requests keeps its place
        // against a stream of newcomers.
        const auto first = std::min_element(
            m_connections.begin(), m_connections.end(), [](const auto& a, const auto& b) {
                return std::tuple(a->evictionClass(), a->awaitingReply(), a->lastActivity()) <
                       std::tuple(b->evictionClass(), b->awaitingReply(), b->lastActivity());
            });
        QPointer<HttpConnection> evicted = *first;
        m_connections.erase(first);
        qCDebug(lcHttp).noquote() << "more than" << m_limits.maximumConnections
                                  << "connections: closing one from"
                                  << evicted->peerAddress().toString();
        evicted->closeNow();
    }
    auto* connection = new HttpConnection(descriptor, m_limits, this);
    if (!connection->attached()) {
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
    const auto now = Clock::now();
    for (const auto& connection : m_connections) {
        // Aborted: one whose answers stay unread would otherwise wait for
        // them to drain, holding them.
        if (!connection->awaitingReply() &&
            now - connection->lastActivity() >= m_limits.idleClose) {
            connection->closeNow();
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
    const auto now = Clock::now();
    auto due = Clock::time_point::max();
    for (const auto& connection : m_connections) {
        // One waiting for its reply is not idle: looked at again later.
        const auto from = connection->awaitingReply() ? now : connection->lastActivity();
        due = std::min(due, from + m_limits.idleClose);
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now);
    m_idleCheck.start(std::max(wait, std::chrono::milliseconds(10)));
}

}  // namespace morvane::remote
