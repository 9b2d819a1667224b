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
#include <QtEndian>

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
    return bytes.leftJustified(qMax(int(length), 4), '\0', true);  // the header at least
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
    void positionsOnlyFromNewReadings_data();
    void positionsOnlyFromNewReadings();
    void closedPortTellsOnceAndNewcomersWaitBeyondTheCap();

private:
    void start(bool open = true) {
        QCOMPARE(w.start(open), QString());
        w.shortenLimits(200ms, 1s);
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
    QByteArrayList gotosHeard() const {
        QByteArrayList gotos;
        for (const sim::LogEntry& entry : w.sim->log()) {
            if (entry.bytes.startsWith('R')) {
                gotos << entry.bytes;
            }
        }
        return gotos;
    }

    WindowOnSimulator w;
    std::unique_ptr<remote::StellariumServer> server;
};

void TestStellariumServer::gotoReachesTheMount_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArrayList>("commands");  // at the mount
    QTest::addColumn<bool>("stays");               // the connection stays open
    QTest::newRow("ties to even") << gotoMessage(0x3B798000, -0x18000)
                                  << QByteArrayList{"R3B7A,FFFE"} << true;
    QTest::newRow("unknown TYPE and LENGTH skipped, then a goto")
        << message(20, 1, 0x10000) + message(256, 7) + gotoMessage(0x80007FFF, 0x17FFF)
        << QByteArrayList{"R8000,0001"} << true;
    QTest::newRow("a burst: the first goes, the latest waits; 0 h, +90; 23h59m59.9s, -90")
        << gotoMessage(0, 0x40000000) + gotoMessage(0x10000, 0) +
               gotoMessage(0xFFFFEC95, -0x40000000)
        << QByteArrayList{"R0000,4000", "R0000,C000"} << true;
    // At 50 degrees north with a limit of 30: -30 never rises above 10
    // degrees, +88.6 stays within 2 of 50.
    QTest::newRow("horizon: two below refused, told once; one above goes")
        << gotoMessage(0, -0x15555555) + gotoMessage(0x80000000, -0x15555555) +
               gotoMessage(0, 0x3F000000)
        << QByteArrayList{"R0000,3F00"} << true;
    QTest::newRow("beyond the pole: refused")
        << gotoMessage(0, 0x40000001) << QByteArrayList() << true;
    QTest::newRow("LENGTH 3: closed")
        << message(3, 0) + gotoMessage(0, 0) << QByteArrayList() << false;
    QTest::newRow("LENGTH 300: closed")
        << message(300, 0) + gotoMessage(0, 0) << QByteArrayList() << false;
}

void TestStellariumServer::gotoReachesTheMount() {
    QFETCH(QByteArray, stream);
    QFETCH(QByteArrayList, commands);
    QFETCH(bool, stays);
    start();
    const bool horizon = QByteArray(QTest::currentDataTag()).startsWith("horizon");
    if (horizon) {
        w.window->session().setSite({50, 0, 0});
        w.window->session().setHorizonLimit(30);
    }
    Clients clients;
    connectClients(clients, 1);
    w.sim->clearHistory();
    clients[0]->write(stream);
    if (!commands.isEmpty()) {
        QTRY_COMPARE(gotosHeard(), commands);
        // The boxes show the target: the window's GOTO would send the same.
        const QStringList b = w.entry(kGotoBoxes);
        const auto box = [&b](int i) { return b[i].toStdString(); };
        QCOMPARE(codec::coordinatePair('R', {box(0), box(1), box(2), box(3), box(4), box(5)}).field,
                 commands.last().toStdString());
        QTRY_VERIFY(w.window->session().arrivalWatch().isSlewing());
    }
    // A goto after the stream (from another client once this one is closed)
    // is the last the mount hears: nothing the stream held came after it.
    if (!stays) {
        QTRY_COMPARE(server->clientCount(), 0);
        clients.clear();
        connectClients(clients, 1);
    }
    w.window->session().setHorizonLimit(std::nullopt);
    clients.back()->write(gotoMessage(0x40000000, 0));
    QTRY_VERIFY(gotosHeard().contains("R4000,0000"));
    QCOMPARE(gotosHeard(), commands << "R4000,0000");
    QCOMPARE(w.prompter.messages.size(), horizon ? 1 : 0);
    QVERIFY(!horizon || w.prompter.messages[0].contains("below the horizon limit of 30\u00b0"));
}

