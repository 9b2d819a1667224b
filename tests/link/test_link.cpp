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
using sim::SimulatedMount;

Q_DECLARE_METATYPE(morvane::sim::Fault)

namespace {

// Collects the results of submitted exchanges in the order they come back.
struct Results {
    QList<ExchangeResult> list;
    ExchangeCallback add() {
        return [this](const ExchangeResult& r) { list << r; };
    }
};

}  // namespace

class TestLink : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void completesByRule_data();
    void completesByRule();
    void silentMountTimesOutWhileEventsRun_data();
    void silentMountTimesOutWhileEventsRun();
    void staleInputIsDiscarded();
    void exchangesRunInSubmissionOrder();
    void sequenceHoldsTheLink();
    void notOpenFailsWithClearText();
    void lostPortIsReportedOnceAndFailsPending();
    void closeEndsWaitingExchanges();
    void floodIsCappedAndTheLinkGoesOn();

private:
    void openLink();

    std::unique_ptr<SimulatedMount> m_sim;
    std::unique_ptr<MountLink> m_link;
};

void TestLink::init() {
    m_sim = std::make_unique<SimulatedMount>();
    QString error;
    QVERIFY2(m_sim->start(&error), qPrintable(error));
    m_sim->setPosition(0x34AB, 0x12CE);
    m_link = std::make_unique<MountLink>();
}

void TestLink::cleanup() {
    m_link.reset();
    m_sim.reset();
}

void TestLink::openLink() {
    m_link->setPort(1, m_sim->devicePath());
    const auto error = m_link->open();
    QVERIFY2(!error, error ? qPrintable(*error) : "");
}

void TestLink::completesByRule_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("rule");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("reply");  // what the exchange must hand back

    const auto settle = static_cast<int>(ReplyRule::Settle);
    const auto counted = static_cast<int>(ReplyRule::Counted);
    const auto answer = static_cast<int>(ReplyRule::Answer);
    QTest::newRow("settle, answering mount")
        << Fault::None << settle << QByteArray("T\x02", 2) << 0 << QByteArray();
    QTest::newRow("settle, silent mount")
        << Fault::Silent << settle << QByteArray("T\x00", 2) << 0 << QByteArray();
    QTest::newRow("counted, whole")
        << Fault::None << counted << QByteArray("E") << 10 << QByteArray("34AB,12CE#");
    QTest::newRow("counted, split pieces joined")
        << Fault::Split << counted << QByteArray("E") << 10 << QByteArray("34AB,12CE#");
    QTest::newRow("counted, byte by byte at 9600 baud")
        << Fault::Paced << counted << QByteArray("E") << 10 << QByteArray("34AB,12CE#");
    QTest::newRow("counted, more than needed kept")
        << Fault::None << counted << QByteArray("E") << 4 << QByteArray("34AB,12CE#");
    QTest::newRow("answer, at rest")
        << Fault::None << answer << QByteArray("L") << 0 << QByteArray("0#");
    QTest::newRow("answer, paced")
        << Fault::Paced << answer << QByteArray("L") << 0 << QByteArray("0#");
}

void TestLink::completesByRule() {
    QFETCH(Fault, fault);
    QFETCH(int, rule);
    QFETCH(QByteArray, command);
    QFETCH(int, count);
    QFETCH(QByteArray, reply);

    openLink();
    m_sim->setFault(fault);
    Results results;
    m_link->submit({command, static_cast<ReplyRule>(rule), count}, results.add());
    QTRY_COMPARE_WITH_TIMEOUT(results.list.size(), 1, 3000);
    QVERIFY2(results.list[0].ok(), qPrintable(results.list[0].error));
    QCOMPARE(results.list[0].reply, reply);
    QTRY_COMPARE(m_sim->received(), command);
    QVERIFY(!m_link->isBusy());
}

void TestLink::silentMountTimesOutWhileEventsRun_data() {
    QTest::addColumn<int>("rule");
    QTest::newRow("counted") << static_cast<int>(ReplyRule::Counted);
    QTest::newRow("answer") << static_cast<int>(ReplyRule::Answer);
}

void TestLink::silentMountTimesOutWhileEventsRun() {
    QFETCH(int, rule);
    openLink();
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
    Results results;
    m_link->submit({"E", static_cast<ReplyRule>(rule), 10}, results.add());
    QTRY_COMPARE_WITH_TIMEOUT(results.list.size(), 1, 3000);
    QCOMPARE(results.list[0].status, ExchangeStatus::TimedOut);
    QVERIFY(results.list[0].error.contains(m_sim->devicePath()));
    QVERIFY(results.list[0].error.contains("did not answer"));
    QVERIFY(clock.elapsed() >= 290);
    QVERIFY(ticks >= 5);
}

void TestLink::staleInputIsDiscarded() {
    openLink();
    Results first;
    m_link->submit(Exchange::settle("R0000,0000"), first.add());
    QTRY_COMPARE(first.list.size(), 1);
    m_sim->setPosition(0x34AB, 0x12CE);  // stop the goto where the reply is known
    // Left-overs of earlier traffic that nobody read.
    m_sim->inject("0#0#12");
    Results results;
    m_link->submit(Exchange::counted("E", 10), results.add());
    QTRY_COMPARE_WITH_TIMEOUT(results.list.size(), 1, 3000);
    QVERIFY2(results.list[0].ok(), qPrintable(results.list[0].error));
    QCOMPARE(results.list[0].reply, QByteArray("34AB,12CE#"));
}

