// Whether a request was meant for this server, by the name in its Host
// header. A web page the user visits can make the browser send requests to
// 127.0.0.1 under the page's own name (by pointing that name at 127.0.0.1);
// the browser then sends that name as Host. Answering only requests that
// name this server keeps such pages away from the mount.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace morvane::remote {

// The names a server listening on `address` answers to: on loopback,
// "localhost" and the loopback addresses; on the network also this
// computer's addresses and host names (lower case, addresses as text).
QStringList namesOfThisServer(const QHostAddress& address);

// Whether the Host header's value (a name or an address, with or without a
// port) is one of `names`. A request without a Host header, or with an empty
// one, does not come from a browser (browsers always send one) and passes.
bool hostIsOneOf(QByteArray host, const QStringList& names);

class HostCheck {
public:
    void listenOn(const QHostAddress& address);
    // Why a request with these Host header values is refused, or nothing.
    std::optional<QString> refusal(const QList<QByteArray>& hosts);

private:
    QHostAddress m_address;
    QStringList m_names;
    QElapsedTimer m_namesAge;
};

}  // namespace morvane::remote
