#include "remote/alpaca_http_server.h"

#include "remote/alpaca_identity.h"
#include "remote/alpaca_parameters.h"
#include "remote/alpaca_reply_json.h"
#include "remote/alpaca_telescope.h"

#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QTime>

// The request log for troubleshooting, off unless asked for:
// QT_LOGGING_RULES="morvane.alpaca.debug=true"
Q_LOGGING_CATEGORY(lcAlpaca, "morvane.alpaca", QtInfoMsg)

namespace morvane::remote {
namespace {

using Status = QHttpServerResponder::StatusCode;

const QByteArray kJson = QByteArrayLiteral("application/json");
const QByteArray kText = QByteArrayLiteral("text/plain; charset=utf-8");

QString stamp() {
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
}

// A client's text said back to it: enough to recognise, never its whole.
QString echoed(QStringView text) {
    constexpr qsizetype kLongest = 80;
    return text.size() <= kLongest ? text.toString()
                                   : text.left(kLongest).toString() + QStringLiteral("...");
}

QByteArray shortened(const QByteArray& text) {
    constexpr qsizetype kLongest = 300;
    return text.size() <= kLongest ? text : text.left(kLongest) + "...";
}

// One request on its way to its reply.
struct Pending {
    QPointer<HttpConnection> connection;
    quint64 ticket = 0;
    quint32 serverTransaction = 0;

    void send(Status status, const QByteArray& type, const QByteArray& body) const {
        qCDebug(lcAlpaca).noquote()
            << stamp() << '#' + QString::number(serverTransaction) << "answer"
            << static_cast<int>(status) << QString::fromUtf8(shortened(body)).trimmed();
        if (connection) {
            connection->reply(ticket, status, type, body);
        }
    }

    void badRequest(const QString& reason) const {
        send(Status::BadRequest, kText, reason.toUtf8() + '\n');
    }

    void json(quint32 clientTransaction, bool withValue, const Answer& answer) const {
        send(Status::Ok, kJson,
             alpacaReplyJson(clientTransaction, serverTransaction, answer, withValue));
    }
};

QJsonValue managementValue(const QString& path) {
    if (path == QLatin1String("/management/apiversions")) {
        return QJsonArray{1};
    }
    if (path == QLatin1String("/management/v1/description")) {
        return QJsonObject{{QStringLiteral("ServerName"), serverName()},
                           {QStringLiteral("Manufacturer"), manufacturer()},
                           {QStringLiteral("ManufacturerVersion"), programVersion()},
                           {QStringLiteral("Location"), QStringLiteral("This computer")}};
    }
    if (path == QLatin1String("/management/v1/configureddevices")) {
        return QJsonArray{QJsonObject{{QStringLiteral("DeviceName"), deviceName()},
                                      {QStringLiteral("DeviceType"), QStringLiteral("Telescope")},
                                      {QStringLiteral("DeviceNumber"), 0},
                                      {QStringLiteral("UniqueID"), deviceUniqueId()}}};
    }
    return QJsonValue::Undefined;
}

bool isSetupPath(const QString& path) {
    return path == QLatin1String("/") || path == QLatin1String("/setup") ||
           path == QLatin1String("/setup/v1/telescope/0/setup");
}

}  // namespace

AlpacaHttpServer::AlpacaHttpServer(AlpacaTelescope& telescope, SetupPage& setupPage,
                                   QObject* parent)
    : QAbstractHttpServer(parent), m_telescope(telescope), m_setupPage(setupPage) {}

bool AlpacaHttpServer::listenOn(const QHostAddress& address, quint16 port,
                                const ConnectionLimits& limits, QAbstractSocket::SocketError* error,
                                QString* errorText) {
    auto* pool = new HttpConnectionPool(limits, this);
    if (!pool->listen(address, port)) {
        *error = pool->serverError();
        *errorText = pool->errorString();
        delete pool;
        return false;
    }
    m_pool = pool;
    bind(pool);
    m_hosts.listenOn(address);
    if (address.isLoopback()) {
        const QHostAddress other(address.protocol() == QAbstractSocket::IPv4Protocol
                                     ? QHostAddress::LocalHostIPv6
                                     : QHostAddress::LocalHost);
        auto* second = new HttpConnectionPool(limits, this);
        if (second->listen(other, pool->serverPort())) {
            m_otherLoopbackPool = second;
            bind(second);
        } else {
            // A computer without IPv6 (or the port taken there): clients
            // still reach the server at the address asked for.
            qCWarning(lcAlpaca).noquote()
                << "not listening on" << other.toString() + ':' << second->errorString();
            delete second;
        }
    }
    return true;
}

quint16 AlpacaHttpServer::port() const {
    return m_pool ? m_pool->serverPort() : 0;
}

QHostAddress AlpacaHttpServer::otherLoopback() const {
    return m_otherLoopbackPool ? m_otherLoopbackPool->serverAddress() : QHostAddress();
}

bool AlpacaHttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    auto* connection = qobject_cast<HttpConnection*>(socket);
    if (connection == nullptr) {
        return false;  // not from our pool: cannot happen
    }
    // A request that does not name this server is refused before anything
    // else is read of it, and the connection closed.
    QList<QByteArray> hosts;
    for (const auto& [name, value] : request.headers()) {
        if (name.compare("Host", Qt::CaseInsensitive) == 0) {
            hosts << value;
        }
    }
    if (const auto refusal = m_hosts.refusal(hosts)) {
        Pending{connection, connection->expectReply(makeResponder(request, socket), true), 0}.send(
            Status::MisdirectedRequest, kText, refusal->toUtf8() + '\n');
        return true;
    }
    const bool closeAfter =
        request.value(QByteArrayLiteral("Connection")).toLower().contains("close");
    Pending pending{connection, connection->expectReply(makeResponder(request, socket), closeAfter),
                    ++m_transactions};
    if (m_transactions == 0xFFFFFFFFu) {
        m_transactions = 0;  // counts up from 1 again
    }
    // %2F stays encoded in this form, so that it cannot pass for a separator.
    const QString path = request.url().path(QUrl::PrettyDecoded);
    // HEAD is answered as GET, and the connection sends the answer's head alone.
    const bool get = request.method() == QHttpServerRequest::Method::Get ||
                     request.method() == QHttpServerRequest::Method::Head;
    const bool put = request.method() == QHttpServerRequest::Method::Put;
    const QByteArray form = get ? request.url().query(QUrl::FullyEncoded).toUtf8() : request.body();
    qCDebug(lcAlpaca).noquote() << stamp() << '#' + QString::number(pending.serverTransaction)
                                << (get   ? "GET"
                                    : put ? "PUT"
                                          : "other method")
                                << path << QString::fromUtf8(shortened(form)) << "from"
                                << request.remoteAddress().toString();

