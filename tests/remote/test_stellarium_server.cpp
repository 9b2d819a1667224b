// Stellarium's clients over TCP on 127.0.0.1 to the server, which shares the
// window's session: the window's port is a pseudo-terminal to the simulator.
#include "operations/arrival_watch.h"
#include "operations/mount_session.h"
#include "remote/stellarium_server.h"
#include "tests/support/window_on_simulator.h"

#include <QDataStream>
#include <QDateTime>
#include <QSignalSpy>
#include <QTcpSocket>

using namespace morvane;
using namespace morvane::testing;
using namespace std::chrono_literals;
using Clients = std::vector<std::unique_ptr<QTcpSocket>>;

namespace {

QByteArray message(quint16 length, quint16 type, quint32 ra = 0, qint32 dec = 0) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << length << type << qint64(0) << ra << dec;
    return bytes.leftJustified(qMax(int(length), 4), '\x7F', true);  // the header at least
}

QByteArray gotoMessage(quint32 ra, qint32 dec) {
    return message(20, 0, ra, dec);
}

}  // namespace

class TestStellariumServer : public QObject {
    Q_OBJECT
private slots:
    void gotoReachesTheMount_data();
    void gotoReachesTheMount();
    void positionOnceASecondFromOneReading_data();
    void positionOnceASecondFromOneReading();
    void noPositionWithoutAReading_data();
    void noPositionWithoutAReading();
    void closedPortRefusesAndTellsOnce();
    void longestIdleMakesRoom();

private:
    void start(bool open = true) {
        QCOMPARE(w.start(open), QString());
        server = std::make_unique<remote::StellariumServer>(w.window->session());
        server->setLimits({.interval = 100ms, .readingAge = 50ms});
        QCOMPARE(server->listen(QHostAddress::LocalHost, 0), std::nullopt);
    }
    // Connected, and known to the server.
    void connectClients(Clients& clients, int count) {
        for (int i = 0; i < count; ++i) {
            clients.push_back(std::make_unique<QTcpSocket>());
            clients.back()->connectToHost(QHostAddress::LocalHost, server->port());
            QVERIFY(clients.back()->waitForConnected(5000));
        }
        QTRY_COMPARE(server->clientCount(), int(clients.size()));
    }

    WindowOnSimulator w;
    std::unique_ptr<remote::StellariumServer> server;
};

void TestStellariumServer::gotoReachesTheMount_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArrayList>("commands");  // at the mount
    QTest::addColumn<QString>("boxes");            // the window's Set Coordinate boxes
    QTest::addColumn<bool>("stays");               // the connection stays open
    QTest::newRow("0 h, +90") << gotoMessage(0, 0x40000000) << QByteArrayList{"R0000,4000"}
                              << "00 00 00 + 90 00" << true;
    QTest::newRow("23h59m59.9s rounds to 0 h, -90")
        << gotoMessage(0xFFFFEC95, -0x40000000) << QByteArrayList{"R0000,C000"}
        << "00 00 00 - 90 00" << true;
    QTest::newRow("ties to even") << gotoMessage(0x3B798000, -0x18000)
                                  << QByteArrayList{"R3B7A,FFFE"}
                                  << "05 34 33.33984375 - 00 00.6591796875" << true;
    QTest::newRow("unknown TYPE and LENGTH skipped, then a goto")
        << message(20, 1, 0x10000) + message(256, 7) + gotoMessage(0x80007FFF, 0x17FFF)
        << QByteArrayList{"R8000,0001"} << "12 00 00 + 00 00.32958984375" << true;
    QTest::newRow("a burst: the first goes, the latest waits")
        << gotoMessage(0, 0) + gotoMessage(0x10000, 0) + gotoMessage(0x20000, 0)
        << QByteArrayList{"R0000,0000", "R0002,0000"} << "00 00 02.63671875 + 00 00" << true;
    QTest::newRow("beyond the pole: refused")
        << gotoMessage(0, 0x40000001) << QByteArrayList() << "" << true;
    QTest::newRow("LENGTH 3: closed")
        << message(3, 0) + gotoMessage(0, 0) << QByteArrayList() << "" << false;
    QTest::newRow("LENGTH 300: closed")
        << message(300, 0) + gotoMessage(0, 0) << QByteArrayList() << "" << false;
}

void TestStellariumServer::gotoReachesTheMount() {
    QFETCH(QByteArray, stream);
    QFETCH(QByteArrayList, commands);
    QFETCH(QString, boxes);
    QFETCH(bool, stays);
    start();
    Clients clients;
    connectClients(clients, 1);
    w.sim->clearHistory();
    const auto gotosHeard = [this] {
        QByteArrayList gotos;
        for (const sim::LogEntry& entry : w.sim->log()) {
            if (entry.bytes.startsWith('R')) {
                gotos << entry.bytes;
            }
        }
        return gotos;
    };
    clients[0]->write(stream);
    if (!commands.isEmpty()) {
        QTRY_COMPARE(gotosHeard(), commands);
        QCOMPARE(w.entry(kGotoBoxes).join(' '), boxes);
        QVERIFY(w.window->session().arrivalWatch().isSlewing());
    }
    // A goto after the stream (from another client once this one is closed)
    // is the last the mount hears: nothing the stream held came after it.
    if (!stays) {
        QTRY_COMPARE(server->clientCount(), 0);
        clients.clear();
        connectClients(clients, 1);
    }
    clients.back()->write(gotoMessage(0x40000000, 0));
    QTRY_VERIFY(gotosHeard().contains("R4000,0000"));
    QCOMPARE(gotosHeard(), commands << "R4000,0000");
    QVERIFY(w.prompter.messages.isEmpty());
}

