// Alpaca discovery: a client sends the 16 bytes "alpacadiscovery1" to UDP
// port 32227, by IPv4 broadcast or to the IPv6 multicast group, and every
// Alpaca server that hears it answers the sender with
// {"AlpacaPort": <its HTTP port>}. Anything else received is ignored.
#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QUdpSocket>

namespace morvane::remote {

class AlpacaDiscovery : public QObject {
    Q_OBJECT
public:
    AlpacaDiscovery(quint16 httpPort, QObject* parent = nullptr);

    // Hears on every address of this computer (broadcasts and the multicast
    // group included: a broadcast never reaches a socket bound to one
    // address), and answers as far as the HTTP server at `serverAddress`
    // can be reached: while it listens on loopback, only programs on this
    // computer, told to come to loopback; otherwise everyone, told to come
    // to that address. Other Alpaca servers on this computer may share the
    // port.
    bool listen(const QHostAddress& serverAddress, quint16 port);
    quint16 port() const { return m_main->localPort(); }
    QAbstractSocket::SocketError error() const { return m_main->error(); }
    QString errorString() const { return m_main->errorString(); }

signals:
    // Each question heard, and whether it was answered.
    void heard(const QHostAddress& sender, bool answered);

private:
    bool listenForIpv6(quint16 port);
    void answer(QUdpSocket& socket);
    bool isThisComputer(const QHostAddress& address);
    QUdpSocket& replySocket(QUdpSocket& heardOn, const QHostAddress& source);

    QUdpSocket m_ipv4;
    QUdpSocket m_ipv6;
    // Bound to the address a reply must come from (a client takes the
    // server's address from the reply's sender), one for each protocol.
    QUdpSocket m_replies4;
    QUdpSocket m_replies6;
    QUdpSocket* m_main = &m_ipv4;  // the one whose failure is the server's
    QHostAddress m_serverAddress;
    QByteArray m_reply;
    QList<QHostAddress> m_ownAddresses;
    QElapsedTimer m_ownAddressesAge;
};

}  // namespace morvane::remote
