// What to tell the user when a server cannot listen where it was asked to:
// one line naming the server, the address and port, the reason, and the
// option that changes it.
#pragma once

#include <QAbstractSocket>
#include <QHostAddress>
#include <QString>

namespace morvane::remote {

struct ListenFailure {
    QString server;        // "The Alpaca server"
    QString portOption;    // "--alpaca-port"
    QString listenOption;  // "--alpaca-listen"
};

QString listenFailureText(const ListenFailure& names, const QHostAddress& address, quint16 port,
                          QAbstractSocket::SocketError error, const QString& systemText);

// "127.0.0.1:11111", "[::1]:11111".
QString endpointText(const QHostAddress& address, quint16 port);

}  // namespace morvane::remote
