// The settings that last: what a damaged file still gives; from outside over
// Alpaca, a site and a horizon limit kept from one start to the next while
// the command line's server options are not; and the setup page in a real
// browser (Debian's chromium, headless, driven through chromedriver).
#include "app/lasting_settings.h"
#include "app/remote_servers.h"
#include "operations/mount_session.h"
#include "remote/alpaca_server.h"
#include "tests/support/window_on_simulator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace morvane;

class TestLastingSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(home.isValid());  // never the user's own file
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", home.filePath(".config").toUtf8());
    }
    void damagedValuesAreLeftOut_data();
    void damagedValuesAreLeftOut();
    void keptFromOneStartToTheNext();
    void setupPageInBrowser();

private:
    void start(const QStringList& arguments, bool fixedPorts = false);
    QJsonObject call(const QByteArray& verb, const QString& member, const QByteArray& form = {});
    QJsonValue webDriver(const QByteArray& verb, const QString& path, const QJsonObject& body = {});
    QString element(const QString& css);

    QTemporaryDir home;
    testing::WindowOnSimulator w;
    std::unique_ptr<app::LastingSettings> settings;
    std::unique_ptr<app::RemoteServers> servers;
    QNetworkAccessManager nam;
    QString driver;  // chromedriver's session URL
};

void TestLastingSettings::damagedValuesAreLeftOut_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("read");  // site, limit, then each server
    QTest::addColumn<int>("problems");  // lines, one per value left out
    const QString defaults = "0,0,0 off 0 127.0.0.1:11111 32227 0 127.0.0.1:10001";
    QTest::newRow("none") << QByteArray() << defaults << 0;
    QTest::newRow("every key")
        << QByteArray(
               "[site]\nlatitude=-33.9\nlongitude=18.4\nelevation=12\n[horizon]\nlimit="
               "7.5\n[alpaca]\nenabled=true\nport=8080\nlisten=0.0.0.0\ndiscoveryPort=3"
               "2228\n[stellarium]\nenabled=TRUE\nport=10002\nlisten=::1\n")
        << "-33.9,18.4,12 7.5 1 0.0.0.0:8080 32228 1 ::1:10002" << 0;
    QTest::newRow("blank limit: off") << QByteArray("[horizon]\nlimit=\n") << defaults << 0;
    QTest::newRow("site and limit damaged")
        << QByteArray("[site]\nlatitude=91\nlongitude=east\nelevation=1e9\n[horizon]\nlimit=nan\n")
        << defaults << 4;
    QTest::newRow("servers damaged")
        << QByteArray(
               "[alpaca]\nenabled=yes\nport=0\nlisten=localhost\ndiscoveryPort=1.5\n"
               "[stellarium]\nport=65536\n")
        << defaults << 5;
    QTest::newRow("not an INI file")
        << QByteArrayLiteral("\x00\xff[[[=\n=\x01\n[alpaca]\nport=\n") << defaults << 1;
}

void TestLastingSettings::damagedValuesAreLeftOut() {
    QFETCH(QByteArray, file);
    QFETCH(QString, read);
    QFETCH(int, problems);
    const QString path = home.filePath("read.ini");
    QSaveFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size() && out.commit());
    QStringList lines;
    const app::KeptSettings kept = app::readSettings(path, &lines);
    const auto server = [](const remote::ServerChoice& s) {
        return QStringLiteral("%1 %2:%3").arg(int(s.enabled)).arg(s.address.toString()).arg(s.port);
    };
    QCOMPARE(QStringLiteral("%1,%2,%3 %4 %5 %6 %7")
                 .arg(kept.site.latitude)
                 .arg(kept.site.longitude)
                 .arg(kept.site.elevation)
                 .arg(kept.horizonLimit ? QString::number(*kept.horizonLimit) : "off")
                 .arg(server(kept.servers.alpaca))
                 .arg(kept.servers.alpacaDiscoveryPort)
                 .arg(server(kept.servers.stellarium)),
             read);
    QCOMPARE(lines.filter(QRegularExpression("^settings file " + path + ": [^\n]*$")).size(),
             problems);
}

