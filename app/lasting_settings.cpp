#include "app/lasting_settings.h"

#include "operations/horizon_limit.h"
#include "operations/mount_session.h"

#include <QDir>
#include <QLocale>
#include <QStandardPaths>
#include <cmath>
#include <cstdio>
#include <utility>

namespace morvane::app {
namespace {

const QString kLatitude = QStringLiteral("site/latitude");
const QString kLongitude = QStringLiteral("site/longitude");
const QString kElevation = QStringLiteral("site/elevation");
const QString kHorizonLimit = QStringLiteral("horizon/limit");

struct ServerKeys {
    QString enabled, port, listen;
};
const ServerKeys kAlpacaKeys{QStringLiteral("alpaca/enabled"), QStringLiteral("alpaca/port"),
                             QStringLiteral("alpaca/listen")};
const QString kDiscoveryPort = QStringLiteral("alpaca/discoveryPort");
const ServerKeys kStellariumKeys{QStringLiteral("stellarium/enabled"),
                                 QStringLiteral("stellarium/port"),
                                 QStringLiteral("stellarium/listen")};

constexpr std::chrono::seconds kCalm{1};

QString text(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// Reads the file's values one by one; a value that is there but cannot be
// used is named and left out.
class Reader {
public:
    Reader(const QString& path, QStringList* problems)
        : m_file(path, QSettings::IniFormat), m_path(path), m_problems(problems) {
        if (m_file.status() != QSettings::NoError) {
            complain(QStringLiteral("cannot be read as an INI file; it is left out whole"));
        }
    }

    void number(const QString& key, double least, double most, double& value) {
        const QString raw = m_file.value(key).toString().trimmed();
        bool ok = false;
        const double read = raw.toDouble(&ok);
        if (!m_file.contains(key)) {
            return;
        }
        if (!ok || !(read >= least && read <= most)) {
            complain(QStringLiteral("%1=%2 is not a number from %3 to %4; it is left out")
                         .arg(key, raw.left(40), text(least), text(most)));
            return;
        }
        value = read;
    }

    void port(const QString& key, quint16& value) {
        double read = value;
        number(key, 1, 65535, read);
        if (read != std::floor(read)) {
            complain(
                QStringLiteral("%1=%2 is not a port number; it is left out").arg(key, text(read)));
            return;
        }
        value = static_cast<quint16>(read);
    }

    void boolean(const QString& key, bool& value) {
        const QString raw = m_file.value(key).toString().trimmed().toLower();
        if (raw == QLatin1String("true") || raw == QLatin1String("false")) {
            value = raw == QLatin1String("true");
        } else if (m_file.contains(key)) {
            complain(QStringLiteral("%1=%2 is neither true nor false; it is left out")
                         .arg(key, raw.left(40)));
        }
    }

    void address(const QString& key, QHostAddress& value) {
        const QString raw = m_file.value(key).toString().trimmed();
        QHostAddress read;
        if (read.setAddress(raw)) {
            value = read;
        } else if (m_file.contains(key)) {
            complain(QStringLiteral("%1=%2 is not an IP address; it is left out")
                         .arg(key, raw.left(40)));
        }
    }

    void server(const ServerKeys& keys, remote::ServerChoice& choice) {
        boolean(keys.enabled, choice.enabled);
        port(keys.port, choice.port);
        address(keys.listen, choice.address);
    }

    std::optional<double> limit() {
        if (m_file.value(kHorizonLimit).toString().trimmed().isEmpty()) {
            return std::nullopt;  // absent or blank: off
        }
        double value = NAN;
        number(kHorizonLimit, operations::kLowestHorizonLimit, operations::kHighestHorizonLimit,
               value);
        return std::isnan(value) ? std::nullopt : std::optional<double>(value);
    }

private:
    void complain(const QString& what) {
        if (m_problems) {
            *m_problems << QStringLiteral("settings file %1: %2.").arg(m_path, what);
        }
    }

    QSettings m_file;
    QString m_path;
    QStringList* m_problems;
};

}  // namespace

QString settingsFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/morvane-control/settings.ini");
}

KeptSettings readSettings(const QString& path, QStringList* problems) {
    KeptSettings kept;
    Reader file(path, problems);
    file.number(kLatitude, -90, 90, kept.site.latitude);
    file.number(kLongitude, -180, 180, kept.site.longitude);
    file.number(kElevation, operations::kLowestElevation, operations::kHighestElevation,
                kept.site.elevation);
    kept.horizonLimit = file.limit();
    file.server(kAlpacaKeys, kept.servers.alpaca);
    file.port(kDiscoveryPort, kept.servers.alpacaDiscoveryPort);
    file.server(kStellariumKeys, kept.servers.stellarium);
    return kept;
}

LastingSettings::LastingSettings(const QString& path, operations::MountSession& session,
                                 const CommandLine& line, QObject* parent)
    : QObject(parent),
      m_path(path),
      m_session(session),
      m_line(line),
      m_kept(readSettings(path, &m_problems)),
      m_file(path, QSettings::IniFormat) {
    m_calm.setSingleShot(true);
    connect(&m_calm, &QTimer::timeout, this, [this] {
        if (m_siteChanged || m_limitChanged) {
            changed();
        }
    });
    session.setSite(m_kept.site);
    session.setHorizonLimit(m_kept.horizonLimit);
    connect(&session, &operations::MountSession::siteChanged, this, &LastingSettings::siteChanged);
    connect(&session, &operations::MountSession::horizonLimitChanged, this,
            &LastingSettings::horizonLimitChanged);
    if (line.site) {
        // The observer saying where they are: kept, as a client's site is.
        session.setSite(*line.site);
    }
}

LastingSettings::~LastingSettings() {
    if (m_siteChanged || m_limitChanged) {
        write();
    }
}

remote::ServerChoices LastingSettings::serversForThisRun() const {
    return app::serversForThisRun(m_kept.servers, m_line);
}

remote::SetupContext LastingSettings::setupContext() {
    // As the user would type it: ~/.config/..., not /home/name/.config/...
    const QString home = QDir::homePath() + QLatin1Char('/');
    const QString shown =
        m_path.startsWith(home) ? QStringLiteral("~/") + m_path.mid(home.size()) : m_path;
    return {m_kept.servers, shown, [this](const remote::ServerChoices& choices) {
                m_kept.servers = choices;
                m_serversChanged = true;
                return write();
            }};
}

void LastingSettings::siteChanged() {
    m_siteChanged = true;
    changed();
}

void LastingSettings::horizonLimitChanged() {
    m_limitChanged = true;
    changed();
}

void LastingSettings::changed() {
    if (m_calm.isActive()) {
        return;  // written when the calm ends
    }
    m_calm.start(kCalm);
    write();
}

// What changed since the last write: the server choices only when the setup
// page saved them, never the command line's.
std::optional<QString> LastingSettings::write() {
    if (std::exchange(m_siteChanged, false)) {
        const operations::Site& site = m_session.site();
        m_file.setValue(kLatitude, text(site.latitude));
        m_file.setValue(kLongitude, text(site.longitude));
        m_file.setValue(kElevation, text(site.elevation));
    }
    if (std::exchange(m_limitChanged, false)) {
        if (const auto limit = m_session.horizonLimit()) {
            m_file.setValue(kHorizonLimit, text(*limit));
        } else {
            m_file.remove(kHorizonLimit);
        }
    }
    if (std::exchange(m_serversChanged, false)) {
        const remote::ServerChoices& servers = m_kept.servers;
        for (const auto& [keys, choice] : {std::pair{&kAlpacaKeys, &servers.alpaca},
                                           std::pair{&kStellariumKeys, &servers.stellarium}}) {
            m_file.setValue(keys->enabled, choice->enabled);
            m_file.setValue(keys->port, choice->port);
            m_file.setValue(keys->listen, choice->address.toString());
        }
        m_file.setValue(kDiscoveryPort, servers.alpacaDiscoveryPort);
    }
    m_file.sync();
    if (m_file.status() == QSettings::NoError) {
        m_toldFailure = false;
        return std::nullopt;
    }
    const QString why = QStringLiteral("%1 could not be written (%2).")
                            .arg(m_path, m_file.status() == QSettings::AccessError
                                             ? QStringLiteral("no permission, or no room")
                                             : QStringLiteral("its contents are damaged"));
    if (!m_toldFailure) {
        // Once, not at every change of a client's site.
        m_toldFailure = true;
        std::fprintf(stderr, "morvane-control: settings file %s\n", qPrintable(why));
        m_session.tellUser(
            QStringLiteral("The settings file %1 The site and the horizon limit hold until the "
                           "program ends.")
                .arg(why));
    }
    return why;
}

}  // namespace morvane::app
