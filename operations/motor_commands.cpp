#include "operations/motor_commands.h"

#include "mount/commands.h"
#include "mount/link.h"
#include "operations/clock.h"

namespace morvane::operations {
namespace {

QByteArray bytes(const std::string& command) {
    return QByteArray::fromStdString(command);
}

}  // namespace

void setTracking(MountLink& link, bool on, ExchangeCallback done) {
    link.submit(Exchange::settle(bytes(commands::tracking(on))), std::move(done));
}

void setMountClock(MountLink& link, const Clock& clock, ExchangeCallback done) {
    const QDateTime now = clock.now();
    const QDate date = now.date();
    const QTime time = now.time();
    const commands::ClockReading reading{date.year(), date.month(),  date.day(),
                                         time.hour(), time.minute(), time.second()};
    link.submit(Exchange::settle(bytes(commands::clockSetting(reading))), std::move(done));
}

std::optional<QString> slowGoto(MountLink& link, const codec::SexagesimalEntry& entry,
                                ExchangeCallback done) {
    const commands::SlowGoto both = commands::slowGoto(entry);
    if (!both.ok()) {
        return QString::fromStdString(both.error);
    }
    // As one sequence, so nothing else can come between the two motors.
    link.submitSequence(
        {Exchange::settle(bytes(both.rightAscension)), Exchange::settle(bytes(both.declination))},
        std::move(done));
    return std::nullopt;
}

void slew(MountLink& link, ExchangeCallback done) {
    QList<Exchange> steps;
    for (const std::string& command : commands::slewSequence()) {
        steps << Exchange::settle(bytes(command));
        steps.last().pauseAfter = kSlewPause;
    }
    steps.last().pauseAfter = std::chrono::milliseconds::zero();  // three pauses, not four
    link.submitSequence(steps, std::move(done));
}

}  // namespace morvane::operations
