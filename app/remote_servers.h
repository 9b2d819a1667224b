// Starts the remote servers the command line asked for, all sharing the
// window's session. A server that cannot start is reported once, on standard
// error and in a message box; the window runs without it.
#pragma once

#include "app/command_line.h"

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
    RemoteServers(const CommandLine& options, operations::MountSession& session,
                  QObject* parent = nullptr);
    ~RemoteServers() override;

    // Starts each server asked for. Returns what went wrong, one line each.
    QStringList start();

    // The Stellarium server, once listening.
    remote::StellariumServer* stellarium() const { return m_stellarium; }

private:
    CommandLine m_options;
    operations::MountSession& m_session;
    remote::AlpacaServer* m_alpaca = nullptr;
    remote::StellariumServer* m_stellarium = nullptr;
};

// Each failure on standard error and in a message box (through `prompter`).
void reportStartFailures(const QStringList& failures, Prompter& prompter);

}  // namespace morvane::app
