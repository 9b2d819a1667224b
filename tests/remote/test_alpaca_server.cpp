// The Alpaca server end to end: real HTTP on 127.0.0.1 to the real server,
// which shares the window's session, over a real serial port on a
// pseudo-terminal to the simulated mount.
#include "mount/target_entry.h"
#include "operations/mount_session.h"
#include "operations/position_readings.h"
#include "remote/alpaca_http_server.h"
#include "remote/alpaca_identity.h"
#include "remote/alpaca_server.h"
#include "tests/support/window_on_simulator.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace morvane;
using namespace morvane::testing;
using namespace std::chrono_literals;

namespace {

struct Http {
    int status = 0;
    QByteArray body;
    QJsonObject json;
    double number(const char* key) const { return json.value(QLatin1String(key)).toDouble(); }
};

}  // namespace

class TestAlpacaServer : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() {
        server.reset();
        settings = {};
    }
    void connectReadSlewSyncTrack();
    void errors_data();
    void errors();
    void clientsShareThePort();
    void onlyRequestsNamingThisServer_data();
    void onlyRequestsNamingThisServer();
    void clientsPollingShareReadings();
    void atMostEightCommandsWait();
    void connectionsAreBounded();
    void rawRequests_data();
    void rawRequests();
    void readingStopsForWhatCannotBeAnswered_data();
    void readingStopsForWhatCannotBeAnswered();

private:
    QNetworkReply* start(QNetworkAccessManager& nam, const QByteArray& verb, const QString& member,
                         const QByteArray& form);
    Http call(const QByteArray& verb, const QString& member, const QByteArray& form = {});
    QList<sim::LogEntry> logOf(char lead) const;

    WindowOnSimulator w;
    std::unique_ptr<remote::AlpacaServer> server;
    QNetworkAccessManager nam;
    remote::AlpacaSettings settings;
};

void TestAlpacaServer::init() {
    server.reset();  // it uses the session of the window about to go
    QCOMPARE(w.start(false), QString());
    w.sim->setSlewRate(90);
    settings.port = 0;
    settings.discoveryPort = 0;
    w.window->session().setSite({-33.87, 151.21, 58});
    server = std::make_unique<remote::AlpacaServer>(w.window->session(), settings);
    QCOMPARE(server->start(), QStringList());
}

QNetworkReply* TestAlpacaServer::start(QNetworkAccessManager& client, const QByteArray& verb,
                                       const QString& member, const QByteArray& form) {
    const QString path =
        member.startsWith('/') ? member : QStringLiteral("/api/v1/telescope/0/") + member;
    QUrl url(QStringLiteral("http://127.0.0.1:%1%2").arg(server->httpPort()).arg(path));
    if (verb == "GET") {
        url.setQuery(QString::fromLatin1(form));
        return client.get(QNetworkRequest(url));
    }
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    return client.put(request, form);
}

Http TestAlpacaServer::call(const QByteArray& verb, const QString& member, const QByteArray& form) {
    std::unique_ptr<QNetworkReply> reply(start(nam, verb, member, form));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(5000)) {
        return {};
    }
    Http http;
    http.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    http.body = reply->readAll();
    http.json = QJsonDocument::fromJson(http.body).object();
    return http;
}

// The commands the mount received that begin with `lead`.
QList<sim::LogEntry> TestAlpacaServer::logOf(char lead) const {
    QList<sim::LogEntry> entries;
    for (const sim::LogEntry& entry : w.sim->log()) {
        if (entry.bytes.startsWith(lead)) {
            entries << entry;
        }
    }
    return entries;
}

