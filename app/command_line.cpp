#include "app/command_line.h"

#include <QCommandLineParser>
#include <cmath>
#include <optional>

namespace morvane::app {
namespace {

const QString kAlpaca = QStringLiteral("alpaca");
const QString kAlpacaPort = QStringLiteral("alpaca-port");
const QString kAlpacaListen = QStringLiteral("alpaca-listen");
const QString kAlpacaDiscoveryPort = QStringLiteral("alpaca-discovery-port");
const QString kStellarium = QStringLiteral("stellarium");
const QString kStellariumPort = QStringLiteral("stellarium-port");
const QString kStellariumListen = QStringLiteral("stellarium-listen");
const QString kSite = QStringLiteral("site");
const QString kQuitAfter = QStringLiteral("quit-after");

std::optional<quint16> portNumber(const QString& text) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value == 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<quint16>(value);
}

QString badValue(const QString& option, const QString& value, const QString& why) {
    return QStringLiteral("--%1=%2: %3").arg(option, value, why);
}

// One server's port and address options; any of its options asks for it.
std::optional<QString> readServer(const QCommandLineParser& parser, const QString& name,
                                  const QString& portOption, const QString& listenOption,
                                  bool& enabled, std::optional<quint16>& port,
                                  std::optional<QHostAddress>& address) {
    enabled = parser.isSet(name) || parser.isSet(portOption) || parser.isSet(listenOption);
    if (parser.isSet(portOption)) {
        const QString text = parser.value(portOption);
        port = portNumber(text);
        if (!port) {
            return badValue(portOption, text, QStringLiteral("not a port number (1 to 65535)."));
        }
    }
    if (parser.isSet(listenOption)) {
        const QString text = parser.value(listenOption);
        if (!address.emplace().setAddress(text)) {
            return badValue(listenOption, text,
                            QStringLiteral("not an IP address (for example 127.0.0.1 or "
                                           "0.0.0.0)."));
        }
    }
    return std::nullopt;
}

std::optional<QString> readSite(const QString& text, std::optional<operations::Site>& site) {
    const QStringList parts = text.split(QLatin1Char(','));
    const QString form = QStringLiteral(
        "expected LATITUDE,LONGITUDE[,ELEVATION] in degrees and "
        "metres, for example 51.48,-0.01,45.");
    if (parts.size() < 2 || parts.size() > 3) {
        return badValue(kSite, text, form);
    }
    double values[3] = {0.0, 0.0, 0.0};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(values[i])) {
            return badValue(kSite, text, form);
        }
    }
    if (values[0] < -90.0 || values[0] > 90.0) {
        return badValue(kSite, text, QStringLiteral("the latitude must lie between -90 and 90."));
    }
    if (values[1] < -180.0 || values[1] > 180.0) {
        return badValue(kSite, text,
                        QStringLiteral("the longitude must lie between -180 and 180 (east "
                                       "positive)."));
    }
    if (values[2] < operations::kLowestElevation || values[2] > operations::kHighestElevation) {
        return badValue(kSite, text,
                        QStringLiteral("the elevation must lie between -300 and 10000 m."));
    }
    site = operations::Site{values[0], values[1], values[2]};
    return std::nullopt;
}

}  // namespace