void TestLastingSettings::start(const QStringList& arguments, bool fixedPorts) {
    servers.reset();
    settings.reset();  // as the program ends
    QCOMPARE(w.start(fixedPorts), QString());
    const auto line = app::parseCommandLine(QStringList{"morvane-control"} + arguments);
    QVERIFY(std::holds_alternative<app::CommandLine>(line));
    settings = std::make_unique<app::LastingSettings>(app::settingsFilePath(), w.window->session(),
                                                      std::get<app::CommandLine>(line));
    remote::ServerChoices run = settings->serversForThisRun();
    if (!fixedPorts) {
        run.alpaca.port = run.alpacaDiscoveryPort = run.stellarium.port = 0;  // any free ones
    }
    servers =
        std::make_unique<app::RemoteServers>(run, settings->setupContext(), w.window->session());
    QCOMPARE(servers->start(), QStringList());
}

QJsonObject TestLastingSettings::call(const QByteArray& verb, const QString& member,
                                      const QByteArray& form) {
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/telescope/0/%2")
                                     .arg(servers->alpaca()->httpPort())
                                     .arg(member)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    std::unique_ptr<QNetworkReply> reply(verb == "GET" ? nam.get(request) : nam.put(request, form));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    return finished.wait(5000) ? QJsonDocument::fromJson(reply->readAll()).object() : QJsonObject();
}

void TestLastingSettings::keptFromOneStartToTheNext() {
    QSettings file(app::settingsFilePath(), QSettings::IniFormat);
    start({"--site=51.5,-0.25,45", "--alpaca-listen=127.0.0.1"});
    file.sync();
    QCOMPARE(file.value("site/latitude").toDouble(), 51.5);
    QVERIFY(!file.contains("alpaca/listen") && !file.contains("alpaca/enabled"));

    start({"--alpaca"});
    QCOMPARE(call("GET", "sitelatitude").value("Value").toDouble(), 51.5);
    QCOMPARE(call("PUT", "sitelongitude", "SiteLongitude=7.25").value("ErrorNumber"), 0);
    file.setValue("horizon/limit", 10);
    file.sync();

    start({"--alpaca"});
    QCOMPARE(call("GET", "sitelongitude").value("Value").toDouble(), 7.25);
    QCOMPARE(call("PUT", "connected", "Connected=true").value("ErrorNumber"), 0);
    QCOMPARE(call("PUT", "tracking", "Tracking=false").value("ErrorNumber"), 0);
    const QJsonObject low = call("PUT", "slewtoaltazasync", "Azimuth=180&Altitude=5");
    QCOMPARE(low.value("ErrorNumber"), 0x40B);
    QVERIFY(low.value("ErrorMessage").toString().contains("below the horizon limit of 10"));
    QVERIFY(!w.sim->received().contains('R'));
    QCOMPARE(call("PUT", "slewtoaltazasync", "Azimuth=180&Altitude=20").value("ErrorNumber"), 0);
    QTRY_VERIFY(w.sim->received().contains('R'));
}

