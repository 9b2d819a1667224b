#include "operations/arrival_watch.h"

#include "mount/commands.h"
#include "mount/link.h"

#include <QDateTime>

namespace morvane::operations {

ArrivalWatch::ArrivalWatch(MountLink& link, QObject* parent) : QObject(parent), m_link(link) {
    m_pace.setSingleShot(true);
    m_pace.setTimerType(Qt::PreciseTimer);
    m_limit.setSingleShot(true);
    connect(&m_pace, &QTimer::timeout, this, &ArrivalWatch::query);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        const double seconds = static_cast<double>(m_link.limits().arrivalWatch.count()) / 1000.0;
        const bool east = m_purpose == Purpose::GotoEast;
        finish();
        emit gaveUp(QStringLiteral("The mount on %1 did not report its arrival at the %2 "
                                   "within %3 s. Check the mount, then %4.")
                        .arg(m_link.portDescription(),
                             east ? QStringLiteral("east position") : QStringLiteral("target"))
                        .arg(seconds)
                        .arg(east ? QStringLiteral("click GO again")
                                  : QStringLiteral("send the target again")));
    });
    connect(&m_link, &MountLink::openChanged, this, [this](bool open) {
        if (!open) {
            stop();
        }
    });
}

void ArrivalWatch::start(ExchangeCallback sent) {
    finish();
    m_purpose = Purpose::GotoEast;
    m_slewing = true;
    const quint64 run = ++m_run;
    const QByteArray home(commands::kHomeGoto.data(),
                          static_cast<qsizetype>(commands::kHomeGoto.size()));
    m_link.submit(Exchange::settle(home), [this, run, sent](const ExchangeResult& result) {
        if (sent) {
            sent(result);
        }
        if (run != m_run) {
            return;
        }
        if (!result.ok()) {
            m_slewing = false;
            if (result.status != ExchangeStatus::Closed && result.status != ExchangeStatus::Lost) {
                emit failed(result.error);
            }
            return;
        }
        watch();
    });
}

void ArrivalWatch::follow() {
    finish();
    m_purpose = Purpose::Target;
    m_slewing = true;
    watch();
}

void ArrivalWatch::watch() {
    m_watching = true;
    m_limit.start(m_link.limits().arrivalWatch);
    emit departed();
    scheduleQuery();
}

void ArrivalWatch::stop() {
    finish();
}

void ArrivalWatch::finish() {
    ++m_run;
    m_watching = false;
    m_slewing = false;
    m_queryInFlight = false;
    m_pace.stop();
    m_limit.stop();
}

void ArrivalWatch::scheduleQuery() {
    // One query per change of the clock's seconds.
    const auto intoSecond = QDateTime::currentMSecsSinceEpoch() % 1000;
    m_pace.start(std::chrono::milliseconds(1000 - intoSecond));
}

void ArrivalWatch::query() {
    if (!m_watching || m_queryInFlight) {
        return;
    }
    m_queryInFlight = true;
    const quint64 run = m_run;
    const QByteArray status(commands::kGotoStatusQuery.data(),
                            static_cast<qsizetype>(commands::kGotoStatusQuery.size()));
    m_link.submit(Exchange::answer(status), [this, run](const ExchangeResult& result) {
        if (run != m_run) {
            return;
        }
        m_queryInFlight = false;
        switch (result.status) {
            case ExchangeStatus::Done:
                // Only the answer to this query counts, so a "0" left over
                // from other traffic can never end the watch.
                if (result.reply.contains('0')) {
                    finish();
                    emit arrived();
                    return;
                }
                break;
            case ExchangeStatus::TimedOut:
                break;  // no word this second; ask again at the next
            case ExchangeStatus::NotOpen:
            case ExchangeStatus::WriteFailed:
                finish();
                emit failed(result.error);
                return;
            case ExchangeStatus::Closed:
            case ExchangeStatus::Lost:
                finish();
                return;
        }
        scheduleQuery();
    });
}

}  // namespace morvane::operations
