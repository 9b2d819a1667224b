// The TCP side of an HTTP server, bounded so that no client can hold more
// of the program than its share: a set number of connections (the
// longest-idle one makes room for a newcomer), idle connections closed, a
// request's head and body limited in size. Each connection also keeps its
// replies in the order of its requests, whatever order they are ready in.
// The HTTP parsing itself is Qt HttpServer's (bound to the pool with
// QAbstractHttpServer::bind).
#pragma once

#include "remote/request_size.h"

#include <QByteArray>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <chrono>
#include <deque>
#include <memory>
#include <vector>

namespace morvane::remote {

struct ConnectionLimits {
    int maximumConnections = 64;
    std::chrono::milliseconds idleClose{30000};
    std::size_t maximumHead = 16 * 1024;
    std::size_t maximumBody = 64 * 1024;
    // After a refusal, how long the rest of the request is read and dropped
    // so that the client gets to read the refusal.
    std::chrono::milliseconds lingerAfterRefusal{2000};
};

class HttpConnection : public QTcpSocket {
    Q_OBJECT
public:
    using Status = QHttpServerResponder::StatusCode;

    HttpConnection(const ConnectionLimits& limits, QObject* parent);
    ~HttpConnection() override;

    // A request has been taken off the connection: its reply gets the next
    // place. Returns the ticket that reply() is called with. With
    // `closeAfter` (the client said "Connection: close") the connection is
    // closed once that reply has been written.
    quint64 expectReply(QHttpServerResponder&& responder, bool closeAfter);
    // Written as soon as every reply before it has been.
    void reply(quint64 ticket, Status status, const QByteArray& contentType,
               const QByteArray& body);

    bool awaitingReply() const { return !m_replies.empty(); }
    std::chrono::steady_clock::time_point lastActivity() const { return m_lastActivity; }

protected:
    qint64 writeData(const char* data, qint64 size) override;

private:
    struct PendingReply;

    // Sends a whole reply at once, straight to the socket when nothing is
    // queued before it: no write notifier to switch on and off, no extra
    // turn of the event loop.
    void sendReply(PendingReply& reply);

    void onReadyRead();
    // Answers with `status` and `reason` outside the HTTP server, drops the
    // rest of what the client sends, and closes.
    void refuse(Status status, const QByteArray& statusText, const QByteArray& reason);
    void touch() { m_lastActivity = std::chrono::steady_clock::now(); }

    ConnectionLimits m_limits;
    RequestSize m_size;
    std::deque<std::unique_ptr<PendingReply>> m_replies;
    quint64 m_nextTicket = 0;
    std::chrono::steady_clock::time_point m_lastActivity;
    bool m_refused = false;
    bool m_collecting = false;
    QByteArray m_outgoing;
};

class HttpConnectionPool : public QTcpServer {
    Q_OBJECT
public:
    explicit HttpConnectionPool(const ConnectionLimits& limits, QObject* parent = nullptr);

    int connectionCount();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void forgetClosed();
    void closeIdle();
    void scheduleIdleCheck();

    ConnectionLimits m_limits;
    std::vector<QPointer<HttpConnection>> m_connections;
    QTimer m_idleCheck;
};

}  // namespace morvane::remote