void TestAlpacaServer::connectReadSlewSyncTrack() {
    // The management API names the device the same way every time.
    const QJsonValue devices = call("GET", "/management/v1/configureddevices").json.value("Value");
    QCOMPARE(devices[0]["UniqueID"].toString(), remote::deviceUniqueId());
    QCOMPARE(call("GET", "connected").json.value("Value"), QJsonValue(false));
    const Http connect = call("PUT", "connected", "Connected=true&ClientTransactionID=7");
    QCOMPARE(connect.number("ErrorNumber"), 0);
    QCOMPARE(connect.number("ClientTransactionID"), 7);
    QVERIFY(!w.control("Command1")->isEnabled() && w.control("Command2")->isEnabled());

    // The position, from the mount's own words.
    w.sim->setPosition(0x34AB, 0x0D32);
    QCOMPARE(call("GET", "rightascension").number("Value"), 0x34AB * 24.0 / 65536);
    w.sim->setPosition(0x34AB, 0xF2CE);  // moved by hand: the reading above is soon too old
    QTRY_COMPARE(call("GET", "declination").number("Value"), (0xF2CE - 65536) * 360.0 / 65536);

    // A slew: Slewing at once, the window's GOTO boxes show the target, and
    // the window's own GOTO sends the very same bytes.
    QCOMPARE(call("PUT", "slewtocoordinatesasync", "RightAscension=5.5&Declination=-20.125")
                 .number("ErrorNumber"),
             0);
    QCOMPARE(call("GET", "slewing").json.value("Value"), QJsonValue(true));
    QCOMPARE(w.entry(kGotoBoxes),
             (QStringList{"05", "30", "00.439453125", "-", "20", "07.6171875"}));
    QTRY_COMPARE_WITH_TIMEOUT(call("GET", "slewing").json.value("Value"), QJsonValue(false), 8000);
    QCOMPARE(call("GET", "targetrightascension").number("Value"), 5.5);
    QCOMPARE(call("GET", "targetdeclination").number("Value"), -20.125);
    w.click("Command3");
    QTRY_COMPARE(logOf('R').size(), 2);
    QCOMPARE(logOf('R')[0].bytes, logOf('R')[1].bytes);
    QCOMPARE(w.sim->model().rightAscensionWord(), codec::wordsForAngles(5.5, 0)->rightAscension);

    // A sync: no question asked, the Sync boxes show the star; a read at once
    // gives the new position, though the old one was being read meanwhile.
    w.sim->setReplyDelay(100ms);  // from here on: the reading is under way as the sync comes
    w.window->Timer1_Timer();
    QCOMPARE(
        call("PUT", "synctocoordinates", "RightAscension=6&Declination=22.5").number("ErrorNumber"),
        0);
    QCOMPARE(call("GET", "declination").number("Value"), 22.5);
    QCOMPARE(w.entry(kSyncBoxes), (QStringList{"06", "00", "00", "+", "22", "30"}));
    QVERIFY(w.prompter.questions.isEmpty());

    // Tracking both ways: a remote PUT moves the window's options; the
    // window's choice reads back; with the mount's "#" late, a read is still its own.
    w.sim->setFault(sim::Fault::LateAcknowledgement);
    w.window->session().readings().setTiming({0ms, 0ms});
    for (const bool on : {false, true}) {
        QCOMPARE(
            call("PUT", "tracking", on ? "Tracking=true" : "Tracking=False").number("ErrorNumber"),
            0);
        QCOMPARE(call("GET", "declination").number("Value"), 22.5);
        QCOMPARE(w.sim->model().tracking(), on);
        QVERIFY(w.control<QRadioButton>(on ? "Option4" : "Option5")->isChecked());
    }
    w.sim->setFault(sim::Fault::None);
    w.click("Option5");
    QTRY_VERIFY(!w.sim->model().tracking());
    QCOMPARE(call("GET", "tracking").json.value("Value"), QJsonValue(false));
    QCOMPARE(logOf('T').size(), 3);  // each switch sent once

    // Altitude and azimuth: a slew to them (tracking off) reads back.
    QCOMPARE(call("PUT", "slewtoaltazasync", "Azimuth=120&Altitude=35").number("ErrorNumber"), 0);
    QTRY_COMPARE_WITH_TIMEOUT(call("GET", "slewing").json.value("Value"), QJsonValue(false), 8000);
    QVERIFY(qAbs(call("GET", "altitude").number("Value") - 35) < 0.1);
    QVERIFY(qAbs(call("GET", "azimuth").number("Value") - 120) < 0.1);

    // Goto East as an action.
    QCOMPARE(call("PUT", "action", "Action=gotoeast&Parameters=").number("ErrorNumber"), 0);
    QVERIFY(w.sim->received().endsWith("B0000,0000"));
    QCOMPARE(call("GET", "slewing").json.value("Value"), QJsonValue(true));
    QVERIFY(w.prompter.messages.isEmpty());
}