void TestStellariumServer::positionsOnlyFromNewReadings_data() {
    QTest::addColumn<bool>("open");
    QTest::addColumn<sim::Fault>("fault");  // until the positions are checked
    QTest::addColumn<quint16>("ra");
    QTest::addColumn<quint16>("dec");
    QTest::newRow("port closed, then last word before 24 h, +90")
        << false << sim::Fault::None << quint16(0xFFFF) << quint16(0x4000);
    QTest::newRow("mount silent, then 0 h, -90")
        << true << sim::Fault::Silent << quint16(0x0000) << quint16(0xC000);
    QTest::newRow("junk replies, then 5h34m, -5d23'")
        << true << sim::Fault::Garbage << quint16(0x3B79) << quint16(0xFC2C);
}

// Nothing without a good reading; then every message is a reading of its own,
// and one reading serves all clients.
void TestStellariumServer::positionsOnlyFromNewReadings() {
    QFETCH(bool, open);
    QFETCH(sim::Fault, fault);
    QFETCH(quint16, ra);
    QFETCH(quint16, dec);
    start(open);
    w.sim->setPosition(ra, dec);
    w.sim->setFault(fault);
    Clients clients;
    connectClients(clients, 2);
    if (!open) {
        QVERIFY(!QSignalSpy(clients[0].get(), &QTcpSocket::readyRead).wait(400));
        w.click("Command1");
    } else if (fault != sim::Fault::None) {
        // Once the second query is out, the first reading has failed.
        QTRY_VERIFY(w.sim->received().count('E') >= 2);
    }
    QCOMPARE(clients[0]->bytesAvailable() + clients[1]->bytesAvailable(), 0);
    w.sim->setFault(sim::Fault::None);
    w.sim->clearHistory();
    const qint64 before = QDateTime::currentMSecsSinceEpoch() * 1000;
    QTRY_VERIFY(clients[0]->bytesAvailable() >= 24 * 4 && clients[1]->bytesAvailable() >= 24 * 4);
    // Read in whole milliseconds, the server's clock in microseconds: a message
    // sent in this same millisecond may carry a time up to 999 us past it.
    const qint64 after = (QDateTime::currentMSecsSinceEpoch() + 1) * 1000;
    const qsizetype readings = w.sim->received().count('E');
    // LENGTH 24, TYPE 0, TIME (zeroed for the comparison), RA, DEC, STATUS 0.
    const QByteArray expected = message(24, 0, quint32(ra) << 16, qint16(dec) * 65536);
    for (const auto& client : clients) {
        const QByteArray bytes = client->readAll();
        qint64 previous = before - 2000;  // the reading's time is counted in milliseconds
        for (qsizetype at = 0; at < bytes.size(); at += 24) {
            const auto time = qFromLittleEndian<qint64>(bytes.constData() + at + 4);
            QCOMPARE(bytes.mid(at, 24).replace(4, 8, QByteArray(8, '\0')), expected);
            QVERIFY(time > previous && time <= after);
            previous = time;
        }
        // A reading may still be on its way to the clients.
        QVERIFY(readings >= bytes.size() / 24 && readings <= bytes.size() / 24 + 2);
    }
    QVERIFY(w.prompter.messages.isEmpty());
    // Once the last client has gone, the mount is asked nothing more.
    clients.clear();
    QTRY_COMPARE(server->clientCount(), 0);
    QSignalSpy heard(w.sim.get(), &sim::SimulatedMount::commandReceived);
    heard.wait(400);  // a reading asked for before they went may still go out
    heard.clear();
    QVERIFY(!heard.wait(600));
}

// A goto with the port closed: no byte on the wire, the window told once
// until the port has been open again, the connection kept. Beyond 32
// clients the newcomer is turned away, not a silent client.
void TestStellariumServer::closedPortTellsOnceAndNewcomersWaitBeyondTheCap() {
    start(false);
    Clients clients;
    connectClients(clients, 32);
    clients[0]->write(gotoMessage(0x80000000, 0));
    QTRY_COMPARE(w.prompter.messages.size(), 1);
    QVERIFY(w.prompter.messages[0].contains("Stellarium asked for a goto, but Port 1 ("));
    clients.push_back(std::make_unique<QTcpSocket>());
    clients.back()->connectToHost(QHostAddress::LocalHost, server->port());
    QTRY_COMPARE(clients.back()->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(server->clientCount(), 32);
    QCOMPARE(clients[1]->state(), QAbstractSocket::ConnectedState);
    // LENGTH 3 closes the connection once the goto before it has been read.
    clients[0]->write(gotoMessage(0x80000000, 0) + message(3, 0));
    QTRY_COMPARE(server->clientCount(), 31);
    QCOMPARE(w.prompter.messages.size(), 1);

    w.click("Command1");
    w.click("Command2");
    clients[2]->write(gotoMessage(0x80000000, 0));
    QTRY_COMPARE(w.prompter.messages.size(), 2);
    QVERIFY(w.sim->received().isEmpty());
}

QTEST_MAIN(TestStellariumServer)
#include "test_stellarium_server.moc"
