// Discovery by broadcast and multicast, in a private network namespace the
// test makes for itself, so that nothing it sends can leave: this computer
// with a network card (one end of a veth pair), another computer in a
// second namespace on the other end.
#include "operations/mount_session.h"
#include "remote/alpaca_discovery.h"
#include "remote/alpaca_server.h"

#include <sched.h>
#include <QJsonDocument>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace morvane;

class TestAlpacaDiscovery : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void answers_data();
    void answers();

private:
    // Holds the other computer's namespace. It ends with this test (killed, or
    // its input closed), and the namespace and the veth pair go with it.
    QProcess m_other;
    QString m_pid;
};

void TestAlpacaDiscovery::initTestCase() {
    if (QStandardPaths::findExecutable("ip").isEmpty() || ::unshare(CLONE_NEWNET) != 0) {
        QSKIP(
            "No private network can be made here (it needs root and iproute2): discovery "
            "by broadcast is not tested, and nothing is broadcast.");
    }
    m_other.start("unshare", {"--net", "sh", "-c", "echo; exec cat"});
    QVERIFY(m_other.waitForReadyRead(10000));  // in its own namespace by then
    m_pid = QString::number(m_other.processId());
    QCOMPARE(QProcess::execute(
                 "sh", {"-c", QStringLiteral(
                                  "ip link set lo up && ip link add mvd0 type veth peer name mvd1 "
                                  "netns %1 && ip link set mvd0 addrgenmode none && ip addr add "
                                  "10.200.0.1/24 dev mvd0 && ip addr add fd00:200::1/64 dev mvd0 "
                                  "nodad && ip link set mvd0 up && ip route add default dev mvd0 "
                                  "&& nsenter -t %1 -n sh -c 'ip addr add 10.200.0.2/24 dev mvd1 "
                                  "&& ip link set mvd1 up'")
                                  .arg(m_pid)}),
             0);
}

void TestAlpacaDiscovery::answers_data() {
    QTest::addColumn<QString>("listen");  // --alpaca-listen
    QTest::addColumn<bool>("fromOther");  // sent by the other computer
    QTest::addColumn<QString>("to");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("replyFrom");  // empty: no answer
    const QByteArray q = "alpacadiscovery1";
    QTest::newRow("broadcast") << "127.0.0.1" << false << "255.255.255.255" << q << "127.0.0.1";
    QTest::newRow("network's broadcast")
        << "127.0.0.1" << false << "10.200.0.255" << q << "127.0.0.1";
    QTest::newRow("IPv6 multicast") << "127.0.0.1" << false << "ff12::a1:9aca" << q << "::1";
    QTest::newRow("wrong text") << "127.0.0.1" << false << "255.255.255.255"
                                << QByteArray("alpacadiscovery2") << "";
    QTest::newRow("another computer") << "127.0.0.1" << true << "10.200.0.1" << q << "";
    QTest::newRow("another, server open") << "0.0.0.0" << true << "10.200.0.1" << q << "any";
    QTest::newRow("server on one address")
        << "10.200.0.1" << false << "255.255.255.255" << q << "10.200.0.1";
}

void TestAlpacaDiscovery::answers() {
    QFETCH(QString, listen);
    QFETCH(bool, fromOther);
    QFETCH(QString, to);
    QFETCH(QByteArray, text);
    QFETCH(QString, replyFrom);
    operations::MountSession session;
    remote::AlpacaSettings settings;
    settings.address = QHostAddress(listen);
    settings.port = settings.discoveryPort = 0;
    remote::AlpacaServer server(session, settings);
    QCOMPARE(server.start(), QStringList());
    QSignalSpy heard(server.discovery(), &remote::AlpacaDiscovery::heard);
    if (fromOther) {
        const QString send = QStringLiteral("printf %1 >/dev/udp/%2/%3").arg(text, to);
        QCOMPARE(QProcess::execute("nsenter", {"-t", m_pid, "-n", "bash", "-c",
                                               send.arg(server.discoveryPort())}),
                 0);
        QTRY_COMPARE(heard.size(), 1);
        QCOMPARE(heard[0][0].value<QHostAddress>(), QHostAddress("10.200.0.2"));
        QCOMPARE(heard[0][1].toBool(), !replyFrom.isEmpty());
        return;
    }
    // Then the question by loopback: once that is heard, so was the first.
    const QHostAddress destination(to);
    const bool ipv6 = destination.protocol() == QAbstractSocket::IPv6Protocol;
    const QHostAddress loopback(ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost);
    QUdpSocket client;
    QVERIFY(client.bind(ipv6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4));
    client.setMulticastInterface(QNetworkInterface::interfaceFromName("mvd0"));
    client.writeDatagram(text, destination, server.discoveryPort());
    client.writeDatagram("alpacadiscovery1", loopback, server.discoveryPort());
    QTRY_VERIFY(!heard.isEmpty() && heard.last()[0].value<QHostAddress>() == loopback);
    QCOMPARE(heard.size(), replyFrom.isEmpty() ? 1 : 2);
    QTRY_VERIFY(client.hasPendingDatagrams());
    const QNetworkDatagram reply = client.receiveDatagram();  // to the first, if answered
    QCOMPARE(reply.senderAddress(), QHostAddress(replyFrom.isEmpty() ? listen : replyFrom));
    QCOMPARE(QJsonDocument::fromJson(reply.data())["AlpacaPort"].toInt(), server.httpPort());
}

QTEST_GUILESS_MAIN(TestAlpacaDiscovery)
#include "test_alpaca_discovery.moc"