void TestAlpacaServer::errors_data() {
    QTest::addColumn<bool>("open");
    QTest::addColumn<QByteArray>("verb");
    QTest::addColumn<QString>("member");
    QTest::addColumn<QByteArray>("form");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");  // the message or the 400 reason starts so

    const QByteArray slew = "slewtocoordinatesasync";
    QTest::newRow("RA 24 h") << true << QByteArray("PUT") << QString(slew)
                             << QByteArray("RightAscension=24&Declination=0") << 200 << 0x401
                             << "RightAscension 24 is outside 0 to 24 hours";
    QTest::newRow("Dec a hair beyond -90")
        << true << QByteArray("PUT") << QString(slew)
        << QByteArray("RightAscension=1&Declination=-90.0000000001") << 200 << 0x401
        << "Declination -90.0000000001 is outside";
    QTest::newRow("Dec -91") << true << QByteArray("PUT") << QString(slew)
                             << QByteArray("RightAscension=1&Declination=-91") << 200 << 0x401
                             << "Declination -91 is outside -90 to 90 degrees";
    QTest::newRow("port closed") << false << QByteArray("GET") << "rightascension" << QByteArray()
                                 << 200 << 0x407
                                 << "Port 1 (%1) is not open. Click COM OPEN first.";
    QTest::newRow("no such device")
        << false << QByteArray("PUT") << "connected" << QByteArray("Connected=true") << 200 << 0x501
        << "Could not open port 1 (/dev/morvane-nothing-here)";
    QTest::newRow("silent mount") << true << QByteArray("GET") << "declination" << QByteArray()
                                  << 200 << 0x500 << "The mount did not answer on Port 1 (%1)";
    QTest::newRow("target not set") << true << QByteArray("PUT") << "synctotarget" << QByteArray()
                                    << 200 << 0x402 << "TargetRightAscension has not been set.";
    QTest::newRow("altitude slew while tracking")
        << true << QByteArray("PUT") << "slewtoaltazasync" << QByteArray("Azimuth=0&Altitude=9")
        << 200 << 0x40B << "Tracking is on: a slew to altitude and azimuth";
    // The south pole stands 33.87 degrees up at the test's site: a target
    // beside it stays within 2 degrees of that.
    QTest::newRow("below the horizon limit")
        << true << QByteArray("PUT") << QString(slew)
        << QByteArray("RightAscension=3&Declination=-89.5") << 200 << 0x40B << "The target is at 3";
    QTest::newRow("UTCDate") << true << QByteArray("PUT") << "utcdate"
                             << QByteArray("UTCDate=2030-01-01T00:00:00Z") << 200 << 0x400
                             << "Setting UTCDate is not offered";
    QTest::newRow("NaN") << true << QByteArray("PUT") << QString(slew)
                         << QByteArray("RightAscension=NaN&Declination=0") << 400 << 0
                         << "RightAscension=\"NaN\" is not a number";
    QTest::newRow("wrong case in a body")
        << true << QByteArray("PUT") << "tracking" << QByteArray("tracking=true") << 400 << 0
        << "Missing parameter Tracking.";
    QTest::newRow("any case in a query")
        << false << QByteArray("GET") << "canmoveaxis" << QByteArray("aXiS=3") << 200 << 0x401
        << "Axis 3 is not an axis";
    QTest::newRow("bad transaction id")
        << true << QByteArray("GET") << "name" << QByteArray("ClientTransactionID=-1") << 400 << 0
        << "ClientTransactionID=\"-1\" is not a whole number";
    QTest::newRow("unknown member") << true << QByteArray("GET") << "warpspeed" << QByteArray()
                                    << 400 << 0 << "Telescope has no member \"warpspeed\"";
    QTest::newRow("unknown device") << true << QByteArray("GET") << "/api/v1/telescope/1/name"
                                    << QByteArray() << 400 << 0 << "No telescope 1 here";
    QTest::newRow("body over 64 KiB")
        << true << QByteArray("PUT") << "tracking" << QByteArray(65 * 1024, 'x') << 413 << 0
        << "The request's body is larger than 64 KiB.";
}

