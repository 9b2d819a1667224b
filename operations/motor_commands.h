// The operations that send fixed or computed command bytes and only wait for
// them to leave: tracking, the clock, Slow Goto and the slew sequence.
#pragma once

#include "mount/codec.h"
#include "mount/exchange.h"

#include <QString>
#include <chrono>
#include <optional>

namespace morvane {
class MountLink;
}

namespace morvane::operations {

class Clock;

// The pause after each of the first three slew commands, the link held.
inline constexpr std::chrono::milliseconds kSlewPause{50};

void setTracking(MountLink& link, bool on, ExchangeCallback done);

// One reading of the clock for all six values.
void setMountClock(MountLink& link, const Clock& clock, ExchangeCallback done);

// Nothing is sent, and the reason returned, when the entry cannot be sent.
std::optional<QString> slowGoto(MountLink& link, const codec::SexagesimalEntry& entry,
                                ExchangeCallback done);

void slew(MountLink& link, ExchangeCallback done);

}  // namespace morvane::operations
