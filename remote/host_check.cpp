#include "remote/host_check.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <algorithm>

namespace morvane::remote {
namespace {

// The computer's addresses and names may change while the program runs (a
// network joined); they are asked for again after this long.
constexpr qint64 kNamesLifeMs = 10000;

QString nameOf(const QHostAddress& address) {
    QHostAddress plain = address;
    plain.setScopeId({});
    return plain.protocol() == QAbstractSocket::IPv6Protocol
               ? QLatin1Char('[') + plain.toString() + QLatin1Char(']')
               : plain.toString();
}

}  // namespace

QStringList namesOfThisServer(const QHostAddress& address) {
    QStringList names{QStringLiteral("localhost"), QStringLiteral("127.0.0.1"),
                      QStringLiteral("[::1]")};
    if (address.isLoopback()) {
        return names;
    }
    for (const QHostAddress& own : QNetworkInterface::allAddresses()) {
        names << nameOf(own);
    }
    const QString host = QHostInfo::localHostName().toLower();
    if (!host.isEmpty()) {
        names << host << host + QStringLiteral(".local");
        const QString domain = QHostInfo::localDomainName().toLower();
        if (!domain.isEmpty()) {
            names << host + QLatin1Char('.') + domain;
        }
    }
    return names;
}

bool hostIsOneOf(QByteArray host, const QStringList& names) {
    host = host.trimmed().toLower();
    if (host.isEmpty()) {
        return true;
    }
    // The port, if any, is whatever the client connected to.
    const qsizetype colon = host.lastIndexOf(':');
    if (colon >= 0 && colon > host.lastIndexOf(']')) {
        const QByteArray port = host.mid(colon + 1);
        if (port.isEmpty() ||
            !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return false;
        }
        host.truncate(colon);
    }
    if (host.endsWith('.')) {
        host.chop(1);  // the fully qualified form of the same name
    }
    QString name = QString::fromLatin1(host);
    QHostAddress address;
    if (host.startsWith('[') && host.endsWith(']') && address.setAddress(name.mid(1).chopped(1))) {
        name = nameOf(address);  // one spelling of each IPv6 address
    }
    return names.contains(name);
}

void HostCheck::listenOn(const QHostAddress& address) {
    m_address = address;
    m_names.clear();
    m_namesAge.invalidate();
}

std::optional<QString> HostCheck::refusal(const QList<QByteArray>& hosts) {
    if (!m_namesAge.isValid() || (!m_address.isLoopback() && m_namesAge.hasExpired(kNamesLifeMs))) {
        m_names = namesOfThisServer(m_address);
        m_namesAge.start();
    }
    for (const QByteArray& host : hosts) {
        if (!hostIsOneOf(host, m_names)) {
            return QStringLiteral("Host \"%1\" is not this server: it answers requests for %2.")
                .arg(QString::fromLatin1(host.left(100)),
                     m_address.isLoopback()
                         ? QStringLiteral("127.0.0.1, localhost or [::1]")
                         : QStringLiteral("this computer's addresses and host names"));
        }
    }
    return std::nullopt;
}

}  // namespace morvane::remote
