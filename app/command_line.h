// The program's command-line options: which remote servers to start, where
// they listen, the observing site, and an unattended run's length. --help and --version are
// answered by main() before the window opens.
#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <variant>

class QCommandLineParser;

namespace morvane::app {

struct ServerOptions {
    bool enabled = false;
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = 0;
};

struct Site {
    double latitude = 0.0;   // degrees, north positive
    double longitude = 0.0;  // degrees, east positive
    double elevation = 0.0;  // metres above sea level
};

struct CommandLine {
    ServerOptions alpaca{false, QHostAddress(QHostAddress::LocalHost), 11111};
    quint16 alpacaDiscoveryPort = 32227;
    ServerOptions stellarium{false, QHostAddress(QHostAddress::LocalHost), 10001};
    Site site;
    int quitAfterSeconds = 0;  // 0: runs until closed
    bool helpAsked = false;
    bool versionAsked = false;
};

// Declares every option on `parser` (also used for the --help text).
void declareOptions(QCommandLineParser& parser);

// Reads the arguments (the program's name first). A value that cannot be
// used comes back as one line saying which option and why.
std::variant<CommandLine, QString> parseCommandLine(const QStringList& arguments);

}  // namespace morvane::app
