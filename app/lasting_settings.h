// What an observer sets once and finds again at the next start: the site,
// the horizon limit and which servers start where, in one INI file in the
// user's configuration folder. Read once at the start and handed down as
// values; written as the session announces a new site or horizon limit (a
// client's PUT, the setup page, --site) and when the setup page saves the
// server choices. Nothing of the window is kept.
#pragma once

#include "app/command_line.h"
#include "operations/sky_position.h"
#include "remote/server_choices.h"
#include "remote/setup_page.h"

#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QTimer>
#include <optional>

namespace morvane::operations {
class MountSession;
}

namespace morvane::app {

// $XDG_CONFIG_HOME/morvane-control/settings.ini (~/.config/... without it).
QString settingsFilePath();

struct KeptSettings {
    operations::Site site;
    std::optional<double> horizonLimit;  // none: off
    remote::ServerChoices servers;
};

// The file's settings; a value that cannot be used is left at its default
// and named in `problems`, one line each.
KeptSettings readSettings(const QString& path, QStringList* problems);

class LastingSettings : public QObject {
    Q_OBJECT
public:
    // Reads the file into `session` (with the command line's site in place
    // of the kept one, which is then kept) and keeps the session's site and
    // horizon limit in it from then on.
    LastingSettings(const QString& path, operations::MountSession& session, const CommandLine& line,
                    QObject* parent = nullptr);
    ~LastingSettings() override;

    // What could not be read, one line each.
    const QStringList& problems() const { return m_problems; }
    // The servers of this run: the kept ones, overridden by the command line.
    remote::ServerChoices serversForThisRun() const;
    // What the setup page shows of the file, and how it saves to it.
    remote::SetupContext setupContext();

private:
    void siteChanged();
    void horizonLimitChanged();
    void changed();
    std::optional<QString> write();

    QString m_path;
    operations::MountSession& m_session;
    CommandLine m_line;
    KeptSettings m_kept;
    QStringList m_problems;
    QSettings m_file;
    // A client that keeps changing the site costs at most one write a
    // second, the first at once.
    QTimer m_calm;
    bool m_siteChanged = false;
    bool m_limitChanged = false;
    bool m_serversChanged = false;
    bool m_toldFailure = false;
};

}  // namespace morvane::app
