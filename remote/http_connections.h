// The TCP side of an HTTP server, bounded so that no client can hold more
// of the program than its share: a set number of connections (one that
// never completed a request makes room first, then the longest idle), idle
// connections aborted, a request's head and body limited in size, and no
// request read while the client leaves too many answers unread. Each
// connection also keeps its replies in the order of its requests, whatever
// order they are ready in.
//
// The HTTP parsing itself is Qt HttpServer's (bound to the pool with
// QAbstractHttpServer::bind). Qt 6.4 reads a socket under a transaction
// that keeps every byte of an unfinished request, and reads on at once
// after each request it handles; so the socket it is given is a gate in
// front of the real connection: every byte passes the request counter
// first, and Qt is handed one whole request at a time, none while the
// connection's answers wait unread.
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
    // Answers the client has not taken yet beyond which no more of its
    // requests are read: TCP then holds the client back.
    qint64 unsentAnswers = 64 * 1024;
    // Requests handed on and not yet answered, at most.
    int waitingRequests = 16;
    // After a refusal, how long the client has to read it before the
    // connection is aborted.
    std::chrono::milliseconds lingerAfterRefusal{1000};
};

class HttpConnection : public QTcpSocket {
    Q_OBJECT
public:
    using Status = QHttpServerResponder::StatusCode;

    HttpConnection(qintptr descriptor, const ConnectionLimits& limits, QObject* parent);
    ~HttpConnection() override;

    // The descriptor was taken: the connection is live.
    bool attached() const { return m_attached; }

    // A request has been taken off the connection: its reply gets the next
    // place. Returns the ticket that reply() is called with. With
    // `closeAfter` (or when the request's version and Connection ask for
    // it) the connection is closed once that reply has been written.
    quint64 expectReply(QHttpServerResponder&& responder, bool closeAfter);
    // Written as soon as every reply before it has been.
    void reply(quint64 ticket, Status status, const QByteArray& contentType,
               const QByteArray& body);

    bool awaitingReply() const;
    std::chrono::steady_clock::time_point lastActivity() const { return m_lastActivity; }
    // Which connection makes room for a newcomer first: the lowest.
    int evictionClass() const;
    // Its requests are not read because its unsent answers are over budget.
    bool readingPaused() const;
    // What it holds for its client: unsent answers, and request bytes read
    // but not yet handed to the HTTP server.
    qint64 unsentBytes() const;
    qint64 heldRequestBytes() const { return m_inbox.size() - m_inboxOffset; }
    // Ends the connection at once, unsent answers and all.
    void closeNow();

    qint64 bytesAvailable() const override;
    qint64 bytesToWrite() const override;

protected:
    bool event(QEvent* event) override;
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    struct PendingReply;
    struct Framed {
        quint64 end;  // where the request ends in the connection's stream
        RequestSize::Request request;
    };

    void pull();
    void scan(const char* data, qint64 size);
    bool noticeHalfClose();
    void scheduleOffer();
    void writeReady();
    void sendReply(const PendingReply& reply);
    void send(const QByteArray& bytes);
    void refuse(RequestSize::Verdict verdict, const char* problem);
    void sendRefusalWhenDue();
    void shutDownSending();
    void wireClosed();
    void touch() { m_lastActivity = std::chrono::steady_clock::now(); }

    ConnectionLimits m_limits;
    QTcpSocket m_wire;  // the client's connection itself
    bool m_attached = false;
    RequestSize m_size;
    QByteArray m_inbox;  // counted bytes not yet handed on; from m_inboxOffset
    qsizetype m_inboxOffset = 0;
    quint64 m_scanned = 0;        // bytes counted, since the connection began
    quint64 m_handed = 0;         // bytes handed to the HTTP server
    qint64 m_offered = 0;         // of the request being handed, what it may still read
    std::deque<Framed> m_framed;  // whole, not yet handed on
    std::deque<RequestSize::Request> m_unanswered;  // handed on, not yet taken
    std::deque<std::unique_ptr<PendingReply>> m_replies;
    qint64 m_heldReplyBytes = 0;  // ready replies behind one that is not
    quint64 m_nextTicket = 0;
    quint64 m_requestsTaken = 0;
    std::chrono::steady_clock::time_point m_lastActivity;
    bool m_offerScheduled = false;
    bool m_handingNow = false;   // within the HTTP server's handling of its request
    bool m_stopReading = false;  // refused or closing: nothing more is read
    bool m_stopHanding = false;  // nothing more is handed to the HTTP server
    bool m_clientLeft = false;
    QByteArray m_refusal;  // written once every request before it is answered
    bool m_refusalSent = false;
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
