#include "simulator/command_parser.h"
#include "simulator/mount_model.h"

#include <QtTest>

using namespace morvane::sim;
using namespace std::chrono_literals;

namespace {

// A model on a hand-stepped clock, fed with commands as they come off the wire.
struct SteppedMount {
    std::chrono::milliseconds time{0};
    MountModel model{[this] { return time; }};

    std::string send(const QByteArray& bytes) {
        CommandParser parser;
        std::string reply;
        for (char byte : bytes) {
            for (const auto& command : parser.feed(std::uint8_t(byte), time)) {
                reply += model.execute(command);
            }
        }
        return reply;
    }
};

}  // namespace

class MountModelTest : public QObject {
    Q_OBJECT

private slots:
    void answersThePosition_data();
    void answersThePosition();
    void gotoTakesItsTime_data();
    void gotoTakesItsTime();
    void syncStopsAGoto();
    void otherCommandsAnswerHash_data();
    void otherCommandsAnswerHash();
    void motorsMoveAtTheirRate();
    void untrackedRightAscensionRunsWithTheSky();
    void clockRunsOnFromWhereItWasSet();
};

void MountModelTest::answersThePosition_data() {
    QTest::addColumn<quint16>("ra");
    QTest::addColumn<quint16>("dec");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("mixed") << quint16(0x34AB) << quint16(0x12CE) << QByteArray("34AB,12CE#");
    QTest::newRow("zero") << quint16(0) << quint16(0) << QByteArray("0000,0000#");
    QTest::newRow("all ones") << quint16(0xFFFF) << quint16(0xFFFF) << QByteArray("FFFF,FFFF#");
    QTest::newRow("south pole") << quint16(0x8000) << quint16(0xC000) << QByteArray("8000,C000#");
}

void MountModelTest::answersThePosition() {
    QFETCH(quint16, ra);
    QFETCH(quint16, dec);
    QFETCH(QByteArray, reply);

    SteppedMount mount;
    mount.model.setPosition(ra, dec);
    QCOMPARE(QByteArray::fromStdString(mount.send("E")), reply);
    mount.time = 10min;  // tracking holds it there
    QCOMPARE(QByteArray::fromStdString(mount.send("E")), reply);
}

void MountModelTest::gotoTakesItsTime_data() {
    QTest::addColumn<quint16>("startRa");
    QTest::addColumn<quint16>("startDec");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<double>("rate");
    QTest::addColumn<int>("arrivalMs");
    QTest::addColumn<QByteArray>("halfway");
    QTest::addColumn<QByteArray>("arrived");

    // 0x2000 is 45 degrees: 9 s at 5 degrees per second. Each axis runs at
    // the full rate, so the shorter one is there first.
    QTest::newRow("goto") << quint16(0) << quint16(0) << QByteArray("R2000,1000") << 5.0 << 9000
                          << QByteArray("1000,1000#") << QByteArray("2000,1000#");
    QTest::newRow("the short way through zero")
        << quint16(0xF000) << quint16(0) << QByteArray("R1000,E000") << 5.0 << 9000
        << QByteArray("0000,F000#") << QByteArray("1000,E000#");
    QTest::newRow("slower rate") << quint16(0) << quint16(0) << QByteArray("R0000,2000") << 2.5
                                 << 18000 << QByteArray("0000,1000#") << QByteArray("0000,2000#");
    QTest::newRow("home") << quint16(0x2000) << quint16(0x1000) << QByteArray("B0000,0000") << 5.0
                          << 9000 << QByteArray("1000,0000#") << QByteArray("0000,0000#");
    // A slow goto crawls at a quarter of the slew rate: 0x1000 is 22.5 degrees.
    QTest::newRow("slow goto RA") << quint16(0) << quint16(0x0100)
                                  << QByteArray("P\x04\x10\x17\x10\x00\x00\x00", 8) << 5.0 << 18000
                                  << QByteArray("0800,0100#") << QByteArray("1000,0100#");
    QTest::newRow("slow goto south")
        << quint16(0x0100) << quint16(0) << QByteArray("P\x04\x11\x17\xF0\x00\x00\x00", 8) << 5.0
        << 18000 << QByteArray("0100,F800#") << QByteArray("0100,F000#");
}