void TestAlpacaServer::errors() {
    QFETCH(bool, open);
    QFETCH(QByteArray, verb);
    QFETCH(QString, member);
    QFETCH(QByteArray, form);
    QFETCH(int, status);
    QFETCH(int, error);
    QFETCH(QString, text);
    if (open) {
        QCOMPARE(call("PUT", "connect").number("ErrorNumber"), 0);
    }
    if (QByteArray(QTest::currentDataTag()) == "no such device") {
        qputenv("MORVANE_COM1", "/dev/morvane-nothing-here");
    }
    if (QByteArray(QTest::currentDataTag()) == "below the horizon limit") {
        w.window->session().setHorizonLimit(40);
    }
    if (QByteArray(QTest::currentDataTag()) == "silent mount") {
        w.shortenLimits(300ms, 1s);
        w.sim->setFault(sim::Fault::Silent);
    }
    const quint32 before = server->http().lastTransaction();
    const Http http = call(verb, member, form);
    QCOMPARE(http.status, status);
    const QString expected = text.contains("%1") ? text.arg(w.sim->devicePath()) : text;
    if (status != 200) {
        QVERIFY2(http.body.startsWith(expected.toUtf8()), http.body.constData());
        QCOMPARE(http.body.count('\n'), 1);
        QCOMPARE(server->http().lastTransaction(), before + (status == 400 ? 1 : 0));
        return;
    }
    QCOMPARE(http.number("ErrorNumber"), error);
    QVERIFY2(http.json.value("ErrorMessage").toString().startsWith(expected),
             qPrintable(http.json.value("ErrorMessage").toString()));
    QCOMPARE(http.number("ServerTransactionID"), before + 1);
    const QJsonValue value = http.json.value("Value");  // of the member's type, also on error
    QVERIFY(verb == "GET" ? !value.isNull() && !value.isUndefined() : value.isUndefined());
    QVERIFY(w.sim->log().isEmpty() || error == 0x500);  // nothing half sent
    if (error == 0x500) {  // a mount that answers again is read at once
        w.sim->setFault(sim::Fault::None);
        QCOMPARE(call(verb, member, form).number("ErrorNumber"), 0);
    }
}

// Each client that connects holds the port, as does the window's COM OPEN;
// it closes when the last lets go, for everyone at CLOSE, and a client
// silent too long is forgotten.
void TestAlpacaServer::clientsShareThePort() {
    // "1+ 2-": client 1 connects, then client 2 disconnects.
    const auto put = [this](const char* steps) {
        bool ok = true;
        for (const QByteArray& step : QByteArray(steps).split(' ')) {
            ok = ok && call("PUT", "connected",
                            "ClientID=" + step.chopped(1) +
                                "&Connected=" + (step.endsWith('+') ? "true" : "false"))
                               .number("ErrorNumber") == 0;
        }
        return ok;
    };
    const auto get = [this](int client, const char* member) {
        const Http http = call("GET", member, "clientid=" + QByteArray::number(client));
        return http.number("ErrorNumber") == 0 ? http.json.value("Value") : QJsonValue();
    };
    QVERIFY(put("1+ 2+ 2+ 1-"));
    QCOMPARE(get(1, "connected"), QJsonValue(false));
    QCOMPARE(get(3, "connected"), QJsonValue(false));
    QVERIFY(get(2, "rightascension").isDouble());
    QVERIFY(put("2-"));
    QVERIFY(!w.window->link().isOpen());

    w.click("Command1");
    QVERIFY(put("1+ 1- 2+"));
    QCOMPARE(get(3, "connected"), QJsonValue(true));
    w.click("Command2");
    QCOMPARE(get(2, "connected"), QJsonValue(false));
    QCOMPARE(call("GET", "declination", "ClientID=2").number("ErrorNumber"), 0x407);
    QByteArray many = "100+";  // holders at most
    for (int client = 101; client < 164; ++client) {
        many += ' ' + QByteArray::number(client) + '+';
    }
    QVERIFY(put(many) && !put("164+"));
    w.click("Command2");

    w.window->session().setClientTimeout(300ms);
    QVERIFY(put("4+"));
    QTRY_VERIFY(!w.window->link().isOpen());
}

