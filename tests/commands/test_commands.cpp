// Command bytes: Slow Goto's motor positions, the clock, tracking and the
// slew sequence, compared byte for byte.
#include "mount/commands.h"

#include <QTest>

using namespace morvane;

namespace {

QByteArray bytes(const std::string& s) {
    return QByteArray::fromStdString(s);
}

}  // namespace

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    void slowGoto_data();
    void slowGoto();
    void fixedCommands();
};

void TestCommands::slowGoto_data() {
    QTest::addColumn<QStringList>("entry");  // h, m, s, sign, d, a
    QTest::addColumn<QByteArray>("motors");  // both motors' data in hex, or the error's start
    const auto row = [](const char* name, QStringList entry, const char* motors) {
        QTest::newRow(name) << entry << QByteArray(motors);
    };
    row("05 34 32 +22 01", {"05", "34", "32", "+", "22", "01"}, "3B78FC 0FA4FA");
    row("+45 30 sent as 46", {"12", "00", "00", "+", "45", "30"}, "800000 20B60B");
    row("23 59 59, -1", {"23", "59", "59", "-", "01", "00"}, "FFFF3E FF49F5");
    row("44 30 rounds to even 44", {"00", "00", "00", "+", "44", "30"}, "000000 1F49F5");
    row("-44 30: sign after rounding", {"00", "00", "00", "-", "44", "30"}, "000000 E0B60B");
    row("sign with a blank is north", {"00", "00", "00", " -", "10", "00"}, "000000 071C72");
    row("24 h wraps to 0 h", {"24", "00", "00", "+", "00", "00"}, "000000 000000");
    row("-1 h wraps to 23 h", {"-1", "00", "00", "+", "00", "00"}, "F55555 000000");
    row("degrees beyond 32 bits", {"00", "00", "00", "+", "3e9", "00"}, "Declination out of range");
    row("south of the lowest", {"00", "00", "00", "-", "-2147483648", "00"},
        "Declination out of range");
    row("infinite hours", {"1e999", "00", "00", "+", "00", "00"}, "Right ascension out of range");
}

void TestCommands::slowGoto() {
    QFETCH(QStringList, entry);
    QFETCH(QByteArray, motors);
    const commands::SlowGoto both = commands::slowGoto(
        {entry[0].toStdString(), entry[1].toStdString(), entry[2].toStdString(),
         entry[3].toStdString(), entry[4].toStdString(), entry[5].toStdString()});
    if (motors.contains("range")) {
        QVERIFY2(QByteArray::fromStdString(both.error).startsWith(motors), both.error.c_str());
        QVERIFY(both.rightAscension.empty() && both.declination.empty());
        return;
    }
    QVERIFY2(both.ok(), both.error.c_str());
    QCOMPARE(bytes(both.rightAscension),
             QByteArray::fromHex("50041017" + motors.split(' ')[0] + "00"));
    QCOMPARE(bytes(both.declination),
             QByteArray::fromHex("50041117" + motors.split(' ')[1] + "00"));
}

void TestCommands::fixedCommands() {
    QCOMPARE(bytes(commands::clockSetting({2099, 7, 4, 12, 30, 0})),
             QByteArray::fromHex("480C1E00070463090001"));
    QCOMPARE(bytes(commands::tracking(true)), QByteArray::fromHex("5402"));
    QCOMPARE(bytes(commands::tracking(false)), QByteArray::fromHex("5400"));
    const auto slew = commands::slewSequence();
    QCOMPARE(bytes(slew[0] + slew[1] + slew[2] + slew[3]),
             QByteArray::fromHex("50021024010000005002102501000000"
                                 "50021124010000005002112501000000"));
}

QTEST_GUILESS_MAIN(TestCommands)
#include "test_commands.moc"
