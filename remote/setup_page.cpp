#include "remote/setup_page.h"

#include "mount/link.h"
#include "operations/horizon_limit.h"
#include "operations/mount_session.h"
#include "remote/alpaca_identity.h"
#include "remote/setup_page_html.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <map>

namespace morvane::remote {
namespace {

using Status = QHttpServerResponder::StatusCode;

const QByteArray kJson = QByteArrayLiteral("application/json");

// A server that runs although the settings do not start it: the command
// line asked for it.
const QString kThisRunOnly = QStringLiteral(
    "This run only (asked on the command line); to start it every time, tick it "
    "under \"Servers at the next start\".");

QString number(double value) {
    return QString::number(value, 'g', 10);
}

SetupResponse saveAnswer(Status status, bool saved, const QString& message) {
    const QJsonObject answer{{QStringLiteral("saved"), saved},
                             {QStringLiteral("message"), message}};
    return {status, kJson, QJsonDocument(answer).toJson(QJsonDocument::Compact)};
}

// A browser sends the page's origin with a PUT; the page's own is this
// server under the name the browser used for it, which is the Host.
bool fromThisServer(const QByteArray& origin, const QByteArray& host) {
    return origin.isEmpty() || origin.toLower() == "http://" + host.trimmed().toLower();
}

// The fields of a save, read in turn; the first that cannot be used stops
// the reading and says why.
class SaveReader {
public:
    explicit SaveReader(QJsonObject object) : m_object(std::move(object)) {}

    double number(const char* key, const char* label, double least, double most, const char* unit) {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (!m_problem.isEmpty()) {
            return 0;
        }
        if (!value.isDouble()) {
            m_problem = QStringLiteral("%1 is missing or not a number.").arg(QLatin1String(label));
            return 0;
        }
        const double v = value.toDouble();
        if (!(v >= least && v <= most)) {
            m_problem = QStringLiteral("%1 %2 is outside %3 to %4%5.")
                            .arg(QLatin1String(label), remote::number(v), remote::number(least),
                                 remote::number(most),
                                 *unit ? QLatin1Char(' ') + QLatin1String(unit) : QString());
        }
        return v;
    }

    quint16 port(const char* key, const char* label) {
        const double v = number(key, label, 1, 65535, "");
        if (m_problem.isEmpty() && v != std::floor(v)) {
            m_problem = QStringLiteral("%1 %2 is not a port number.")
                            .arg(QLatin1String(label), remote::number(v));
        }
        return m_problem.isEmpty() ? static_cast<quint16>(v) : 0;
    }

    QHostAddress address(const char* key, const char* label) {
        const QString text = m_object.value(QLatin1String(key)).toString().trimmed();
        QHostAddress address;
        if (m_problem.isEmpty() && !address.setAddress(text)) {
            m_problem = QStringLiteral(
                            "%1 \"%2\" is not an IP address (for example 127.0.0.1, "
                            "or 0.0.0.0 for every network).")
                            .arg(QLatin1String(label), text.left(60));
        }
        return address;
    }

    bool boolean(const char* key) {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (m_problem.isEmpty() && !value.isBool()) {
            m_problem = QStringLiteral("%1 is missing.").arg(QLatin1String(key));
        }
        return value.toBool();
    }