void TestAlpacaServer::onlyRequestsNamingThisServer_data() {
    QTest::addColumn<QString>("address");  // connected to
    QTest::addColumn<QByteArray>("hosts");
    QTest::addColumn<int>("status");
    QTest::newRow("example.com") << "127.0.0.1" << QByteArray("Host: example.com\r\n") << 421;
    QTest::newRow("127.0.0.1:11111")
        << "127.0.0.1" << QByteArray("Host: 127.0.0.1:11111\r\n") << 200;
    QTest::newRow("[::1], over IPv6") << "::1" << QByteArray("Host: [::1]:80\r\n") << 200;
    QTest::newRow("none") << "127.0.0.1" << QByteArray() << 200;
}

// A web page may point its own name at 127.0.0.1; its requests then carry
// that name, and never reach the mount.
void TestAlpacaServer::onlyRequestsNamingThisServer() {
    QFETCH(QString, address);
    QFETCH(QByteArray, hosts);
    QFETCH(int, status);
    QCOMPARE(call("PUT", "connect").number("ErrorNumber"), 0);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(address), server->httpPort());
    QVERIFY(socket.waitForConnected(2000));
    socket.write("PUT /api/v1/telescope/0/tracking HTTP/1.1\r\n" + hosts +
                 "Content-Type: application/x-www-form-urlencoded\r\n"
                 "Content-Length: 14\r\n\r\nTracking=false");
    QTRY_VERIFY(socket.canReadLine());
    QVERIFY(socket.readLine().startsWith("HTTP/1.1 " + QByteArray::number(status) + ' '));
    QCOMPARE(logOf('T').size(), status == 200 ? 1 : 0);
}

// Two clients, each asking again as soon as answered: no two position
// queries on the wire closer than 250 ms, and every answer a fresh position.
void TestAlpacaServer::clientsPollingShareReadings() {
    QCOMPARE(call("PUT", "connected", "Connected=true").number("ErrorNumber"), 0);
    // Readings that go stale sooner than the gap: the gap alone spaces them.
    w.window->session().readings().setTiming({250ms, 100ms});
    QNetworkAccessManager other;
    int answers[2] = {0, 0};
    int failures = 0;
    std::function<void(int)> poll = [&](int client) {
        QNetworkReply* reply = start(client == 0 ? nam : other, "GET", "rightascension", {});
        connect(reply, &QNetworkReply::finished, this, [&, reply, client] {
            reply->deleteLater();
            const QJsonObject json = QJsonDocument::fromJson(reply->readAll()).object();
            failures += json.value("ErrorNumber").toInt() != 0;
            if (++answers[client] < 100 || logOf('E').size() < 4) {
                poll(client);
            }
        });
    };
    poll(0);
    poll(1);
    QTRY_VERIFY_WITH_TIMEOUT(logOf('E').size() >= 4 && answers[0] >= 100 && answers[1] >= 100,
                             10000);
    QCOMPARE(failures, 0);
    const auto queries = logOf('E');
    for (int i = 1; i < queries.size(); ++i) {
        QVERIFY(queries[i].time - queries[i - 1].time >= 250ms);
    }
}

// Behind a reading the silent mount keeps waiting, eight client commands
// queue; the ninth is told the mount is busy, and nothing of it is sent.
void TestAlpacaServer::atMostEightCommandsWait() {
    QCOMPARE(call("PUT", "connect").number("ErrorNumber"), 0);
    w.sim->setFault(sim::Fault::Silent);
    w.window->Timer1_Timer();
    QNetworkAccessManager more;  // six connections at most to a host each
    QList<QNetworkReply*> replies;
    for (int i = 0; i < 9; ++i) {
        replies << start(i % 2 ? more : nam, "PUT", "tracking", "Tracking=false");
    }
    QTRY_VERIFY(
        std::all_of(replies.begin(), replies.end(), [](auto* r) { return r->isFinished(); }));
    QList<int> errors;
    for (QNetworkReply* reply : replies) {
        errors << QJsonDocument::fromJson(reply->readAll()).object().value("ErrorNumber").toInt();
        delete reply;
    }
    QCOMPARE(errors.count(0), 8);
    QCOMPARE(errors.count(0x502), 1);
    QCOMPARE(logOf('T').size(), 8);
}

