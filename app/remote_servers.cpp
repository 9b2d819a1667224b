#include "app/remote_servers.h"

#include "operations/mount_session.h"
#include "remote/alpaca_server.h"
#include "remote/listen_failure.h"
#include "remote/stellarium_server.h"
#include "ui/prompter.h"

#include <cstdio>

namespace morvane::app {

RemoteServers::RemoteServers(const CommandLine& options, operations::MountSession& session,
                             QObject* parent)
    : QObject(parent), m_options(options), m_session(session) {}

RemoteServers::~RemoteServers() = default;

QStringList RemoteServers::start() {
    QStringList failures;
    if (m_options.alpaca.enabled) {
        remote::AlpacaSettings settings;
        settings.address = m_options.alpaca.address;
        settings.port = m_options.alpaca.port;
        settings.discoveryPort = m_options.alpacaDiscoveryPort;
        settings.site = {m_options.site.latitude, m_options.site.longitude,
                         m_options.site.elevation};
        m_alpaca = new remote::AlpacaServer(m_session, settings, this);
        failures << m_alpaca->start();
        if (m_alpaca->isServing()) {
            std::fprintf(stderr, "morvane-control: %s\n", qPrintable(m_alpaca->startLine()));
        }
    }
    if (m_options.stellarium.enabled && m_stellarium == nullptr) {
        auto* server = new remote::StellariumServer(m_session, this);
        if (const auto failure =
                server->listen(m_options.stellarium.address, m_options.stellarium.port)) {
            delete server;
            failures << *failure;
        } else {
            m_stellarium = server;
            std::fprintf(stderr, "morvane-control: Stellarium server listening on %s\n",
                         qPrintable(remote::endpointText(server->address(), server->port())));
        }
    }
    return failures;
}

void reportStartFailures(const QStringList& failures, Prompter& prompter) {
    for (const QString& failure : failures) {
        std::fprintf(stderr, "morvane-control: %s\n", qPrintable(failure));
        prompter.inform(failure);
    }
}

}  // namespace morvane::app
