#include "simulator/simulated_mount.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cctype>
#include <memory>

using namespace morvane::sim;
using namespace std::chrono_literals;

class PtyMountTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void answersThePositionOverTheLine();
    void answersThroughFaults_data();
    void answersThroughFaults();
    void garbageCannotPassForAnAnswer();
    void vanishesAfterCommands();
    void vanishesInTheMiddleOfACommand();
    void linkFollowsTheDevice();

private:
    bool openPort(const QString& path);
    void send(const QByteArray& bytes);
    // Waits, in the event loop, until at least count bytes have arrived.
    bool waitForBytes(qsizetype count, std::chrono::milliseconds limit = 2s);

    std::unique_ptr<SimulatedMount> m_mount;
    std::unique_ptr<QSerialPort> m_port;
    QByteArray m_arrived;
    int m_reads = 0;
    QList<QSerialPort::SerialPortError> m_errors;
    QElapsedTimer m_sentAt;
    qint64 m_completeAfterMs = -1;
    qsizetype m_expectedSize = 0;
};

void PtyMountTest::init() {
    m_mount = std::make_unique<SimulatedMount>();
    QString error;
    QVERIFY2(m_mount->start(&error), qPrintable(error));
    QVERIFY(openPort(m_mount->devicePath()));
}

void PtyMountTest::cleanup() {
    m_port.reset();
    m_mount.reset();
    m_arrived.clear();
    m_reads = 0;
    m_errors.clear();
    m_completeAfterMs = -1;
    m_expectedSize = 0;
}

bool PtyMountTest::openPort(const QString& path) {
    m_port = std::make_unique<QSerialPort>();
    m_port->setPortName(path);
    m_port->setBaudRate(QSerialPort::Baud9600);
    connect(m_port.get(), &QSerialPort::readyRead, this, [this] {
        m_arrived += m_port->readAll();
        ++m_reads;
        if (m_completeAfterMs < 0 && m_expectedSize > 0 && m_arrived.size() >= m_expectedSize) {
            m_completeAfterMs = m_sentAt.elapsed();
        }
    });
    // A vanished device keeps reporting errors while the port is open; close
    // at the first, as the program does.
    connect(m_port.get(), &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) {
                if (error == QSerialPort::NoError) {
                    return;
                }
                m_errors << error;
                if (m_port->isOpen()) {
                    m_port->close();
                }
            });
    return m_port->open(QIODevice::ReadWrite);
}

void PtyMountTest::send(const QByteArray& bytes) {
    m_sentAt.start();
    QCOMPARE(m_port->write(bytes), bytes.size());
}

bool PtyMountTest::waitForBytes(qsizetype count, std::chrono::milliseconds limit) {
    QSignalSpy spy(m_port.get(), &QSerialPort::readyRead);
    QDeadlineTimer deadline(limit);
    while (m_arrived.size() < count && !deadline.hasExpired()) {
        spy.wait(int(std::max<qint64>(1, deadline.remainingTime())));
    }
    return m_arrived.size() >= count;
}

void PtyMountTest::answersThePositionOverTheLine() {
    m_mount->setPosition(0x34AB, 0x12CE);
    send("E");
    QVERIFY(waitForBytes(10));
    QCOMPARE(m_arrived, QByteArray("34AB,12CE#"));
    QCOMPARE(m_mount->received(), QByteArray("E"));
    QCOMPARE(m_mount->log().size(), 1);
    QCOMPARE(m_mount->log()[0].meaning, QStringLiteral("position query"));

    // Every byte value crosses unchanged, both ways.
    QByteArray everyByte(256, '\0');
    for (int i = 0; i < 256; ++i) {
        everyByte[i] = char(i);
    }
    m_arrived.clear();
    m_mount->inject(everyByte);
    QVERIFY(waitForBytes(256));
    QCOMPARE(m_arrived, everyByte);
    const QByteArray clock("H\x11\x13\x0A\x0A\x0D\x00\x09\x00\x01", 10);  // XON, XOFF, LF, CR
    send(clock);
    QTRY_COMPARE_WITH_TIMEOUT(m_mount->received(), QByteArray("E") + clock, 2000);
    QCOMPARE(m_mount->log().last().kind, CommandKind::Command);
}