void TestLink::exchangesRunInSubmissionOrder() {
    openLink();
    Results results;
    m_link->submit(Exchange::settle("R3B79,FC2C"), results.add());
    m_link->submit(Exchange::counted("E", 10), results.add());
    m_link->submit(Exchange::answer("L"), results.add());
    m_link->submit(Exchange::settle(QByteArray("T\x02", 2)), results.add());
    QTRY_COMPARE_WITH_TIMEOUT(results.list.size(), 4, 3000);
    for (const auto& r : results.list) {
        QVERIFY2(r.ok(), qPrintable(r.error));
    }
    QCOMPARE(results.list[1].reply.size(), 10);
    QTRY_COMPARE(m_sim->received(), QByteArray("R3B79,FC2CEL"
                                               "T\x02",
                                               14));
}

void TestLink::sequenceHoldsTheLink() {
    openLink();
    const QByteArray first("P\x02\x10\x24\x01\x00\x00\x00", 8);
    const QByteArray second("P\x02\x10\x25\x01\x00\x00\x00", 8);
    const QByteArray third("P\x02\x11\x24\x01\x00\x00\x00", 8);
    QList<Exchange> steps{Exchange::settle(first), Exchange::settle(second),
                          Exchange::settle(third)};
    steps[0].pauseAfter = 80ms;
    steps[1].pauseAfter = 80ms;

    Results results;
    m_link->submitSequence(steps, results.add());
    // Submitted while the sequence runs, this must wait for its end.
    QTimer::singleShot(20ms, [&] { m_link->submit(Exchange::counted("E", 10), results.add()); });
    QTRY_COMPARE_WITH_TIMEOUT(results.list.size(), 2, 3000);
    QVERIFY(results.list[0].ok());
    QCOMPARE(results.list[1].reply, QByteArray("34AB,12CE#"));
    QTRY_COMPARE(m_sim->received(), first + second + third + "E");

    const auto log = m_sim->log();
    QCOMPARE(log.size(), 4);
    QVERIFY(log[1].time - log[0].time >= 75ms);
    QVERIFY(log[2].time - log[1].time >= 75ms);
}

void TestLink::notOpenFailsWithClearText() {
    m_link->setPort(2, "/dev/ttyUSB7");
    Results results;
    m_link->submit(Exchange::settle("R0000,0000"), results.add());
    QVERIFY(results.list.isEmpty());  // never from inside submit()
    QTRY_COMPARE(results.list.size(), 1);
    QCOMPARE(results.list[0].status, ExchangeStatus::NotOpen);
    QCOMPARE(results.list[0].error,
             QStringLiteral("Port 2 (/dev/ttyUSB7) is not open. Click COM OPEN first."));
}

void TestLink::lostPortIsReportedOnceAndFailsPending() {
    openLink();
    m_sim->setFault(Fault::Silent);
    QSignalSpy lost(m_link.get(), &MountLink::portLost);
    Results results;
    m_link->submit(Exchange::counted("E", 10), results.add());
    m_link->submit(Exchange::counted("E", 10), results.add());
    QTRY_VERIFY(!m_sim->received().isEmpty());
    m_sim->stop();

    QTRY_COMPARE_WITH_TIMEOUT(results.list.size(), 2, 3000);
    QCOMPARE(results.list[0].status, ExchangeStatus::Lost);
    QCOMPARE(results.list[1].status, ExchangeStatus::Lost);
    QCOMPARE(lost.size(), 1);
    QVERIFY(lost[0][0].toString().contains(m_sim->devicePath()));
    QVERIFY(!m_link->isOpen());
    // No further reports trickle in after the first.
    QVERIFY(!lost.wait(200));
}

void TestLink::closeEndsWaitingExchanges() {
    openLink();
    m_sim->setFault(Fault::Silent);
    Results results;
    m_link->submit(Exchange::counted("E", 10), results.add());
    m_link->submit(Exchange::settle("R0000,0000"), results.add());
    QTRY_VERIFY(!m_sim->received().isEmpty());
    m_link->close();
    QVERIFY(results.list.isEmpty());  // never from inside close()
    QTRY_COMPARE(results.list.size(), 2);
    QCOMPARE(results.list[0].status, ExchangeStatus::Closed);
    QCOMPARE(results.list[1].status, ExchangeStatus::Closed);
    QCOMPARE(m_sim->received(), QByteArray("E"));
}

void TestLink::floodIsCappedAndTheLinkGoesOn() {
    openLink();
    m_sim->setFault(Fault::Silent);  // the flood is the only answer
    LinkLimits limits;
    limits.answer = 10s;  // so the answer ends by the quiet after the flood, not mid-flood
    m_link->setLimits(limits);

    Results results;
    m_link->submit(Exchange::answer("L"), results.add());
    QTRY_COMPARE(m_sim->received(), QByteArray("L"));
    const QByteArray flood(1024 * 1024, 'x');
    m_sim->inject(flood);
    QTRY_COMPARE_WITH_TIMEOUT(results.list.size(), 1, 10000);
    QVERIFY2(results.list[0].ok(), qPrintable(results.list[0].error));
    // The first bytes of the flood, and no more than one reply may hold.
    QCOMPARE(results.list[0].reply, flood.first(qsizetype(kReplyCapacity)));

    // The link is not worn out by it: the next exchange gets its own reply.
    m_sim->setFault(Fault::None);
    Results next;
    m_link->submit(Exchange::counted("E", 10), next.add());
    QTRY_COMPARE_WITH_TIMEOUT(next.list.size(), 1, 3000);
    QVERIFY2(next.list[0].ok(), qPrintable(next.list[0].error));
    QCOMPARE(next.list[0].reply, QByteArray("34AB,12CE#"));
}

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
