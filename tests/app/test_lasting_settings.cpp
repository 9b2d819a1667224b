// The settings that last: what a damaged file still gives, and, from
// outside over Alpaca, a site and a horizon limit kept from one start to the
// next while the command line's server options are not.
#include "app/lasting_settings.h"
#include "app/remote_servers.h"
#include "remote/alpaca_server.h"
#include "tests/support/window_on_simulator.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace morvane;

class TestLastingSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(home.isValid());  // never the user's own file
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    }
    void damagedValuesAreLeftOut_data();
    void damagedValuesAreLeftOut();
    void keptFromOneStartToTheNext();

private:
    void start(const QStringList& arguments);
    QJsonObject call(const QByteArray& verb, const QString& member, const QByteArray& form = {});

    QTemporaryDir home;
    testing::WindowOnSimulator w;
    std::unique_ptr<app::LastingSettings> settings;
    std::unique_ptr<app::RemoteServers> servers;
    QNetworkAccessManager nam;
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
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(file) == file.size());
    out.close();
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
    QCOMPARE(lines.size(), problems);
    for (const QString& line : lines) {
        QVERIFY2(line.startsWith("settings file " + path + ": ") && !line.contains('\n'),
                 qPrintable(line));
    }
}

void TestLastingSettings::start(const QStringList& arguments) {
    servers.reset();
    settings.reset();  // as the program ends
    QCOMPARE(w.start(false), QString());
    const auto line = app::parseCommandLine(QStringList{"morvane-control"} + arguments);
    QVERIFY(std::holds_alternative<app::CommandLine>(line));
    settings = std::make_unique<app::LastingSettings>(app::settingsFilePath(), w.window->session(),
                                                      std::get<app::CommandLine>(line));
    remote::ServerChoices run = settings->serversForThisRun();
    run.alpaca.port = run.alpacaDiscoveryPort = 0;  // any free ones
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
    QVERIFY2(low.value("ErrorMessage").toString().contains("below the horizon limit of 10"),
             qPrintable(low.value("ErrorMessage").toString()));
    QVERIFY(!w.sim->received().contains('R'));
    QCOMPARE(call("PUT", "slewtoaltazasync", "Azimuth=180&Altitude=20").value("ErrorNumber"), 0);
    QTRY_VERIFY(w.sim->received().contains('R'));
}

QTEST_MAIN(TestLastingSettings)
#include "test_lasting_settings.moc"