    bool isNull(const char* key) const { return m_object.value(QLatin1String(key)).isNull(); }
    const QString& problem() const { return m_problem; }

private:
    QJsonObject m_object;
    QString m_problem;
};

QString escaped(const QString& text) {
    return text.toHtmlEscaped();
}

}  // namespace

SetupPage::SetupPage(operations::MountSession& session) : m_session(session) {}

SetupResponse SetupPage::answer(const SetupRequest& request) {
    if (request.get) {
        return {Status::Ok, QByteArrayLiteral("text/html; charset=utf-8"), html()};
    }
    return save(request);
}

SetupResponse SetupPage::save(const SetupRequest& request) {
    if (!fromThisServer(request.origin, request.host)) {
        return saveAnswer(Status::Forbidden, false,
                          QStringLiteral("Settings are saved from this server's own setup page "
                                         "only."));
    }
    if (!request.contentType.trimmed().toLower().startsWith(kJson)) {
        return saveAnswer(Status::UnsupportedMediaType, false,
                          QStringLiteral("A save is sent as JSON (application/json)."));
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return saveAnswer(Status::BadRequest, false,
                          QStringLiteral("A save is one JSON object of the page's fields."));
    }
    SaveReader field(document.object());
    operations::Site site;
    site.latitude = field.number("latitude", "Latitude", -90, 90, "degrees");
    site.longitude = field.number("longitude", "Longitude", -180, 180, "degrees");
    site.elevation = field.number("elevation", "Elevation", operations::kLowestElevation,
                                  operations::kHighestElevation, "m");
    std::optional<double> limit;
    if (!field.isNull("horizonLimit")) {
        limit = field.number("horizonLimit", "The horizon limit", operations::kLowestHorizonLimit,
                             operations::kHighestHorizonLimit, "degrees");
    }
    ServerChoices choices;
    choices.alpaca.enabled = field.boolean("alpacaEnabled");
    choices.alpaca.port = field.port("alpacaPort", "The Alpaca port");
    choices.alpaca.address = field.address("alpacaListen", "The Alpaca listen address");
    choices.alpacaDiscoveryPort = field.port("alpacaDiscoveryPort", "The discovery port");
    choices.stellarium.enabled = field.boolean("stellariumEnabled");
    choices.stellarium.port = field.port("stellariumPort", "The Stellarium port");
    choices.stellarium.address = field.address("stellariumListen", "The Stellarium listen address");
    if (!field.problem().isEmpty()) {
        return saveAnswer(Status::BadRequest, false,
                          field.problem() + QStringLiteral(" Nothing was changed."));
    }

    m_session.setSite(site);
    m_session.setHorizonLimit(limit);
    m_context.nextStart = choices;
    const std::optional<QString> notKept =
        m_context.keep ? m_context.keep(choices)
                       : std::optional<QString>(QStringLiteral("this program keeps no settings "
                                                               "file."));
    if (notKept) {
        return saveAnswer(Status::Ok, false,
                          QStringLiteral("The site and the horizon limit apply until the "
                                         "program ends, but could not be kept: %1")
                              .arg(*notKept));
    }
    return saveAnswer(Status::Ok, true,
                      QStringLiteral("Saved. The site and the horizon limit apply now; the "
                                     "server choices at the next start."));
}

QByteArray SetupPage::html() const {
    const operations::Site& site = m_session.site();
    const std::optional<double> limit = m_session.horizonLimit();
    const ServerChoices& next = m_context.nextStart;
    const auto checked = [](bool on) { return on ? QStringLiteral("checked") : QString(); };
    const std::map<QString, QString> values{
        {QStringLiteral("server"), serverName()},
        {QStringLiteral("device"), deviceName()},
        {QStringLiteral("uniqueId"), deviceUniqueId()},
        {QStringLiteral("version"), programVersion()},
        {QStringLiteral("port"), m_session.link().portDescription()},
        {QStringLiteral("portState"),
         m_session.isOpen() ? QStringLiteral("open") : QStringLiteral("closed")},
        {QStringLiteral("alpacaServed"), m_alpacaServed},
        {QStringLiteral("alpacaOnce"), next.alpaca.enabled ? QString() : kThisRunOnly},
        {QStringLiteral("stellariumServed"),
         m_stellariumServed.isEmpty() ? QStringLiteral("not running") : m_stellariumServed},
        {QStringLiteral("stellariumOnce"),
         m_stellariumServed.isEmpty() || next.stellarium.enabled ? QString() : kThisRunOnly},
        {QStringLiteral("latitude"), number(site.latitude)},
        {QStringLiteral("longitude"), number(site.longitude)},
        {QStringLiteral("elevation"), number(site.elevation)},
        {QStringLiteral("horizonOn"), checked(limit.has_value())},
        {QStringLiteral("horizonLimit"), number(limit.value_or(10.0))},
        {QStringLiteral("alpacaEnabled"), checked(next.alpaca.enabled)},
        {QStringLiteral("alpacaPort"), QString::number(next.alpaca.port)},
        {QStringLiteral("alpacaListen"), next.alpaca.address.toString()},
        {QStringLiteral("alpacaDiscoveryPort"), QString::number(next.alpacaDiscoveryPort)},
        {QStringLiteral("stellariumEnabled"), checked(next.stellarium.enabled)},
        {QStringLiteral("stellariumPort"), QString::number(next.stellarium.port)},
        {QStringLiteral("stellariumListen"), next.stellarium.address.toString()},
        {QStringLiteral("settingsFile"), m_context.settingsFile.isEmpty()
                                             ? QStringLiteral("nowhere: this run keeps none")
                                             : m_context.settingsFile},
    };
    // {{name}} in the template becomes the value, escaped for HTML.
    const QString page = setupPageTemplate();
    QString filled;
    filled.reserve(page.size() + 1024);
    qsizetype at = 0;
    for (qsizetype open; (open = page.indexOf(QLatin1String("{{"), at)) >= 0;) {
        const qsizetype close = page.indexOf(QLatin1String("}}"), open);
        filled += QStringView(page).mid(at, open - at);
        const auto found = values.find(page.mid(open + 2, close - open - 2));
        filled += found == values.end() ? QString() : escaped(found->second);
        at = close + 2;
    }
    filled += QStringView(page).mid(at);
    return filled.toUtf8();
}

}  // namespace morvane::remote
