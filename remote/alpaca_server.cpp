#include "remote/alpaca_server.h"

#include "remote/alpaca_discovery.h"
#include "remote/alpaca_http_server.h"
#include "remote/listen_failure.h"

namespace morvane::remote {

AlpacaServer::AlpacaServer(operations::MountSession& session, AlpacaSettings settings,
                           QObject* parent)
    : QObject(parent),
      m_settings(std::move(settings)),
      m_setupPage(session),
      m_telescope(new AlpacaTelescope(session, this)),
      m_http(new AlpacaHttpServer(*m_telescope, m_setupPage, this)) {
    m_setupPage.setContext(m_settings.setup);
}

AlpacaServer::~AlpacaServer() {
    // The HTTP server's pending replies go before the telescope they wait on.
    delete m_http;
    m_http = nullptr;
}

QStringList AlpacaServer::start() {
    QStringList failures;
    QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
    QString errorText;
    if (!m_http->listenOn(m_settings.address, m_settings.port, m_settings.limits, &error,
                          &errorText)) {
        failures << listenFailureText(
            {QStringLiteral("The Alpaca server"), QStringLiteral("--alpaca-port"),
             QStringLiteral("--alpaca-listen")},
            m_settings.address, m_settings.port, error, errorText);
        return failures;
    }
    m_serving = true;
    m_discovery = new AlpacaDiscovery(m_http->port(), this);
    if (!m_discovery->listen(m_settings.address, m_settings.discoveryPort)) {
        failures << listenFailureText({QStringLiteral("Alpaca discovery"),
                                       QStringLiteral("--alpaca-discovery-port"),
                                       QStringLiteral("--alpaca-listen")},
                                      m_settings.address, m_settings.discoveryPort,
                                      m_discovery->error(), m_discovery->errorString())
                        .replace(
                            QStringLiteral("The window works without it."),
                            QStringLiteral("Clients can still be pointed at %1.").arg(baseUrl()));
        delete m_discovery;
        m_discovery = nullptr;
    }
    m_setupPage.setAlpacaServed(servedText());
    return failures;
}

bool AlpacaServer::isServing() const {
    return m_serving;
}

quint16 AlpacaServer::httpPort() const {
    return m_http->port();
}

quint16 AlpacaServer::discoveryPort() const {
    return m_discovery ? m_discovery->port() : 0;
}

QString AlpacaServer::baseUrl() const {
    return QStringLiteral("http://%1/").arg(endpointText(m_settings.address, httpPort()));
}

QString AlpacaServer::startLine() const {
    QString line = QStringLiteral(
                       "Alpaca Telescope 0 served at %1api/v1/telescope/0 (setup page "
                       "%1setup)")
                       .arg(baseUrl());
    if (const QHostAddress other = m_http->otherLoopback(); !other.isNull()) {
        line += QStringLiteral(", also at http://%1/").arg(endpointText(other, httpPort()));
    }
    if (m_discovery) {
        line += QStringLiteral(", discovery on UDP port %1").arg(m_discovery->port());
    }
    if (m_settings.address.isLoopback()) {
        line += QStringLiteral("; only this computer can reach it (--alpaca-listen opens it)");
    }
    return line + QLatin1Char('.');
}

// Where it serves, for the setup page.
QString AlpacaServer::servedText() const {
    QString text = baseUrl();
    if (const QHostAddress other = m_http->otherLoopback(); !other.isNull()) {
        text += QStringLiteral(" and http://%1/").arg(endpointText(other, httpPort()));
    }
    text += m_discovery ? QStringLiteral(", discovery on UDP port %1").arg(m_discovery->port())
                        : QStringLiteral(", without discovery");
    if (m_settings.address.isLoopback()) {
        text += QStringLiteral("; this computer only");
    }
    return text;
}

}  // namespace morvane::remote