void MountModelTest::gotoTakesItsTime() {
    QFETCH(quint16, startRa);
    QFETCH(quint16, startDec);
    QFETCH(QByteArray, command);
    QFETCH(double, rate);
    QFETCH(int, arrivalMs);
    QFETCH(QByteArray, halfway);
    QFETCH(QByteArray, arrived);

    SteppedMount mount;
    QVERIFY(mount.model.setSlewRate(rate));
    mount.model.setPosition(startRa, startDec);
    QCOMPARE(mount.send("L"), std::string("0#"));
    QCOMPARE(mount.send(command), std::string("#"));
    QCOMPARE(mount.send("L"), std::string("1#"));

    mount.time = std::chrono::milliseconds(arrivalMs / 2);
    QCOMPARE(QByteArray::fromStdString(mount.send("E")), halfway);
    mount.time = std::chrono::milliseconds(arrivalMs - 1);
    QCOMPARE(mount.send("L"), std::string("1#"));
    mount.time = std::chrono::milliseconds(arrivalMs);
    QCOMPARE(mount.send("L"), std::string("0#"));
    QCOMPARE(QByteArray::fromStdString(mount.send("E")), arrived);
    mount.time += 1h;
    QCOMPARE(QByteArray::fromStdString(mount.send("E")), arrived);
}

void MountModelTest::syncStopsAGoto() {
    SteppedMount mount;
    mount.send("R4000,2000");
    mount.time = 2s;
    QCOMPARE(mount.send("S34AB,12CE"), std::string("#"));
    QCOMPARE(mount.send("L"), std::string("0#"));
    mount.time = 1min;
    QCOMPARE(mount.send("E"), std::string("34AB,12CE#"));
}

void MountModelTest::otherCommandsAnswerHash_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("clock") << QByteArray("H\x15\x05\x09\x03\x05\x18\x09\x00\x01", 10)
                           << QByteArray("#");
    QTest::newRow("tracking") << QByteArray("T\x02", 2) << QByteArray("#");
    QTest::newRow("move") << QByteArray("P\x02\x10\x24\x01\x00\x00\x00", 8) << QByteArray("#");
    QTest::newRow("malformed") << QByteArray("R12X") << QByteArray();
    QTest::newRow("unknown") << QByteArray("?") << QByteArray();
}

void MountModelTest::otherCommandsAnswerHash() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);

    SteppedMount mount;
    QCOMPARE(QByteArray::fromStdString(mount.send(command)), reply);
}

void MountModelTest::motorsMoveAtTheirRate() {
    SteppedMount mount;
    mount.send(QByteArray("P\x02\x10\x24\x03\x00\x00\x00", 8));
    mount.send(QByteArray("P\x02\x11\x25\x01\x00\x00\x00", 8));
    QCOMPARE(mount.model.moveRate(MountModel::Axis::RightAscension), 3 * MountModel::kSiderealRate);
    QCOMPARE(mount.model.moveRate(MountModel::Axis::Declination), -MountModel::kSiderealRate);
    QCOMPARE(mount.send("L"), std::string("0#"));  // a move is not a goto

    // One hour at the sidereal rate is 15.04 degrees, 0x0AB2 in words.
    mount.time = 1h;
    QCOMPARE(mount.send("E"), std::string("2016,F54E#"));

    mount.send(QByteArray("P\x02\x11\x24\x00\x00\x00\x00", 8));  // rate 0 stops
    QCOMPARE(mount.model.moveRate(MountModel::Axis::Declination), 0.0);
    mount.time = 2h;
    QCOMPARE(mount.send("E").substr(5), std::string("F54E#"));
}

void MountModelTest::untrackedRightAscensionRunsWithTheSky() {
    SteppedMount mount;
    mount.model.setPosition(0x1000, 0x0800);
    mount.send(QByteArray("T\x00", 2));
    QVERIFY(!mount.model.tracking());
    mount.time = 1h;
    QCOMPARE(mount.send("E"), std::string("1AB2,0800#"));
    mount.send(QByteArray("T\x02", 2));
    mount.time = 5h;
    QCOMPARE(mount.send("E"), std::string("1AB2,0800#"));
}

void MountModelTest::clockRunsOnFromWhereItWasSet() {
    using namespace std::chrono;
    SteppedMount mount;
    QVERIFY(!mount.model.clock());
    mount.time = 5s;
    mount.send(QByteArray("H\x17\x3B\x3A\x02\x1C\x18\x09\x00\x01", 10));  // 23:59:58 2024-02-28
    mount.time = 5s + 2500ms;
    const sys_seconds expected = sys_days{2024y / February / 29} + 0s;
    QCOMPARE(mount.model.clock(), std::optional(expected));
}

QTEST_APPLESS_MAIN(MountModelTest)
#include "tst_mount_model.moc"
