// COM OPEN and CLOSE end to end: the window against the simulated mount on a
// pseudo-terminal, the port chosen through MORVANE_COM<N>.
#include "mount/link.h"
#include "simulator/simulated_mount.h"
#include "tests/support/recording_prompter.h"
#include "ui/form1.h"

#include <QHelpEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace morvane;
using morvane::testing::RecordingPrompter;

class TestConnection : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opensTheChosenPort_data();
    void opensTheChosenPort();
    void closeTwiceOnlySwapsButtons();
    void missingDeviceSaysWhichAndWhy();
    void lostPortIsReportedOnce();
    void tooltipsShowDevices();

private:
    template <class T>
    T* control(const char* name) {
        auto* found = m_window->findChild<T*>(QString::fromLatin1(name));
        Q_ASSERT(found);
        return found;
    }
    bool openEnabled() { return control<QPushButton>("Command1")->isEnabled(); }
    bool closeEnabled() { return control<QPushButton>("Command2")->isEnabled(); }

    std::unique_ptr<sim::SimulatedMount> m_sim;
    std::unique_ptr<RecordingPrompter> m_prompter;
    std::unique_ptr<Form1> m_window;
};

void TestConnection::init() {
    m_sim = std::make_unique<sim::SimulatedMount>();
    QString error;
    QVERIFY2(m_sim->start(&error), qPrintable(error));
    for (const char* name : {"MORVANE_COM1", "MORVANE_COM2", "MORVANE_COM3"}) {
        qunsetenv(name);
    }
    m_prompter = std::make_unique<RecordingPrompter>();
    m_window = std::make_unique<Form1>(m_prompter.get());
}

void TestConnection::cleanup() {
    m_window.reset();
    m_sim.reset();
    for (const char* name : {"MORVANE_COM1", "MORVANE_COM2", "MORVANE_COM3"}) {
        qunsetenv(name);
    }
}

void TestConnection::opensTheChosenPort_data() {
    QTest::addColumn<int>("port");
    QTest::newRow("port 1") << 1;
    QTest::newRow("port 2") << 2;
    QTest::newRow("port 3") << 3;
}

void TestConnection::opensTheChosenPort() {
    QFETCH(int, port);
    // Every other port points at a device that does not exist: only the
    // chosen one can open.
    for (int n = 1; n <= 3; ++n) {
        const QByteArray device =
            n == port ? m_sim->devicePath().toLocal8Bit() : QByteArray("/dev/morvane-nothing-here");
        qputenv(QByteArray("MORVANE_COM") + QByteArray::number(n), device);
    }
    const QByteArray option = "Option" + QByteArray::number(port);
    QTest::mouseClick(control<QRadioButton>(option.constData()), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);

    QVERIFY2(m_prompter->messages.isEmpty(), qPrintable(m_prompter->messages.join('\n')));
    QVERIFY(m_window->link().isOpen());
    QCOMPARE(m_window->link().portNumber(), port);
    QCOMPARE(m_window->link().device(), m_sim->devicePath());
    QCOMPARE(m_window->link().settings(), QStringLiteral("9600,N,8,1"));
    QVERIFY(!openEnabled());
    QVERIFY(closeEnabled());
}

void TestConnection::closeTwiceOnlySwapsButtons() {
    qputenv("MORVANE_COM1", m_sim->devicePath().toLocal8Bit());
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QVERIFY(m_window->link().isOpen());

    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    QVERIFY(!m_window->link().isOpen());
    QVERIFY(openEnabled());
    QVERIFY(!closeEnabled());

    m_window->Command2_Click();  // the button is disabled; the handler copes anyway
    QVERIFY(!m_window->link().isOpen());
    QVERIFY(openEnabled());
    QVERIFY(!closeEnabled());
    QVERIFY(m_prompter->messages.isEmpty());

    // And the port opens again afterwards.
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QVERIFY(m_window->link().isOpen());
}

void TestConnection::missingDeviceSaysWhichAndWhy() {
    qputenv("MORVANE_COM2", "/dev/morvane-no-such-device");
    QTest::mouseClick(control<QRadioButton>("Option2"), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);

    QCOMPARE(m_prompter->messages.size(), 1);
    const QString message = m_prompter->messages.first();
    QVERIFY2(message.contains("port 2 (/dev/morvane-no-such-device)"), qPrintable(message));
    QVERIFY2(message.contains("no such device"), qPrintable(message));
    QVERIFY(!m_window->link().isOpen());
    QVERIFY(openEnabled());
    QVERIFY(!closeEnabled());
    QVERIFY(control<QRadioButton>("Option2")->isChecked());
}

void TestConnection::lostPortIsReportedOnce() {
    qputenv("MORVANE_COM1", m_sim->devicePath().toLocal8Bit());
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QVERIFY(m_window->link().isOpen());

    m_sim->stop();  // the adapter is pulled out
    QTRY_COMPARE_WITH_TIMEOUT(m_prompter->messages.size(), 1, 3000);
    QVERIFY(m_prompter->messages.first().contains("was lost"));
    QVERIFY(m_prompter->messages.first().contains(m_sim->devicePath()));
    QVERIFY(!m_window->link().isOpen());
    QVERIFY(openEnabled());
    QVERIFY(!closeEnabled());

    // The window stays usable: a later click answers at once.
    QTest::mouseClick(control<QRadioButton>("Option3"), Qt::LeftButton);
    QVERIFY(control<QRadioButton>("Option3")->isChecked());
    QCOMPARE(m_prompter->messages.size(), 1);
}

void TestConnection::tooltipsShowDevices() {
    qputenv("MORVANE_COM3", "/dev/serial/by-id/usb-mount");
    QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), QPoint(2, 2));
    QCoreApplication::sendEvent(control<QRadioButton>("Option3"), &tip);
    QVERIFY(control<QRadioButton>("Option3")->toolTip().contains("/dev/serial/by-id/usb-mount"));
}

QTEST_MAIN(TestConnection)
#include "test_connection.moc"