    if (!get && !put) {
        pending.badRequest(QStringLiteral("This Alpaca server answers GET and PUT only."));
        return true;
    }
    if (path.contains(QLatin1String("%2F"))) {
        pending.badRequest(QStringLiteral("A \"/\" in the path must not be encoded as %2F."));
        return true;
    }
    if (isSetupPath(path)) {
        const SetupResponse answer =
            m_setupPage.answer({get, request.body(), request.value("Content-Type"),
                                request.value("Origin"), request.value("Host")});
        pending.send(answer.status, answer.contentType, answer.body);
        return true;
    }
    // Names are matched without regard to case in a query string, exactly in a
    // form body (a wrongly cased name there counts as absent).
    const auto parameters = Parameters::fromForm(
        std::string_view(form.constData(), static_cast<std::size_t>(form.size())),
        get ? NameMatch::AnyCase : NameMatch::Exact);
    if (!parameters) {
        pending.badRequest(
            QStringLiteral("The parameters are not valid form encoding: a \"%\" "
                           "must be followed by two hexadecimal digits."));
        return true;
    }
    const Field<std::uint32_t> clientTransaction = parameters->unsigned32("ClientTransactionID");
    const Field<std::uint32_t> clientId = parameters->unsigned32("ClientID");
    for (const auto* field : {&clientTransaction, &clientId}) {
        if (field->state == Field<std::uint32_t>::State::Malformed) {
            pending.badRequest(QString::fromStdString(field->problem));
            return true;
        }
    }
    const quint32 clientTx = clientTransaction.present() ? clientTransaction.value : 0;

    if (path.startsWith(QLatin1String("/management/"))) {
        const QJsonValue value = managementValue(path);
        if (value.isUndefined()) {
            pending.badRequest(QStringLiteral("No such management request: %1").arg(echoed(path)));
        } else if (!get) {
            pending.badRequest(QStringLiteral("Management requests are read with GET."));
        } else {
            pending.json(clientTx, true, Answer::ok(value));
        }
        return true;
    }

    // /api/v1/{device type}/{device number}/{member}
    const auto parts = QStringView(path).split(u'/');
    if (parts.size() != 6 || !parts[0].isEmpty() || parts[1] != QLatin1String("api") ||
        parts[2] != QLatin1String("v1")) {
        pending.badRequest(
            QStringLiteral("No such path: %1 (devices are at /api/v1/telescope/0/<member>).")
                .arg(echoed(path)));
        return true;
    }
    if (parts[3] != QLatin1String("telescope")) {
        pending.badRequest(QStringLiteral("No device type \"%1\" here: this server has "
                                          "telescope 0 only.")
                               .arg(echoed(parts[3])));
        return true;
    }
    if (parts[4] != QLatin1String("0")) {
        pending.badRequest(QStringLiteral("No telescope %1 here: this server has telescope 0 only.")
                               .arg(echoed(parts[4])));
        return true;
    }
    const QString member = parts[5].toString();
    if (!AlpacaTelescope::hasMember(member, put)) {
        const bool other = AlpacaTelescope::hasMember(member, !put);
        pending.badRequest(
            other ? QStringLiteral("Telescope member \"%1\" is used with %2, not %3.")
                        .arg(member, put ? QStringLiteral("GET") : QStringLiteral("PUT"),
                             put ? QStringLiteral("PUT") : QStringLiteral("GET"))
                  : QStringLiteral("Telescope has no member \"%1\".").arg(echoed(parts[5])));
        return true;
    }
    m_telescope.call(member, put, *parameters, [pending, clientTx, get](const Answer& answer) {
        if (!answer.badRequest.isEmpty()) {
            pending.badRequest(answer.badRequest);
        } else {
            pending.json(clientTx, get, answer);
        }
    });
    return true;
}

void AlpacaHttpServer::missingHandler(const QHttpServerRequest&, QTcpSocket*) {
    // handleRequest() takes every request.
}

}  // namespace morvane::remote
