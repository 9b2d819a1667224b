// One reading of the telescope's position for the "Real Coordinate" readout.
#pragma once

#include "mount/exchange.h"

#include <QString>
#include <functional>

namespace morvane {
class MountLink;
}

namespace morvane::operations {

// The position reply: two four-digit words and a separator and terminator.
inline constexpr int kPositionReplyLength = 10;

struct PositionReading {
    ExchangeStatus status = ExchangeStatus::Done;
    QString text;   // "HH:MM:SS / +DDdMM'" when read
    QString error;  // why not, for the user
    bool ok() const { return status == ExchangeStatus::Done; }
};

// Sends "E" and decodes the ten characters that come back.
void pollPosition(MountLink& link, std::function<void(const PositionReading&)> done);

}  // namespace morvane::operations
