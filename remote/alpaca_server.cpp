#include "remote/alpaca_server.h"

#include "mount/link.h"
#include "operations/mount_session.h"
#include "remote/alpaca_discovery.h"
#include "remote/alpaca_http_server.h"
#include "remote/alpaca_identity.h"
#include "remote/listen_failure.h"

namespace morvane::remote {

AlpacaServer::AlpacaServer(operations::MountSession& session, AlpacaSettings settings,
                           QObject* parent)
    : QObject(parent),
      m_session(session),
      m_settings(std::move(settings)),
      m_telescope(new AlpacaTelescope(session, m_settings.site, this)),
      m_http(new AlpacaHttpServer(
          *m_telescope, [this] { return setupPage(); }, this)) {}

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

QByteArray AlpacaServer::setupPage() const {
    const auto html = [](const QString& text) { return text.toHtmlEscaped(); };
    const QString port = m_session.link().portDescription();
    const QString state = m_session.isOpen() ? QStringLiteral("open") : QStringLiteral("closed");
    const operations::Site site = m_telescope->site();
    QString page =
        QStringLiteral(
            "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<title>%1: Alpaca setup</title></head><body>\n"
            "<h1>%1</h1>\n"
            "<p>This is ASCOM Alpaca <b>Telescope 0</b> (%2, UniqueID <code>%3</code>), served "
            "by %1 %4 at <code>%5</code>.</p>\n"
            "<p>It drives the mount on <b>%6</b>, which is now %7. Setting "
            "<code>Connected</code> to true opens the port chosen in the window, as COM OPEN "
            "does; choose the port in the window. The port stays open while a connected client "
            "or the window (COM OPEN) holds it, and CLOSE closes it for everyone.</p>\n"
            "<p>Site: latitude %8&deg;, longitude %9&deg; (east positive), elevation %10 m.</p>\n"
            "<h2>Changing the settings</h2>\n<p>The server's settings are command-line "
            "options of <code>morvane-control</code>:</p>\n<ul>\n"
            "<li><code>--alpaca-port=N</code>: the HTTP port (default 11111)</li>\n"
            "<li><code>--alpaca-listen=ADDRESS</code>: the address to listen on (default "
            "127.0.0.1, this computer only; 0.0.0.0 opens it to the network)</li>\n"
            "<li><code>--alpaca-discovery-port=N</code>: the discovery UDP port (default "
            "32227)</li>\n"
            "<li><code>--site=LAT,LON[,ELEV]</code>: the observing site</li>\n</ul>\n"
            "</body></html>\n")
            .arg(html(serverName()), html(deviceName()), html(deviceUniqueId()),
                 html(programVersion()), html(baseUrl()), html(port), state)
            .arg(site.latitude)
            .arg(site.longitude)
            .arg(site.elevation);
    return page.toUtf8();
}

}  // namespace morvane::remote
