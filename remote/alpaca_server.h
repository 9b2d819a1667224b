// The mount served as ASCOM Alpaca Telescope 0: the HTTP API, discovery on
// UDP, the setup page. app/ creates one when asked (command line or
// settings) and hands it the session the window shares.
#pragma once

#include "remote/alpaca_telescope.h"
#include "remote/http_connections.h"
#include "remote/setup_page.h"

#include <QHostAddress>
#include <QObject>
#include <QStringList>

namespace morvane::operations {
class MountSession;
}

namespace morvane::remote {

class AlpacaDiscovery;
class AlpacaHttpServer;

struct AlpacaSettings {
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = 11111;           // 0: any free port (tests)
    quint16 discoveryPort = 32227;  // 0: any free port (tests)
    ConnectionLimits limits;
    SetupContext setup;
};

class AlpacaServer : public QObject {
    Q_OBJECT
public:
    AlpacaServer(operations::MountSession& session, AlpacaSettings settings,
                 QObject* parent = nullptr);
    ~AlpacaServer() override;

    // Starts listening. Returns one line for each part that could not start
    // (HTTP, discovery); without HTTP nothing is served.
    QStringList start();
    bool isServing() const;
    // Where it listens, for the line on standard error.
    QString startLine() const;

    quint16 httpPort() const;
    quint16 discoveryPort() const;
    AlpacaDiscovery* discovery() const { return m_discovery; }  // null when not answering
    AlpacaTelescope& telescope() { return *m_telescope; }
    AlpacaHttpServer& http() { return *m_http; }
    SetupPage& setupPage() { return m_setupPage; }

private:
    QString baseUrl() const;
    QString servedText() const;

    AlpacaSettings m_settings;
    SetupPage m_setupPage;
    AlpacaTelescope* m_telescope;
    AlpacaHttpServer* m_http;
    AlpacaDiscovery* m_discovery = nullptr;
    bool m_serving = false;
};

}  // namespace morvane::remote
