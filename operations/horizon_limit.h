// The horizon limit: an altitude below which the mount is not sent, so that
// no goto, from the window or from another program, drives the telescope
// into its pier, its tripod or the ground. Pure C++: no Qt.
#pragma once

#include "operations/sky_position.h"

#include <optional>

namespace morvane::operations {

// A limit is an altitude in degrees within these bounds; none means off.
inline constexpr double kLowestHorizonLimit = -90.0;
inline constexpr double kHighestHorizonLimit = 90.0;

bool isHorizonLimit(double degrees);

// The target's altitude at `utc` when it lies below `limit`; nothing when it
// does not, or when there is no limit. A declination beyond a pole (the
// mount's word reaches to 180 degrees) points over that pole.
std::optional<double> altitudeBelowLimit(std::optional<double> limit, Equatorial target,
                                         const Site& site, UtcTime utc);

}  // namespace morvane::operations