void PtyMountTest::answersThroughFaults_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QByteArray>("reply");  // empty: nothing at all arrives
    QTest::addColumn<int>("minElapsedMs");
    QTest::addColumn<int>("minReads");

    QTest::newRow("none") << Fault::None << QByteArray("E") << 0 << QByteArray("34AB,12CE#") << 0
                          << 1;
    QTest::newRow("late") << Fault::None << QByteArray("E") << 150 << QByteArray("34AB,12CE#")
                          << 150 << 1;
    // Ten bytes at 1.04 ms each. How many reads they arrive in depends on how
    // promptly this process is scheduled, so only the time is a firm bound.
    QTest::newRow("paced") << Fault::Paced << QByteArray("E") << 0 << QByteArray("34AB,12CE#") << 10
                           << 1;
    QTest::newRow("split") << Fault::Split << QByteArray("E") << 0 << QByteArray("34AB,12CE#") << 80
                           << 2;
    QTest::newRow("never arrives")
        << Fault::NeverArrives << QByteArray("L") << 0 << QByteArray("1#") << 0 << 1;
    QTest::newRow("silent") << Fault::Silent << QByteArray("E") << 0 << QByteArray() << 0 << 0;
}

void PtyMountTest::answersThroughFaults() {
    QFETCH(Fault, fault);
    QFETCH(QByteArray, command);
    QFETCH(int, delayMs);
    QFETCH(QByteArray, reply);
    QFETCH(int, minElapsedMs);
    QFETCH(int, minReads);

    m_mount->setPosition(0x34AB, 0x12CE);
    m_mount->setFault(fault);
    m_mount->setReplyDelay(std::chrono::milliseconds(delayMs));
    m_mount->setSplitGap(40ms);
    m_expectedSize = reply.size();
    send(command);

    if (reply.isEmpty()) {
        QSignalSpy spy(m_port.get(), &QSerialPort::readyRead);
        QVERIFY(!spy.wait(300));
        QCOMPARE(m_mount->received(), command);
        return;
    }
    QVERIFY(waitForBytes(reply.size()));
    QCOMPARE(m_arrived, reply);
    QVERIFY2(m_completeAfterMs >= minElapsedMs, qPrintable(QString::number(m_completeAfterMs)));
    QVERIFY2(m_reads >= minReads, qPrintable(QString::number(m_reads)));
}

void PtyMountTest::garbageCannotPassForAnAnswer() {
    m_mount->setFault(Fault::Garbage);
    send("E");
    QVERIFY(waitForBytes(10));
    send("L");
    QVERIFY(waitForBytes(12));
    QCOMPARE(m_arrived.size(), 12);
    for (char c : std::as_const(m_arrived)) {
        // No field digit, no arrival '0', no separator or terminator.
        QVERIFY2(!std::isxdigit(static_cast<unsigned char>(c)) && c != ',' && c != '#',
                 m_arrived.constData());
    }
}

void PtyMountTest::vanishesAfterCommands() {
    m_mount->setVanishAfterCommands(2);
    QSignalSpy vanished(m_mount.get(), &SimulatedMount::vanished);
    const QString device = m_mount->devicePath();

    send("E");
    QVERIFY(waitForBytes(10));
    send("L");
    QVERIFY(vanished.wait(2000));
    QTRY_VERIFY_WITH_TIMEOUT(m_errors.contains(QSerialPort::ResourceError), 2000);
    QCOMPARE(m_arrived.size(), 10);  // the second command went unanswered
    QVERIFY(!QFileInfo::exists(device));
    QCOMPARE(m_mount->log().last().meaning, QStringLiteral("goto status query"));
    QVERIFY(!m_mount->isRunning());
}

void PtyMountTest::vanishesInTheMiddleOfACommand() {
    m_mount->setVanishAfterBytes(3);
    QSignalSpy vanished(m_mount.get(), &SimulatedMount::vanished);

    send("R3B79,FC2C");
    QVERIFY(vanished.wait(2000));
    QTRY_VERIFY_WITH_TIMEOUT(m_errors.contains(QSerialPort::ResourceError), 2000);
    QCOMPARE(m_mount->received(), QByteArray("R3B"));
    QCOMPARE(m_mount->log().size(), 1);
    QCOMPARE(m_mount->log()[0].kind, CommandKind::Partial);
    QCOMPARE(m_mount->log()[0].bytes, QByteArray("R3B"));
}

void PtyMountTest::linkFollowsTheDevice() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("mount"));
    QVERIFY(m_mount->makeLink(link));
    QCOMPARE(QFileInfo(link).symLinkTarget(), m_mount->devicePath());

    m_port.reset();
    QVERIFY(openPort(link));
    send("E");
    QVERIFY(waitForBytes(10));

    // Someone else's file is never replaced by a link.
    const QString taken = dir.filePath(QStringLiteral("taken"));
    QFile file(taken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QString error;
    QVERIFY(!m_mount->makeLink(taken, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFileInfo(taken).isSymLink());

    QSignalSpy vanished(m_mount.get(), &SimulatedMount::vanished);
    m_mount->stop();
    QCOMPARE(vanished.size(), 1);
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(PtyMountTest)
#include "tst_pty_mount.moc"