void declareOptions(QCommandLineParser& parser, const QString& settingsFile) {
    QString description = QStringLiteral(
        "Control panel for a computerised equatorial telescope mount on a serial "
        "line. Planetarium and imaging programs can drive the mount through the "
        "servers below; each listens on this computer only unless told "
        "otherwise.");
    if (!settingsFile.isEmpty()) {
        description += QStringLiteral(
                           "\n\nThe site, the horizon limit and the servers to start are kept "
                           "in\n  %1\nand can be changed on the Alpaca setup page. Server "
                           "options given here hold for this run only; --site is kept.")
                           .arg(settingsFile);
    }
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {kAlpaca, QStringLiteral("Serve the mount as ASCOM Alpaca Telescope 0 (HTTP).")},
        {kAlpacaPort, QStringLiteral("The Alpaca server's HTTP port (default 11111)."),
         QStringLiteral("N")},
        {kAlpacaListen,
         QStringLiteral("The address the Alpaca server listens on (default 127.0.0.1; 0.0.0.0 "
                        "opens it to the network and answers discovery from it)."),
         QStringLiteral("ADDRESS")},
        {kAlpacaDiscoveryPort, QStringLiteral("The Alpaca discovery UDP port (default 32227)."),
         QStringLiteral("N")},
        {kStellarium, QStringLiteral("Serve the mount to Stellarium's telescope control (TCP).")},
        {kStellariumPort, QStringLiteral("The Stellarium server's TCP port (default 10001)."),
         QStringLiteral("N")},
        {kStellariumListen,
         QStringLiteral("The address the Stellarium server listens on (default 127.0.0.1)."),
         QStringLiteral("ADDRESS")},
        {kSite,
         QStringLiteral("The observing site: latitude and longitude in degrees (north and east "
                        "positive), elevation in metres. Kept for the next start."),
         QStringLiteral("LAT,LON[,ELEV]")},
        {kQuitAfter,
         QStringLiteral("Close the window by itself after this many seconds (for scripts that "
                        "show it unattended)."),
         QStringLiteral("SECONDS")},
    });
}

std::variant<CommandLine, QString> parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    declareOptions(parser);
    if (!parser.parse(arguments)) {
        return parser.errorText();
    }
    if (!parser.positionalArguments().isEmpty()) {
        return QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first());
    }
    CommandLine line;
    line.helpAsked = parser.isSet(QStringLiteral("help"));
    line.versionAsked = parser.isSet(QStringLiteral("version"));
    if (auto error = readServer(parser, kAlpaca, kAlpacaPort, kAlpacaListen, line.alpaca,
                                line.alpacaPort, line.alpacaListen)) {
        return *error;
    }
    if (parser.isSet(kAlpacaDiscoveryPort)) {
        line.alpaca = true;
        const QString text = parser.value(kAlpacaDiscoveryPort);
        line.alpacaDiscoveryPort = portNumber(text);
        if (!line.alpacaDiscoveryPort) {
            return badValue(kAlpacaDiscoveryPort, text,
                            QStringLiteral("not a port number (1 to 65535)."));
        }
    }
    if (auto error = readServer(parser, kStellarium, kStellariumPort, kStellariumListen,
                                line.stellarium, line.stellariumPort, line.stellariumListen)) {
        return *error;
    }
    if (parser.isSet(kSite)) {
        if (auto error = readSite(parser.value(kSite), line.site)) {
            return *error;
        }
    }
    if (parser.isSet(kQuitAfter)) {
        const QString text = parser.value(kQuitAfter);
        bool ok = false;
        const uint seconds = text.toUInt(&ok);
        constexpr uint kDay = 24 * 3600;  // far beyond any unattended run
        if (!ok || seconds == 0 || seconds > kDay) {
            return badValue(kQuitAfter, text,
                            QStringLiteral("not a number of seconds (1 to 86400)."));
        }
        line.quitAfterSeconds = static_cast<int>(seconds);
    }
    return line;
}

remote::ServerChoices serversForThisRun(remote::ServerChoices kept, const CommandLine& line) {
    kept.alpaca.enabled = kept.alpaca.enabled || line.alpaca;
    kept.alpaca.port = line.alpacaPort.value_or(kept.alpaca.port);
    kept.alpaca.address = line.alpacaListen.value_or(kept.alpaca.address);
    kept.alpacaDiscoveryPort = line.alpacaDiscoveryPort.value_or(kept.alpacaDiscoveryPort);
    kept.stellarium.enabled = kept.stellarium.enabled || line.stellarium;
    kept.stellarium.port = line.stellariumPort.value_or(kept.stellarium.port);
    kept.stellarium.address = line.stellariumListen.value_or(kept.stellarium.address);
    return kept;
}

}  // namespace morvane::app
