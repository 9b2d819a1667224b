// Alpaca discovery: a client sends the 16 bytes "alpacadiscovery1" to UDP
// port 32227 and every Alpaca server that hears it answers the sender with
// {"AlpacaPort": <its HTTP port>}. Anything else received is ignored.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

namespace morvane::remote {

class AlpacaDiscovery : public QObject {
    Q_OBJECT
public:
    AlpacaDiscovery(quint16 httpPort, QObject* parent = nullptr);

    // Listens on `address`: a loopback address hears this computer only;
    // any other address opens discovery to the network (broadcasts
    // included). Other Alpaca servers on this computer may share the port.
    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return m_socket.localPort(); }
    QHostAddress address() const { return m_socket.localAddress(); }
    QAbstractSocket::SocketError error() const { return m_socket.error(); }
    QString errorString() const { return m_socket.errorString(); }

private:
    void answer();

    QUdpSocket m_socket;
    QByteArray m_reply;
};

}  // namespace morvane::remote