// One WebDriver command; its reply's value.
QJsonValue TestLastingSettings::webDriver(const QByteArray& verb, const QString& path,
                                          const QJsonObject& body) {
    QNetworkRequest request(QUrl(driver + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    std::unique_ptr<QNetworkReply> reply(
        verb == "GET" ? nam.get(request)
                      : nam.sendCustomRequest(request, verb, QJsonDocument(body).toJson()));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    finished.wait(60000);  // the page is served meanwhile, from this event loop
    return QJsonDocument::fromJson(reply->readAll()).object().value("value");
}

QString TestLastingSettings::element(const QString& css) {
    const QJsonObject found =
        webDriver("POST", "/element", {{"using", "css selector"}, {"value", css}}).toObject();
    return "/element/" + found.value("element-6066-11e4-a52e-4f735466cecf").toString();
}

// Change the site and the horizon limit on the page, save, read them back
// through Alpaca, and find them on the page again after a reload.
// MORVANE_SETUP_SCREENSHOT=FILE.png also keeps the browser's picture of it.
void TestLastingSettings::setupPageInBrowser() {
    const QString chromium = QStandardPaths::findExecutable("chromium");
    const QString chromedriver = QStandardPaths::findExecutable("chromedriver");
    if (chromium.isEmpty() || chromedriver.isEmpty()) {
        QSKIP("chromium or chromedriver is missing (scripts/install-deps brings them).");
    }
    const QString screenshot = qEnvironmentVariable("MORVANE_SETUP_SCREENSHOT");
    QFile::remove(app::settingsFilePath());  // the limit off, as for a new user
    start({"--alpaca", "--stellarium", "--site=-41.3,174.78,20"}, !screenshot.isEmpty());
    // The browser is started here and chromedriver attached to it by address:
    // left to start it, chromedriver reaches it by the name "localhost", which
    // a bare root without /etc/hosts cannot resolve.
    QTemporaryDir profile;
    const QString arguments =
        "--headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update "
        "--disable-sync --window-size=480,2200 --hide-scrollbars "
        "--remote-debugging-address=127.0.0.1 --remote-debugging-port=0 "
        "about:blank --user-data-dir=" +
        profile.path();
    QProcess browser;
    QProcess chromedriverProcess;
    const auto quit = qScopeGuard([&] {  // whatever happened
        if (driver.contains("/session/")) {
            webDriver("DELETE", "");
        }
        for (QProcess* process : {&chromedriverProcess, &browser}) {
            process->terminate();
            process->waitForFinished(10000);
        }
    });
    browser.start(chromium, arguments.split(' '));
    QByteArray browserSaid;
    const QByteArray listening = "DevTools listening on ws://";
    QTRY_VERIFY2_WITH_TIMEOUT((browserSaid += browser.readAllStandardError()).contains(listening),
                              browserSaid.constData(), 30000);
    const QByteArray devTools = browserSaid.mid(browserSaid.indexOf(listening) + listening.size());
    chromedriverProcess.start(chromedriver, {"--port=0"});
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT(
        (said += chromedriverProcess.readAllStandardOutput()).contains("successfully on port "),
        20000);
    driver = "http://127.0.0.1:" + said.split(' ').last().split('.').first() + "/session";
    const QJsonObject chrome{{"debuggerAddress", QString(devTools.left(devTools.indexOf('/')))}};
    const QJsonObject capabilities{{"alwaysMatch", QJsonObject{{"goog:chromeOptions", chrome}}}};
    const QString sessionId = webDriver("POST", "", {{"capabilities", capabilities}})
                                  .toObject()
                                  .value("sessionId")
                                  .toString();
    QVERIFY2(!sessionId.isEmpty(), "chromedriver could not attach to the browser");
    driver += "/" + sessionId;
    const QString page = QStringLiteral("http://127.0.0.1:%1/setup/v1/telescope/0/setup")
                             .arg(servers->alpaca()->httpPort());
    webDriver("POST", "/url", {{"url", page}});
    webDriver("POST", element("#horizonOn") + "/click");
    for (const auto& [field, text] : {std::pair{"#latitude", "-41.29"}, {"#horizonLimit", "15"}}) {
        webDriver("POST", element(field) + "/clear");
        webDriver("POST", element(field) + "/value", {{"text", text}});
    }
    webDriver("POST", element("#save") + "/click");
    QString status;
    QTRY_VERIFY2_WITH_TIMEOUT(
        (status = webDriver("GET", element("#status") + "/text").toString()).startsWith("Saved."),
        qPrintable(status), 20000);
    QCOMPARE(call("GET", "sitelatitude").value("Value").toDouble(), -41.29);
    QCOMPARE(w.window->session().horizonLimit().value_or(0), 15.0);
    if (!screenshot.isEmpty()) {
        // The whole page: its height, and what the window adds to it.
        const QJsonObject height{{"script",
                                  "return document.documentElement.scrollHeight + "
                                  "outerHeight - innerHeight"},
                                 {"args", QJsonArray()}};
        webDriver("POST", "/window/rect",
                  {{"width", 480}, {"height", webDriver("POST", "/execute/sync", height)}});
        QFile png(screenshot);
        QVERIFY(png.open(QIODevice::WriteOnly));
        png.write(QByteArray::fromBase64(webDriver("GET", "/screenshot").toString().toLatin1()));
    }
    webDriver("POST", "/refresh");
    QCOMPARE(webDriver("GET", element("#latitude") + "/property/value").toString(), "-41.29");
    QCOMPARE(webDriver("GET", element("#horizonOn") + "/property/checked"), true);
}

QTEST_MAIN(TestLastingSettings)
#include "test_lasting_settings.moc"
