// The program's command-line options: which remote servers to start, where
// they listen, the observing site, and an unattended run's length. --help and --version are
// answered by main() before the window opens.
#pragma once

#include "operations/sky_position.h"
#include "remote/server_choices.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

class QCommandLineParser;

namespace morvane::app {

// What the command line says; what it leaves out comes from the settings
// file. Server options hold for this run only; the site is kept.
struct CommandLine {
    bool alpaca = false;  // any of the --alpaca... options
    std::optional<quint16> alpacaPort;
    std::optional<QHostAddress> alpacaListen;
    std::optional<quint16> alpacaDiscoveryPort;
    bool stellarium = false;  // any of the --stellarium... options
    std::optional<quint16> stellariumPort;
    std::optional<QHostAddress> stellariumListen;
    std::optional<operations::Site> site;
    int quitAfterSeconds = 0;  // 0: runs until closed
    bool helpAsked = false;
    bool versionAsked = false;
};

// Declares every option on `parser` (also used for the --help text, which
// says where `settingsFile` is).
void declareOptions(QCommandLineParser& parser, const QString& settingsFile = {});

// Reads the arguments (the program's name first). A value that cannot be
// used comes back as one line saying which option and why.
std::variant<CommandLine, QString> parseCommandLine(const QStringList& arguments);

// The servers of this run: the kept choices, with what the command line
// gives in their place.
remote::ServerChoices serversForThisRun(remote::ServerChoices kept, const CommandLine& line);

}  // namespace morvane::app
