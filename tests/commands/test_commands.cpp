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
    void slowGotoRefuses_data();
    void slowGotoRefuses();
    void clockSetting_data();
    void clockSetting();
    void fixedCommands();
};

void TestCommands::slowGoto_data() {
    QTest::addColumn<QStringList>("entry");  // h, m, s, sign, d, a
    QTest::addColumn<QByteArray>("raData");
    QTest::addColumn<QByteArray>("decData");

    const auto row = [](const char* name, QStringList entry, const char* ra, const char* dec) {
        QTest::newRow(name) << entry << QByteArray::fromHex(ra) << QByteArray::fromHex(dec);
    };
    row("start", {"00", "00", "00", "+", "00", "00"}, "000000", "000000");
    row("05 34 32 +22 01", {"05", "34", "32", "+", "22", "01"}, "3B78FC", "0FA4FA");
    row("12 h, +45 30 sent as 46", {"12", "00", "00", "+", "45", "30"}, "800000", "20B60B");
    row("23 59 59, -1", {"23", "59", "59", "-", "01", "00"}, "FFFF3E", "FF49F5");
    row("-10", {"00", "00", "00", "-", "10", "00"}, "000000", "F8E38E");
    row("+90", {"00", "00", "00", "+", "90", "00"}, "000000", "400000");
    row("-90", {"00", "00", "00", "-", "90", "00"}, "000000", "C00000");
    row("44 30 rounds to even 44", {"00", "00", "00", "+", "44", "30"}, "000000", "1F49F5");
    row("-44 30: sign after rounding", {"00", "00", "00", "-", "44", "30"}, "000000", "E0B60B");
    row("-0 20 is zero", {"00", "00", "00", "-", "00", "20"}, "000000", "000000");
    row("sign with a blank is north", {"00", "00", "00", " -", "10", "00"}, "000000", "071C72");
    row("24 h wraps to 0 h", {"24", "00", "00", "+", "00", "00"}, "000000", "000000");
    row("-1 h wraps to 23 h", {"-1", "00", "00", "+", "00", "00"}, "F55555", "000000");
    row("49 h wraps twice", {"49", "00", "00", "+", "00", "00"}, "0AAAAB", "000000");
}

void TestCommands::slowGoto() {
    QFETCH(QStringList, entry);
    QFETCH(QByteArray, raData);
    QFETCH(QByteArray, decData);

    const codec::SexagesimalEntry typed{entry[0].toStdString(), entry[1].toStdString(),
                                        entry[2].toStdString(), entry[3].toStdString(),
                                        entry[4].toStdString(), entry[5].toStdString()};
    const commands::SlowGoto both = commands::slowGoto(typed);
    QVERIFY2(both.ok(), both.error.c_str());
    QCOMPARE(bytes(both.rightAscension), QByteArray::fromHex("50041017") + raData + '\0');
    QCOMPARE(bytes(both.declination), QByteArray::fromHex("50041117") + decData + '\0');
}

void TestCommands::slowGotoRefuses_data() {
    QTest::addColumn<QString>("hours");
    QTest::addColumn<QString>("sign");
    QTest::addColumn<QString>("degrees");
    QTest::addColumn<QString>("says");

    QTest::newRow("degrees beyond 32 bits") << "00"
                                            << "+"
                                            << "3e9"
                                            << "Declination out of range";
    QTest::newRow("south of the lowest whole number") << "00"
                                                      << "-"
                                                      << "-2147483648"
                                                      << "Declination out of range";
    QTest::newRow("infinite degrees") << "00"
                                      << "+"
                                      << "1e999"
                                      << "Declination out of range";
    QTest::newRow("infinite hours") << "1e999"
                                    << "+"
                                    << "00"
                                    << "Right ascension out of range";
}

void TestCommands::slowGotoRefuses() {
    QFETCH(QString, hours);
    QFETCH(QString, sign);
    QFETCH(QString, degrees);
    QFETCH(QString, says);

    const codec::SexagesimalEntry typed{hours.toStdString(),   "00", "00", sign.toStdString(),
                                        degrees.toStdString(), "00"};
    const commands::SlowGoto both = commands::slowGoto(typed);
    QVERIFY(!both.ok());
    QVERIFY2(QString::fromStdString(both.error).startsWith(says), both.error.c_str());
    QVERIFY(both.rightAscension.empty() && both.declination.empty());
}

void TestCommands::clockSetting_data() {
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("21:05:09 on 5 March 2024") << QDateTime(QDate(2024, 3, 5), QTime(21, 5, 9))
                                              << QByteArray::fromHex("48150509030518090001");
    QTest::newRow("midnight") << QDateTime(QDate(2024, 12, 31), QTime(0, 0, 0))
                              << QByteArray::fromHex("480000000C1F18090001");
    QTest::newRow("2000") << QDateTime(QDate(2000, 1, 1), QTime(23, 59, 59))
                          << QByteArray::fromHex("48173B3B010100090001");
    QTest::newRow("2099") << QDateTime(QDate(2099, 7, 4), QTime(12, 30, 0))
                          << QByteArray::fromHex("480C1E00070463090001");
}

void TestCommands::clockSetting() {
    QFETCH(QDateTime, when);
    QFETCH(QByteArray, sent);
    const commands::ClockReading reading{when.date().year(),   when.date().month(),
                                         when.date().day(),    when.time().hour(),
                                         when.time().minute(), when.time().second()};
    QCOMPARE(bytes(commands::clockSetting(reading)), sent);
}

void TestCommands::fixedCommands() {
    QCOMPARE(bytes(commands::tracking(true)), QByteArray::fromHex("5402"));
    QCOMPARE(bytes(commands::tracking(false)), QByteArray::fromHex("5400"));
    const auto slew = commands::slewSequence();
    QCOMPARE(bytes(slew[0]), QByteArray::fromHex("5002102401000000"));
    QCOMPARE(bytes(slew[1]), QByteArray::fromHex("5002102501000000"));
    QCOMPARE(bytes(slew[2]), QByteArray::fromHex("5002112401000000"));
    QCOMPARE(bytes(slew[3]), QByteArray::fromHex("5002112501000000"));
}

QTEST_GUILESS_MAIN(TestCommands)
#include "test_commands.moc"
