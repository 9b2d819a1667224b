// The Alpaca setup page, which every Alpaca client opens from its "Setup"
// button: the port and whether it is open, the site, the horizon limit,
// which servers run and where, and one form that changes them. Reading it
// changes nothing; a save is a PUT of JSON from the page's own script,
// which a page from another site cannot send (the browser would first ask
// this server's permission, which it never gives) and whose Origin, when
// there is one, must be this server.
#pragma once

#include "remote/server_choices.h"

#include <QByteArray>
#include <QHttpServerResponder>
#include <QString>
#include <functional>
#include <optional>

namespace morvane::operations {
class MountSession;
}

namespace morvane::remote {

// What the page knows beyond the session, from whoever started the servers.
struct SetupContext {
    ServerChoices nextStart;  // as the settings file has them
    QString settingsFile;     // where they are kept; empty: nowhere
    // Keeps `choices` for the next start, with the session's site and
    // horizon limit; gives back why the file could not be written.
    std::function<std::optional<QString>(const ServerChoices& choices)> keep;
};

// A request for one of the page's paths, as far as the page needs it.
struct SetupRequest {
    bool get = true;  // else PUT
    QByteArray body;
    QByteArray contentType;
    QByteArray origin;
    QByteArray host;
};

struct SetupResponse {
    QHttpServerResponder::StatusCode status = QHttpServerResponder::StatusCode::Ok;
    QByteArray contentType;
    QByteArray body;
};

class SetupPage {
public:
    explicit SetupPage(operations::MountSession& session);

    void setContext(SetupContext context) { m_context = std::move(context); }
    // Where the servers run now, as the page says it ("" for Stellarium:
    // not running).
    void setAlpacaServed(const QString& where) { m_alpacaServed = where; }
    void setStellariumServed(const QString& where) { m_stellariumServed = where; }

    SetupResponse answer(const SetupRequest& request);

private:
    QByteArray html() const;
    SetupResponse save(const SetupRequest& request);

    operations::MountSession& m_session;
    SetupContext m_context;
    QString m_alpacaServed;
    QString m_stellariumServed;
};

}  // namespace morvane::remote
