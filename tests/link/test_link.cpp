// The link against the simulated mount over a real pseudo-terminal: one
// exchange at a time, each complete by its rule or failed within its limit.
#include "mount/link.h"
#include "simulator/simulated_mount.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace morvane;
using namespace std::chrono_literals;
using sim::Fault;

Q_DECLARE_METATYPE(morvane::sim::Fault)

class TestLink : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void completesByRule_data();
    void completesByRule();
    void silentMountTimesOutWhileEventsRun_data();
    void silentMountTimesOutWhileEventsRun();
    void staleInputIsDroppedAndOrderKept();
    void sequenceHoldsTheLink();
    void lostPortIsReportedOnceAndFailsPending();
    void closeEndsWaitingExchanges();
    void floodIsCappedAndTheLinkGoesOn();

private:
    ExchangeCallback collect() {
        return [this](const ExchangeResult& r) { m_results << r; };
    }

    std::unique_ptr<sim::SimulatedMount> m_sim;
    std::unique_ptr<MountLink> m_link;
    QList<ExchangeResult> m_results;
};

void TestLink::init() {
    m_sim = std::make_unique<sim::SimulatedMount>();
    QString error;
    QVERIFY2(m_sim->start(&error), qPrintable(error));
    m_sim->setPosition(0x34AB, 0x12CE);
    m_link = std::make_unique<MountLink>();
    m_link->setPort(1, m_sim->devicePath());
    const auto failed = m_link->open();
    QVERIFY2(!failed, failed ? qPrintable(*failed) : "");
    m_results.clear();
}

void TestLink::cleanup() {
    m_link.reset();
    m_sim.reset();
}

void TestLink::completesByRule_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<Exchange>("exchange");
    QTest::addColumn<QByteArray>("reply");  // what the exchange must hand back
    QTest::newRow("settle, silent mount")
        << Fault::Silent << Exchange::settle(QByteArray("T\x00", 2)) << QByteArray();
    QTest::newRow("counted, split pieces joined")
        << Fault::Split << Exchange::counted("E", 10) << QByteArray("34AB,12CE#");
    QTest::newRow("counted, byte by byte at 9600 baud")
        << Fault::Paced << Exchange::counted("E", 10) << QByteArray("34AB,12CE#");
    QTest::newRow("counted, more than needed kept")
        << Fault::None << Exchange::counted("E", 4) << QByteArray("34AB,12CE#");
    QTest::newRow("answer") << Fault::None << Exchange::answer("L") << QByteArray("0#");
    QTest::newRow("answer, paced") << Fault::Paced << Exchange::answer("L") << QByteArray("0#");
}

void TestLink::completesByRule() {
    QFETCH(Fault, fault);
    QFETCH(Exchange, exchange);
    QFETCH(QByteArray, reply);
    m_sim->setFault(fault);
    m_link->submit(exchange, collect());
    QVERIFY(m_results.isEmpty());  // never from inside submit()
    QTRY_COMPARE_WITH_TIMEOUT(m_results.size(), 1, 3000);
    QVERIFY2(m_results[0].ok(), qPrintable(m_results[0].error));
    QCOMPARE(m_results[0].reply, reply);
    QTRY_COMPARE(m_sim->received(), exchange.command);
    QVERIFY(!m_link->isBusy());
}

void TestLink::silentMountTimesOutWhileEventsRun_data() {
    QTest::addColumn<Exchange>("exchange");
    QTest::newRow("counted") << Exchange::counted("E", 10);
    QTest::newRow("answer") << Exchange::answer("L");
}

void TestLink::silentMountTimesOutWhileEventsRun() {
    QFETCH(Exchange, exchange);
    m_sim->setFault(Fault::Silent);
    LinkLimits limits;
    limits.countedReply = 300ms;
    limits.answer = 300ms;
    m_link->setLimits(limits);
    // A timer that keeps ticking proves the wait leaves the event loop free.
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    QElapsedTimer clock;
    clock.start();
    m_link->submit(exchange, collect());
    QTRY_COMPARE_WITH_TIMEOUT(m_results.size(), 1, 3000);
    QCOMPARE(m_results[0].status, ExchangeStatus::TimedOut);
    QCOMPARE(m_results[0].error,
             QStringLiteral("The mount did not answer on Port 1 (%1) within 0.3 s.")
                 .arg(m_sim->devicePath()));
    QVERIFY(clock.elapsed() >= 290);
    QVERIFY(ticks >= 5);
}

