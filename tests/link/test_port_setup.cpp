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
    QTest::newRow("blank variable ignored") << 1 << "  " << false << QStringList{} << "/dev/ttyS0";
    QTest::newRow("windows") << 3 << "" << true << two << "COM3";
    QTest::newRow("adapters sorted by name, first") << 1 << "" << false << two << "/dev/ttyACM0";
    QTest::newRow("more ports than adapters") << 3 << "" << false << two << "/dev/ttyS2";
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
    QTest::addColumn<QString>("read");  // baud, parity, data bits, stop bits; "" for an error
    QTest::newRow("the mount's") << "9600,N,8,1"
                                 << "9600 N 8 1";
    QTest::newRow("blanks and lower case") << " 19200 , e , 7 , 2 "
                                           << "19200 E 7 2";
    QTest::newRow("one and a half") << "300,O,5,1.5"
                                    << "300 O 5 15";
    QTest::newRow("missing field") << "9600,N,8"
                                   << "";
    QTest::newRow("baud not a number") << "fast,N,8,1"
                                       << "";
    QTest::newRow("unknown parity") << "9600,X,8,1"
                                    << "";
    QTest::newRow("three stop bits") << "9600,N,8,3"
                                     << "";
}

void TestPortSetup::settings() {
    QFETCH(QString, text);
    QFETCH(QString, read);
    const SettingsParse parsed = parseSerialSettings(text.toStdString());
    if (const auto& s = parsed.settings) {
        QCOMPARE(QStringLiteral("%1 %2 %3 %4")
                     .arg(s->baud)
                     .arg(s->parity)
                     .arg(s->dataBits)
                     .arg(s->stopBits),
                 read);
    } else {
        QVERIFY(read.isEmpty());
        QVERIFY(QString::fromStdString(parsed.error).contains(text.trimmed()));
    }
}

QTEST_GUILESS_MAIN(TestPortSetup)
#include "test_port_setup.moc"