void TestStellariumServer::positionOnceASecondFromOneReading_data() {
    QTest::addColumn<quint16>("ra");
    QTest::addColumn<quint16>("dec");
    QTest::newRow("5h34m, -5d23'") << quint16(0x3B79) << quint16(0xFC2C);
    QTest::newRow("last word before 24 h, +90") << quint16(0xFFFF) << quint16(0x4000);
    QTest::newRow("0 h, -90") << quint16(0x0000) << quint16(0xC000);
}

// Every message is a reading of its own, and one reading serves all clients.
void TestStellariumServer::positionOnceASecondFromOneReading() {
    QFETCH(quint16, ra);
    QFETCH(quint16, dec);
    start();
    w.sim->setPosition(ra, dec);
    w.sim->clearHistory();
    const qint64 before = QDateTime::currentMSecsSinceEpoch() * 1000;
    Clients clients;
    connectClients(clients, 2);
    constexpr int kMessages = 4;
    QTRY_VERIFY(clients[0]->bytesAvailable() >= 24 * kMessages &&
                clients[1]->bytesAvailable() >= 24 * kMessages);
    const qint64 after = QDateTime::currentMSecsSinceEpoch() * 1000;
    const qsizetype readings = w.sim->received().count('E');
    for (const auto& client : clients) {
        QDataStream in(client->readAll());
        in.setByteOrder(QDataStream::LittleEndian);
        qint64 previous = before - 2000;  // the reading's time is counted in milliseconds
        int count = 0;
        for (; !in.atEnd(); ++count) {
            quint16 length, type;
            qint64 time;
            quint32 rightAscension;
            qint32 declination, status;
            in >> length >> type >> time >> rightAscension >> declination >> status;
            QCOMPARE(length, 24);
            QCOMPARE(type, 0);
            QVERIFY(time > previous && time <= after);
            QCOMPARE(rightAscension, quint32(ra) << 16);
            QCOMPARE(declination, qint16(dec) * 65536);
            QCOMPARE(status, 0);
            previous = time;
        }
        // A reading may still be on its way to the clients.
        QVERIFY2(readings >= count && readings <= count + 2, qPrintable(QString::number(readings)));
    }
}

void TestStellariumServer::noPositionWithoutAReading_data() {
    QTest::addColumn<bool>("open");
    QTest::addColumn<sim::Fault>("fault");
    QTest::newRow("port closed") << false << sim::Fault::None;
    QTest::newRow("mount silent") << true << sim::Fault::Silent;
    QTest::newRow("garbage reply") << true << sim::Fault::Garbage;
}

void TestStellariumServer::noPositionWithoutAReading() {
    QFETCH(bool, open);
    QFETCH(sim::Fault, fault);
    start(open);
    w.shortenLimits(200ms, 1s);
    w.sim->setFault(fault);
    Clients clients;
    connectClients(clients, 1);
    if (open) {
        // Once the second query is out, the first reading has failed.
        QTRY_VERIFY(w.sim->received().count('E') >= 2);
    } else {
        QVERIFY(!QSignalSpy(clients[0].get(), &QTcpSocket::readyRead).wait(400));
        QVERIFY(w.sim->received().isEmpty());
        w.click("Command1");
    }
    QCOMPARE(clients[0]->bytesAvailable(), 0);
    // Once the mount answers, the positions come.
    w.sim->setFault(sim::Fault::None);
    QTRY_VERIFY(clients[0]->bytesAvailable() >= 24);
    QVERIFY(w.prompter.messages.isEmpty());
}

// Refused without a byte on the wire, the window told once while the port
// stays closed, the connection kept; told again after the next closing.
void TestStellariumServer::closedPortRefusesAndTellsOnce() {
    start(false);
    Clients clients;
    connectClients(clients, 1);
    clients[0]->write(gotoMessage(0x80000000, 0));
    QTRY_COMPARE(w.prompter.messages.size(), 1);
    QVERIFY(w.prompter.messages[0].contains("Stellarium asked for a goto, but Port 1 ("));
    QCOMPARE(server->clientCount(), 1);
    // LENGTH 3 closes the connection once the goto before it has been read.
    clients[0]->write(gotoMessage(0x80000000, 0) + message(3, 0));
    QTRY_COMPARE(server->clientCount(), 0);
    QCOMPARE(w.prompter.messages.size(), 1);
    QVERIFY(w.sim->received().isEmpty());

    w.click("Command1");
    w.click("Command2");
    clients.clear();
    connectClients(clients, 1);
    clients.back()->write(gotoMessage(0x80000000, 0));
    QTRY_COMPARE(w.prompter.messages.size(), 2);
    QVERIFY(w.sim->received().isEmpty());
}

// Beyond the cap a new client is served, and the one silent longest closed.
void TestStellariumServer::longestIdleMakesRoom() {
    start(false);
    Clients clients;
    connectClients(clients, 32);
    clients[0]->write(gotoMessage(0, 0));  // heard: the window is told
    QTRY_COMPARE(w.prompter.messages.size(), 1);
    clients.push_back(std::make_unique<QTcpSocket>());
    clients.back()->connectToHost(QHostAddress::LocalHost, server->port());
    QTRY_COMPARE(clients[1]->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(server->clientCount(), 32);
    QCOMPARE(clients[0]->state(), QAbstractSocket::ConnectedState);
    QCOMPARE(clients.back()->state(), QAbstractSocket::ConnectedState);
}

QTEST_MAIN(TestStellariumServer)
#include "test_stellarium_server.moc"
