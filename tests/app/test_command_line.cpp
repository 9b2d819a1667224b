// The command line: which servers start where, over what the settings file
// keeps, and one clear line for a value the program cannot use.
#include "app/command_line.h"

#include <QTest>

using morvane::app::CommandLine;

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void options_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("expected");  // servers and site, or the error's start
        const QString none = QStringLiteral("- - 0,0,0");
        QTest::newRow("nothing") << "" << none;
        QTest::newRow("servers kept, nothing given") << ""
                                                     << "- 127.0.0.1:10005 0,0,0";
        QTest::newRow("servers kept, the port given wins")
            << "--alpaca-port=8080 --stellarium-listen=::1"
            << "0.0.0.0:8080 ::1:10005 0,0,0";
        QTest::newRow("alpaca") << "--alpaca"
                                << "127.0.0.1:11111 - 0,0,0";
        QTest::newRow("port asks for it") << "--alpaca-port=8080"
                                          << "127.0.0.1:8080 - 0,0,0";
        QTest::newRow("another address") << "--alpaca-listen=::1 --stellarium"
                                         << "::1:11111 127.0.0.1:10001 0,0,0";
        QTest::newRow("stellarium port") << "--stellarium-port=10002"
                                         << "- 127.0.0.1:10002 0,0,0";
        QTest::newRow("site") << "--site=51.5,-0.25,45"
                              << "- - 51.5,-0.25,45";
        QTest::newRow("site without elevation") << "--site=-33.9,18.4"
                                                << "- - -33.9,18.4,0";
        QTest::newRow("port zero") << "--alpaca-port=0"
                                   << "--alpaca-port=0: not a port";
        QTest::newRow("port too big") << "--stellarium-port=65536"
                                      << "--stellarium-port=65536: not";
        QTest::newRow("listen not an address") << "--stellarium-listen=localhost"
                                               << "--stellarium-listen=localhost: not an IP";
        QTest::newRow("latitude") << "--site=91,0"
                                  << "--site=91,0: the latitude";
        QTest::newRow("longitude") << "--site=0,181"
                                   << "--site=0,181: the longitude";
        QTest::newRow("site not numbers") << "--site=north,east"
                                          << "--site=north,east: expected";
        QTest::newRow("site nan") << "--site=nan,0"
                                  << "--site=nan,0: expected";
        QTest::newRow("quit after") << "--quit-after=20"
                                    << "- - 0,0,0 quit 20";
        QTest::newRow("quit after nothing") << "--quit-after=0"
                                            << "--quit-after=0: not a number of seconds";
        QTest::newRow("quit after a word") << "--quit-after=soon"
                                           << "--quit-after=soon: not a number of seconds";
        QTest::newRow("unknown") << "--bogus"
                                 << "Unknown option 'bogus'";
    }
    void options() {
        QFETCH(QString, arguments);
        QFETCH(QString, expected);
        // Rows "servers kept": the file keeps Alpaca off on 0.0.0.0:12000, Stellarium on 10005.
        const bool kept = QByteArray(QTest::currentDataTag()).startsWith("servers kept");
        QStringList list{QStringLiteral("morvane-control")};
        list << arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const auto parsed = morvane::app::parseCommandLine(list);
        if (const auto* error = std::get_if<QString>(&parsed)) {
            QVERIFY2(error->startsWith(expected), qPrintable(*error));
            return;
        }
        const CommandLine& line = std::get<CommandLine>(parsed);
        morvane::remote::ServerChoices file;
        if (kept) {
            file.alpaca = {false, QHostAddress(QHostAddress::AnyIPv4), 12000};
            file.stellarium = {true, QHostAddress(QHostAddress::LocalHost), 10005};
        }
        const auto servers = morvane::app::serversForThisRun(file, line);
        const auto site = line.site.value_or(morvane::operations::Site{});
        const auto server = [](const morvane::remote::ServerChoice& s) {
            return s.enabled ? QStringLiteral("%1:%2").arg(s.address.toString()).arg(s.port)
                             : QStringLiteral("-");
        };
        QCOMPARE(
            QStringLiteral("%1 %2 %3,%4,%5")
                    .arg(server(servers.alpaca), server(servers.stellarium))
                    .arg(site.latitude)
                    .arg(site.longitude)
                    .arg(site.elevation) +
                (line.quitAfterSeconds > 0 ? QStringLiteral(" quit %1").arg(line.quitAfterSeconds)
                                           : QString()),
            expected);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
