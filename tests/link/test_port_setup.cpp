// Port naming and line settings: what COM OPEN will open, and with what.
#include "mount/port_naming.h"
#include "mount/serial_settings.h"

#include <QTest>

using namespace morvane;

class TestPortSetup : public QObject {
    Q_OBJECT
private slots:
    void deviceForPort_data();
    void deviceForPort();
    void settings_data();
    void settings();
};

void TestPortSetup::deviceForPort_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("variable");  // MORVANE_COM<port>, "" when unset
    QTest::addColumn<bool>("windows");
    QTest::addColumn<QStringList>("adapters");
    QTest::addColumn<QString>("device");

    const QStringList two{"/dev/ttyUSB1", "/dev/ttyACM0"};
    QTest::newRow("variable wins")
        << 1 << "/dev/serial/by-id/usb-x" << false << two << "/dev/serial/by-id/usb-x";
    QTest::newRow("variable wins on windows") << 2 << "COM7" << true << QStringList{} << "COM7";
    QTest::newRow("blank variable ignored") << 1 << "  " << false << QStringList{} << "/dev/ttyS0";
    QTest::newRow("windows") << 3 << "" << true << two << "COM3";
    QTest::newRow("adapters sorted by name, first") << 1 << "" << false << two << "/dev/ttyACM0";
    QTest::newRow("adapters sorted by name, second") << 2 << "" << false << two << "/dev/ttyUSB1";
    QTest::newRow("more ports than adapters") << 3 << "" << false << two << "/dev/ttyS2";
    QTest::newRow("no adapters") << 2 << "" << false << QStringList{} << "/dev/ttyS1";
}

void TestPortSetup::deviceForPort() {
    QFETCH(int, port);
    QFETCH(QString, variable);
    QFETCH(bool, windows);
    QFETCH(QStringList, adapters);
    QFETCH(QString, device);

    PortEnvironment environment;
    environment.variable = [&](const QString& name) -> std::optional<QString> {
        if (variable.isEmpty() || name != QStringLiteral("MORVANE_COM%1").arg(port)) {
            return std::nullopt;
        }
        return variable;
    };
    environment.windows = windows;
    environment.usbSerialDevices = adapters;
    QCOMPARE(morvane::deviceForPort(port, environment), device);
}

void TestPortSetup::settings_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QChar>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");

    QTest::newRow("the mount's") << "9600,N,8,1" << true << 9600 << QChar('N') << 8 << 1;
    QTest::newRow("blanks and lower case")
        << " 19200 , e , 7 , 2 " << true << 19200 << QChar('E') << 7 << 2;
    QTest::newRow("one and a half") << "300,O,5,1.5" << true << 300 << QChar('O') << 5 << 15;
    QTest::newRow("missing field") << "9600,N,8" << false << 0 << QChar() << 0 << 0;
    QTest::newRow("extra field") << "9600,N,8,1,X" << false << 0 << QChar() << 0 << 0;
    QTest::newRow("baud not a number") << "fast,N,8,1" << false << 0 << QChar() << 0 << 0;
    QTest::newRow("baud zero") << "0,N,8,1" << false << 0 << QChar() << 0 << 0;
    QTest::newRow("unknown parity") << "9600,X,8,1" << false << 0 << QChar() << 0 << 0;
    QTest::newRow("nine data bits") << "9600,N,9,1" << false << 0 << QChar() << 0 << 0;
    QTest::newRow("three stop bits") << "9600,N,8,3" << false << 0 << QChar() << 0 << 0;
    QTest::newRow("empty") << "" << false << 0 << QChar() << 0 << 0;
}

void TestPortSetup::settings() {
    QFETCH(QString, text);
    QFETCH(bool, valid);

    const SettingsParse parsed = parseSerialSettings(text.toStdString());
    QCOMPARE(parsed.settings.has_value(), valid);
    if (!valid) {
        QVERIFY(QString::fromStdString(parsed.error).contains(text.trimmed()));
        return;
    }
    QFETCH(int, baud);
    QFETCH(QChar, parity);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QCOMPARE(parsed.settings->baud, baud);
    QCOMPARE(QChar(parsed.settings->parity), parity);
    QCOMPARE(parsed.settings->dataBits, dataBits);
    QCOMPARE(parsed.settings->stopBits, stopBits);
}

QTEST_GUILESS_MAIN(TestPortSetup)
#include "test_port_setup.moc"
