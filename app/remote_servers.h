// Starts the remote servers asked for (by the command line or the settings
// file), all sharing the window's session. A server that cannot start is reported once, on standard
// error and in a message box; the window runs without it.
#pragma once

#include "remote/server_choices.h"
#include "remote/setup_page.h"

#include <QObject>
#include <QStringList>

class QWidget;

namespace morvane {
class Prompter;
namespace operations {
class MountSession;
}
namespace remote {
class AlpacaServer;
class StellariumServer;
}  // namespace remote
}  // namespace morvane

namespace morvane::app {

class RemoteServers : public QObject {
    Q_OBJECT
public:
    RemoteServers(const remote::ServerChoices& servers, remote::SetupContext setup,
                  operations::MountSession& session, QObject* parent = nullptr);
    ~RemoteServers() override;

    // Starts each server asked for. Returns what went wrong, one line each.
    QStringList start();

    // Each server, once listening.
    remote::AlpacaServer* alpaca() const { return m_alpaca; }
    remote::StellariumServer* stellarium() const { return m_stellarium; }

private:
    remote::ServerChoices m_servers;
    remote::SetupContext m_setup;
    operations::MountSession& m_session;
    remote::AlpacaServer* m_alpaca = nullptr;
    remote::StellariumServer* m_stellarium = nullptr;
};

// Each failure on standard error and in a message box (through `prompter`).
void reportStartFailures(const QStringList& failures, Prompter& prompter);

}  // namespace morvane::app
