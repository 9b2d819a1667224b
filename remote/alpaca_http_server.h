// The Alpaca HTTP API: routes each request to Telescope 0, the management
// API or the setup page, reads its parameters, numbers it, and writes the
// JSON reply when the answer is ready. Runs on the thread it lives on (the
// GUI thread); nothing here waits.
#pragma once

#include "remote/alpaca_answer.h"
#include "remote/host_check.h"
#include "remote/http_connections.h"
#include "remote/setup_page.h"

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcAlpaca)

namespace morvane::remote {

class AlpacaTelescope;

class AlpacaHttpServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    AlpacaHttpServer(AlpacaTelescope& telescope, SetupPage& setupPage, QObject* parent = nullptr);

    // Listens through a pool bounded by `limits`, and on loopback through a
    // second one on the other loopback address (IPv6 beside IPv4): clients
    // that look up "localhost" may be given either. On failure the pool's
    // error and its text are given back.
    bool listenOn(const QHostAddress& address, quint16 port, const ConnectionLimits& limits,
                  QAbstractSocket::SocketError* error, QString* errorText);
    quint16 port() const;
    // The other loopback address it also listens on, or a null address.
    QHostAddress otherLoopback() const;

    // The last ServerTransactionID given (every request takes one).
    quint32 lastTransaction() const { return m_transactions; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    AlpacaTelescope& m_telescope;
    SetupPage& m_setupPage;
    HttpConnectionPool* m_pool = nullptr;
    HttpConnectionPool* m_otherLoopbackPool = nullptr;
    HostCheck m_hosts;
    quint32 m_transactions = 0;
};

}  // namespace morvane::remote
