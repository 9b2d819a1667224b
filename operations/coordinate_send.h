// GOTO and Sync: the typed position, encoded as a coordinate pair, sent with
// the given command letter ("R" goes there, "S" aligns the mount on it).
#pragma once

#include "mount/codec.h"
#include "mount/exchange.h"

#include <QString>
#include <optional>

namespace morvane {
class MountLink;
}

namespace morvane::operations {

inline constexpr char kGotoLetter = 'R';
inline constexpr char kSyncLetter = 'S';

// Encodes the entry and queues the command on the link; `done` runs once the
// exchange has ended. When the entry cannot be encoded nothing is sent, `done`
// never runs, and the reason is returned.
std::optional<QString> sendCoordinates(MountLink& link, char letter,
                                       const codec::SexagesimalEntry& entry, ExchangeCallback done);

}  // namespace morvane::operations