// Beyond the cap a client that never completed a request makes room first:
// one that has made requests keeps its place against a stream of silent
// newcomers. Idle connections are closed.
void TestAlpacaServer::connectionsAreBounded() {
    settings.limits.maximumConnections = 2;
    settings.limits.idleClose = 400ms;
    init();
    QTcpSocket sockets[4];
    for (QTcpSocket& socket : sockets) {
        socket.connectToHost(QHostAddress::LocalHost, server->httpPort());
        QVERIFY(socket.waitForConnected(2000));
        if (&socket == &sockets[0]) {
            socket.write("GET /api/v1/telescope/0/name HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
            QTRY_VERIFY(socket.bytesAvailable() > 0);
        }
    }
    // Each silent newcomer made room by closing the silent one before it.
    QTRY_COMPARE(sockets[2].state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(sockets[1].state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(sockets[0].state(), QAbstractSocket::ConnectedState);
    QTRY_COMPARE(sockets[0].state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE(sockets[3].state(), QAbstractSocket::UnconnectedState);
}

void TestAlpacaServer::rawRequests_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("answers");
    QTest::addColumn<QString>("pattern");  // the whole of what came back
    QTest::addColumn<bool>("closed");      // by the server, after its answers
    const QByteArray name = "GET /api/v1/telescope/0/name HTTP/1.1\r\n\r\n";
    const QString nameAnswer = "HTTP/1.1 200 OK\r\n.*\\{.*\\}";
    QTest::newRow("2000 pipelined in one write, each counted on its own")
        << name.repeated(2000) << 2000 << QString("(%1)+").arg(nameAnswer) << false;
    QTest::newRow("HTTP/1.0: closed after the answer")
        << QByteArray("GET /api/v1/telescope/0/name HTTP/1.0\r\n\r\n" + name) << 1
        << "HTTP/1.1 200 OK\r\n.*Connection: close\r\n.*\\}" << true;
    QTest::newRow("HTTP/1.0 asking to keep the connection")
        << QByteArray("GET /api/v1/telescope/0/name HTTP/1.0\r\nConnection: keep-alive\r\n\r\n")
        << 1 << "HTTP/1.1 200 OK\r\n.*Connection: keep-alive\r\n.*\\}" << false;
    QTest::newRow("HEAD: the answer's head alone")
        << QByteArray("HEAD /api/v1/telescope/0/name HTTP/1.1\r\n\r\n" + name) << 2
        << "HTTP/1.1 200 OK\r\n.*Content-Length: [1-9][0-9]+\r\n\r\n" + nameAnswer << false;
    QTest::newRow("blank lines before the request line count in its head")
        << QByteArray("\r\n").repeated(8200) + name << 1 << "HTTP/1.1 431 .*larger than 16 KiB\\.\n"
        << true;
    QTest::newRow("HTTPX1.1") << QByteArray("GET / HTTPX1.1\r\n\r\n") << 1
                              << "HTTP/1.1 400 .*must end in HTTP/1.1 or HTTP/1.0\\.\n"
                              << true;
    QTest::newRow("HTTP/A.B") << QByteArray("GET / HTTP/A.B\r\n\r\n") << 1
                              << "HTTP/1.1 400 .*must end in HTTP/1.1 or HTTP/1.0\\.\n"
                              << true;
    QTest::newRow("HTTP/2.0") << QByteArray("GET / HTTP/2.0\r\n\r\n") << 1 << "HTTP/1.1 505 .*"
                              << true;
    QTest::newRow("a body without Content-Length")
        << QByteArray("PUT /setup HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n") << 1
        << "HTTP/1.1 411 .*" << true;
    QTest::newRow("Content-Length over 64 KiB: refused before the body")
        << QByteArray("PUT /setup HTTP/1.1\r\nContent-Length: 65537\r\n\r\n") << 1
        << "HTTP/1.1 413 .*larger than 64 KiB\\.\n"
        << true;
    QTest::newRow("an encoded / in the path")
        << QByteArray("GET /api/v1/telescope%2F0/name HTTP/1.1\r\n\r\n") << 1
        << "HTTP/1.1 400 .*must not be encoded as %2F\\.\n"
        << false;
    QTest::newRow("a long path is echoed cut")
        << QByteArray("GET /management/" + QByteArray(5000, 'a') + " HTTP/1.1\r\n\r\n") << 1
        << "HTTP/1.1 400 .*\r\n\r\nNo such management request: /management/a{68}\\.\\.\\.\n"
        << false;
    QTest::newRow("shut after sending: nothing reaches the mount")
        << QByteArray(
               "PUT /api/v1/telescope/0/tracking HTTP/1.1\r\nContent-Length: 14\r\n\r\n"
               "Tracking=false")
        << 0 << QString() << true;
}

// Requests as bytes: each pipelined request answered on its own, the
// version and HEAD honoured, malformed heads refused and the connection
// closed.
void TestAlpacaServer::rawRequests() {
    QFETCH(QByteArray, request);
    QFETCH(int, answers);
    QFETCH(QString, pattern);
    QFETCH(bool, closed);
    QCOMPARE(call("PUT", "connect").number("ErrorNumber"), 0);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server->httpPort());
    QVERIFY(client.waitForConnected(2000));
    client.write(request);
    QVERIFY(client.flush());
    if (answers == 0) {
        QVERIFY(::shutdown(int(client.socketDescriptor()), SHUT_WR) == 0);
    }
    QByteArray reply;
    QTRY_VERIFY_WITH_TIMEOUT((reply += client.readAll()).count("Content-Length:") >= answers &&
                                 (!closed || client.state() == QAbstractSocket::UnconnectedState),
                             10000);
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                                QRegularExpression::DotMatchesEverythingOption)
                 .match(QString::fromLatin1(reply))
                 .hasMatch(),
             reply.left(300).constData());
    QCOMPARE(reply.count("Content-Length:"), answers);
    QCOMPARE(client.state() == QAbstractSocket::UnconnectedState, closed);
    // A command after it is the only one the mount hears.
    QCOMPARE(call("PUT", "tracking", "Tracking=true").number("ErrorNumber"), 0);
    QCOMPARE(logOf('T').size(), 1);
}

