#include "remote/alpaca_discovery.h"

#include "remote/alpaca_http_server.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <algorithm>
#include <cstring>
#include <optional>

namespace morvane::remote {
namespace {

const QByteArray kQuestion = QByteArrayLiteral("alpacadiscovery1");
const QHostAddress kIpv6Group(QStringLiteral("ff12::a1:9aca"));
constexpr auto kSharedPort = QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint;
// Addresses come and go (a network joined, a lease renewed); a flood of
// questions from elsewhere must not ask the system for them each time.
constexpr qint64 kOwnAddressesLifeMs = 2000;

bool sameAddress(const QHostAddress& a, const QHostAddress& b) {
    if (a.protocol() != b.protocol()) {
        return false;
    }
    if (a.protocol() == QAbstractSocket::IPv4Protocol) {
        return a.toIPv4Address() == b.toIPv4Address();
    }
    const Q_IPV6ADDR x = a.toIPv6Address();
    const Q_IPV6ADDR y = b.toIPv6Address();
    return std::memcmp(&x, &y, sizeof x) == 0;  // whatever the scope
}

// The address a sender is told to come to, by answering from it (null: the
// system's own choice, the address of the way back), or none: no answer.
std::optional<QHostAddress> replySource(const QHostAddress& server, const QHostAddress& sender,
                                        bool senderIsThisComputer) {
    const bool ipv4 = sender.protocol() == QAbstractSocket::IPv4Protocol;
    if (server.isLoopback()) {
        if (!senderIsThisComputer) {
            return std::nullopt;
        }
        return ipv4 ? QHostAddress(QHostAddress::LocalHost)
                    : QHostAddress(QHostAddress::LocalHostIPv6);
    }
    if (server == QHostAddress::Any) {
        return QHostAddress();
    }
    if (server.protocol() != sender.protocol()) {
        return std::nullopt;  // the server cannot be reached that way
    }
    const bool any = server == QHostAddress::AnyIPv4 || server == QHostAddress::AnyIPv6;
    return any ? QHostAddress() : server;
}

}  // namespace

AlpacaDiscovery::AlpacaDiscovery(quint16 httpPort, QObject* parent)
    : QObject(parent), m_reply("{\"AlpacaPort\":" + QByteArray::number(httpPort) + "}") {
    connect(&m_ipv4, &QUdpSocket::readyRead, this, [this] { answer(m_ipv4); });
    connect(&m_ipv6, &QUdpSocket::readyRead, this, [this] { answer(m_ipv6); });
}

bool AlpacaDiscovery::listen(const QHostAddress& serverAddress, quint16 port) {
    m_serverAddress = serverAddress;
    const bool both = serverAddress.isLoopback() || serverAddress == QHostAddress::Any;
    if (!both && serverAddress.protocol() == QAbstractSocket::IPv6Protocol) {
        m_main = &m_ipv6;
        return listenForIpv6(port);
    }
    if (!m_ipv4.bind(QHostAddress::AnyIPv4, port, kSharedPort)) {
        return false;
    }
    if (both && !listenForIpv6(m_ipv4.localPort())) {
        // Clients that ask by IPv6 are few; those by IPv4 are still answered.
        qCWarning(lcAlpaca).noquote() << "discovery by IPv6 is not heard:" << m_ipv6.errorString();
    }
    return true;
}

bool AlpacaDiscovery::listenForIpv6(quint16 port) {
    if (!m_ipv6.bind(QHostAddress::AnyIPv6, port, kSharedPort)) {
        return false;
    }
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (flags.testFlag(QNetworkInterface::IsUp) &&
            flags.testFlag(QNetworkInterface::CanMulticast)) {
            m_ipv6.joinMulticastGroup(kIpv6Group, interface);
        }
    }
    return true;
}

bool AlpacaDiscovery::isThisComputer(const QHostAddress& address) {
    if (address.isLoopback()) {
        return true;
    }
    if (!m_ownAddressesAge.isValid() || m_ownAddressesAge.hasExpired(kOwnAddressesLifeMs)) {
        m_ownAddresses = QNetworkInterface::allAddresses();
        m_ownAddressesAge.start();
    }
    return std::any_of(m_ownAddresses.cbegin(), m_ownAddresses.cend(),
                       [&address](const QHostAddress& own) { return sameAddress(own, address); });
}

void AlpacaDiscovery::answer(QUdpSocket& socket) {
    while (socket.hasPendingDatagrams()) {
        // Nothing longer than the question is of interest.
        const QNetworkDatagram datagram = socket.receiveDatagram(kQuestion.size() + 1);
        if (datagram.data() != kQuestion || datagram.senderPort() <= 0) {
            continue;
        }
        const QHostAddress sender = datagram.senderAddress();
        const auto source = replySource(m_serverAddress, sender, isThisComputer(sender));
        qCDebug(lcAlpaca).noquote() << "discovery from" << sender.toString()
                                    << (source ? "answered " + m_reply : "not answered");
        emit heard(sender, source.has_value());
        if (source) {
            replySocket(socket, *source)
                .writeDatagram(m_reply, sender, static_cast<quint16>(datagram.senderPort()));
        }
    }
}

QUdpSocket& AlpacaDiscovery::replySocket(QUdpSocket& heardOn, const QHostAddress& source) {
    if (source.isNull()) {
        return heardOn;
    }
    QUdpSocket& socket =
        source.protocol() == QAbstractSocket::IPv4Protocol ? m_replies4 : m_replies6;
    if (socket.state() != QAbstractSocket::BoundState && !socket.bind(source, 0)) {
        qCWarning(lcAlpaca).noquote()
            << "discovery answered from another address:" << socket.errorString();
        return heardOn;
    }
    return socket;
}

}  // namespace morvane::remote
