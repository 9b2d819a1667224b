#include "remote/listen_failure.h"

namespace morvane::remote {

QString endpointText(const QHostAddress& address, quint16 port) {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

QString listenFailureText(const ListenFailure& names, const QHostAddress& address, quint16 port,
                          QAbstractSocket::SocketError error, const QString& systemText) {
    const QString where = endpointText(address, port);
    // The port or address may come from the settings, which the setup page
    // changes for good; the option, for one run.
    const QString orSetup = QStringLiteral(" (or on the setup page, for every start)");
    QString why;
    switch (error) {
        case QAbstractSocket::AddressInUseError:
            why = QStringLiteral("the port is in use by another program. Choose another with %1%2.")
                      .arg(names.portOption, orSetup);
            break;
        case QAbstractSocket::SocketAddressNotAvailableError:
            why = QStringLiteral("%1 is not an address of this computer. Choose one with %2%3.")
                      .arg(address.toString(), names.listenOption, orSetup);
            break;
        case QAbstractSocket::SocketAccessError:
            why = QStringLiteral(
                      "permission denied (ports below 1024 are reserved). Choose "
                      "another with %1%2.")
                      .arg(names.portOption, orSetup);
            break;
        default:
            why = systemText + QLatin1Char('.');
            break;
    }
    return QStringLiteral("%1 could not listen on %2: %3 The window works without it.")
        .arg(names.server, where, why);
}

}  // namespace morvane::remote