void TestLink::staleInputIsDroppedAndOrderKept() {
    m_sim->setReplyDelay(100ms);  // a command is done once the mount's "#" has come
    m_link->submit(Exchange::settle(QByteArray("T\x02", 2)), collect());
    QTRY_COMPARE(m_results.size(), 1);
    m_sim->inject("0#0#12");  // left-overs nobody read
    m_link->submit(Exchange::counted("E", 10), collect());
    m_link->submit(Exchange::answer("L"), collect());
    m_link->submit(Exchange::settle(QByteArray("T\x02", 2)), collect());
    QTRY_COMPARE_WITH_TIMEOUT(m_results.size(), 4, 3000);
    for (const auto& r : m_results) {
        QVERIFY2(r.ok(), qPrintable(r.error));
    }
    QCOMPARE(m_results[1].reply, QByteArray("34AB,12CE#"));
    QCOMPARE(m_results[2].reply, QByteArray("0#"));
    QTRY_COMPARE(m_sim->received(), QByteArray("T\x02"
                                               "ELT\x02",
                                               6));
    QVERIFY(m_sim->log()[1].time - m_sim->log()[0].time >= 100ms);
}

void TestLink::sequenceHoldsTheLink() {
    const QByteArray first("P\x02\x10\x24\x01\x00\x00\x00", 8);
    const QByteArray second("P\x02\x10\x25\x01\x00\x00\x00", 8);
    QList<Exchange> steps{Exchange::settle(first), Exchange::settle(second)};
    steps[0].pauseAfter = 80ms;
    m_link->submitSequence(steps, collect());
    // Submitted while the sequence runs, this must wait for its end.
    QTimer::singleShot(20ms, [&] { m_link->submit(Exchange::counted("E", 10), collect()); });
    QTRY_COMPARE_WITH_TIMEOUT(m_results.size(), 2, 3000);
    QVERIFY(m_results[0].ok());
    QCOMPARE(m_results[1].reply, QByteArray("34AB,12CE#"));
    QCOMPARE(m_sim->received(), first + second + "E");
    QVERIFY(m_sim->log()[1].time - m_sim->log()[0].time >= 75ms);
}

void TestLink::lostPortIsReportedOnceAndFailsPending() {
    m_sim->setFault(Fault::Silent);
    QSignalSpy lost(m_link.get(), &MountLink::portLost);
    m_link->submit(Exchange::counted("E", 10), collect());
    m_link->submit(Exchange::counted("E", 10), collect());
    QTRY_VERIFY(!m_sim->received().isEmpty());
    m_sim->stop();
    QTRY_COMPARE_WITH_TIMEOUT(m_results.size(), 2, 3000);
    QCOMPARE(m_results[0].status, ExchangeStatus::Lost);
    QCOMPARE(m_results[1].status, ExchangeStatus::Lost);
    QCOMPARE(lost.size(), 1);
    QVERIFY(lost[0][0].toString().contains(m_sim->devicePath()));
    QVERIFY(!m_link->isOpen());
    QVERIFY(!lost.wait(200));  // no further reports trickle in
}

void TestLink::closeEndsWaitingExchanges() {
    m_sim->setFault(Fault::Silent);
    m_link->submit(Exchange::counted("E", 10), collect());
    m_link->submit(Exchange::settle("R0000,0000"), collect());
    QTRY_VERIFY(!m_sim->received().isEmpty());
    m_link->close();
    QVERIFY(m_results.isEmpty());  // never from inside close()
    QTRY_COMPARE(m_results.size(), 2);
    QCOMPARE(m_results[0].status, ExchangeStatus::Closed);
    QCOMPARE(m_results[1].status, ExchangeStatus::Closed);
    QCOMPARE(m_sim->received(), QByteArray("E"));
}

void TestLink::floodIsCappedAndTheLinkGoesOn() {
    m_sim->setFault(Fault::Silent);  // the flood is the only answer
    LinkLimits limits;
    limits.answer = 10s;  // so the answer ends by the quiet after the flood, not mid-flood
    m_link->setLimits(limits);
    m_link->submit(Exchange::answer("L"), collect());
    QTRY_COMPARE(m_sim->received(), QByteArray("L"));
    const QByteArray flood(1024 * 1024, 'x');
    m_sim->inject(flood);
    QTRY_COMPARE_WITH_TIMEOUT(m_results.size(), 1, 10000);
    QVERIFY2(m_results[0].ok(), qPrintable(m_results[0].error));
    QCOMPARE(m_results[0].reply, flood.first(qsizetype(kReplyCapacity)));
    // The next exchange gets its own reply.
    m_sim->setFault(Fault::None);
    m_link->submit(Exchange::counted("E", 10), collect());
    QTRY_COMPARE_WITH_TIMEOUT(m_results.size(), 2, 3000);
    QCOMPARE(m_results[1].reply, QByteArray("34AB,12CE#"));
}

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
