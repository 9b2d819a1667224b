#include "app/remote_servers.h"

#include "operations/mount_session.h"
#include "remote/alpaca_server.h"
#include "remote/listen_failure.h"
#include "remote/stellarium_server.h"
#include "ui/prompter.h"

#include <cstdio>

namespace morvane::app {

RemoteServers::RemoteServers(const remote::ServerChoices& servers, remote::SetupContext setup,
                             operations::MountSession& session, QObject* parent)
    : QObject(parent), m_servers(servers), m_setup(std::move(setup)), m_session(session) {}

RemoteServers::~RemoteServers() = default;

QStringList RemoteServers::start() {
    QStringList failures;
    if (m_servers.alpaca.enabled && m_alpaca == nullptr) {
        remote::AlpacaSettings settings;
        settings.address = m_servers.alpaca.address;
        settings.port = m_servers.alpaca.port;
        settings.discoveryPort = m_servers.alpacaDiscoveryPort;
        settings.setup = m_setup;
        m_alpaca = new remote::AlpacaServer(m_session, settings, this);
        failures << m_alpaca->start();
        if (m_alpaca->isServing()) {
            std::fprintf(stderr, "morvane-control: %s\n", qPrintable(m_alpaca->startLine()));
        }
    }
    if (m_servers.stellarium.enabled && m_stellarium == nullptr) {
        auto* server = new remote::StellariumServer(m_session, this);
        if (const auto failure =
                server->listen(m_servers.stellarium.address, m_servers.stellarium.port)) {
            delete server;
            failures << *failure;
        } else {
            m_stellarium = server;
            const QString where = remote::endpointText(server->address(), server->port());
            std::fprintf(stderr, "morvane-control: Stellarium server listening on %s\n",
                         qPrintable(where));
            if (m_alpaca) {
                m_alpaca->setupPage().setStellariumServed(where);
            }
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