void TestAlpacaServer::readingStopsForWhatCannotBeAnswered_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("rest");  // repeated
    QTest::addColumn<int>("pieces");       // of 4 KiB a millisecond, at most
    QTest::newRow("answers left unread, then idle")
        << QByteArray() << "GET /setup HTTP/1.1\r\nX: " + QByteArray(4000, 'x') + "\r\n\r\n"
        << 2;
    QTest::newRow("refused, the body streamed on")
        << QByteArray("PUT /setup HTTP/1.1\r\nContent-Length: 100000\r\n\r\n")
        << QByteArray(4000, 'x') << 16;
}

// A client that does not read its answers, or whose request was refused, is
// read no further: TCP holds it back instead of the program holding what it
// sends, and the connection is aborted once idle or refused. The client
// never stops on its own.
void TestAlpacaServer::readingStopsForWhatCannotBeAnswered() {
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, rest);
    QFETCH(int, pieces);
    settings.limits.idleClose = 500ms;
    init();
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;  // it reads nothing, and its kernel holds little
    ::setsockopt(client, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ::setsockopt(client, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(server->httpPort());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    QByteArray stream = head + rest.repeated(64);
    qint64 taken = 0;
    bool ended = false;
    QTimer sender;
    connect(&sender, &QTimer::timeout, this, [&] {
        for (int i = 0; i < pieces && !ended; ++i) {
            const auto n = ::send(client, stream.constData(), 4096, MSG_DONTWAIT | MSG_NOSIGNAL);
            ended = n < 0 && errno != EAGAIN;
            taken += std::max<qint64>(n, 0);
            stream.remove(0, std::max<qint64>(n, 0)).append(rest.left(std::max<qint64>(n, 0)));
        }
    });
    sender.start(1);
    QTRY_VERIFY_WITH_TIMEOUT(ended || taken > 64 << 20, 20000);
    ::close(client);
    QVERIFY2(ended && taken < 2 << 20, QByteArray::number(taken));
}

QTEST_MAIN(TestAlpacaServer)
#include "test_alpaca_server.moc"
