#include "remote/alpaca_discovery.h"

#include "remote/alpaca_http_server.h"

#include <QNetworkDatagram>

namespace morvane::remote {
namespace {

const QByteArray kQuestion = QByteArrayLiteral("alpacadiscovery1");

}  // namespace

AlpacaDiscovery::AlpacaDiscovery(quint16 httpPort, QObject* parent)
    : QObject(parent), m_reply("{\"AlpacaPort\":" + QByteArray::number(httpPort) + "}") {
    connect(&m_socket, &QUdpSocket::readyRead, this, &AlpacaDiscovery::answer);
}

bool AlpacaDiscovery::listen(const QHostAddress& address, quint16 port) {
    // Broadcasts reach only a socket bound to any address.
    const QHostAddress where = address.isLoopback() ? address : QHostAddress(QHostAddress::AnyIPv4);
    return m_socket.bind(where, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
}

void AlpacaDiscovery::answer() {
    while (m_socket.hasPendingDatagrams()) {
        // Nothing longer than the question is of interest.
        const QNetworkDatagram datagram = m_socket.receiveDatagram(kQuestion.size() + 1);
        if (datagram.data() != kQuestion || datagram.senderPort() == 0) {
            continue;
        }
        qCDebug(lcAlpaca).noquote()
            << "discovery from" << datagram.senderAddress().toString() << "answered" << m_reply;
        m_socket.writeDatagram(m_reply, datagram.senderAddress(), datagram.senderPort());
    }
}

}  // namespace morvane::remote
