#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class MountSimProgramTest : public QObject {
    Q_OBJECT

private slots:
    void refusesBadOptions_data();
    void refusesBadOptions();
    void servesUntilTerminated();
};

void MountSimProgramTest::refusesBadOptions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");

    QTest::newRow("fault") << QStringList{"--fault", "sulky"} << QStringLiteral("--fault");
    QTest::newRow("rate") << QStringList{"--rate", "-1"} << QStringLiteral("--rate");
    QTest::newRow("vanish") << QStringList{"--vanish-after", "0"}
                            << QStringLiteral("--vanish-after");
    QTest::newRow("stray argument") << QStringList{"/dev/ttyS0"} << QStringLiteral("unexpected");
}

void MountSimProgramTest::refusesBadOptions() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);

    QProcess program;
    QSignalSpy finished(&program, &QProcess::finished);
    program.start(QStringLiteral(MORVANE_SIM_PROGRAM), arguments);
    QVERIFY(finished.wait(5000));
    QCOMPARE(program.exitCode(), 2);
    QVERIFY(program.readAllStandardOutput().isEmpty());
    QVERIFY(QString::fromLocal8Bit(program.readAllStandardError()).contains(complaint));
}

void MountSimProgramTest::servesUntilTerminated() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("mount"));

    QProcess program;
    QSignalSpy finished(&program, &QProcess::finished);
    program.start(QStringLiteral(MORVANE_SIM_PROGRAM), {QStringLiteral("--link"), link});
    QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine(), 5000);
    const QString device = QString::fromLocal8Bit(program.readLine()).trimmed();
    QVERIFY(device.startsWith(QStringLiteral("/dev/")));
    QCOMPARE(QFileInfo(link).symLinkTarget(), device);

    {
        QSerialPort port;
        port.setPortName(link);
        QVERIFY(port.open(QIODevice::ReadWrite));
        port.write("E");
        QByteArray reply;
        QTRY_VERIFY_WITH_TIMEOUT((reply += port.readAll()).size() >= 10, 5000);
        QCOMPARE(reply, QByteArray("0000,0000#"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine(), 5000);
    const QString logLine = QString::fromLocal8Bit(program.readLine());
    QVERIFY2(logLine.contains(QStringLiteral(" ms  45  position query")), qPrintable(logLine));

    program.terminate();
    QVERIFY(finished.wait(5000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(device));
}

QTEST_GUILESS_MAIN(MountSimProgramTest)
#include "tst_mount_sim_program.moc"
