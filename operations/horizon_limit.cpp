#include "operations/horizon_limit.h"

#include <cmath>

namespace morvane::operations {

bool isHorizonLimit(double degrees) {
    return degrees >= kLowestHorizonLimit && degrees <= kHighestHorizonLimit;
}

std::optional<double> altitudeBelowLimit(std::optional<double> limit, Equatorial target,
                                         const Site& site, UtcTime utc) {
    if (!limit) {
        return std::nullopt;
    }
    if (std::fabs(target.declination) > 90.0) {
        target.declination = std::copysign(180.0, target.declination) - target.declination;
        target.rightAscension = std::fmod(target.rightAscension + 12.0, 24.0);
    }
    const double altitude = horizontalFromJ2000(target, site, utc).altitude;
    if (altitude < *limit) {
        return altitude;
    }
    return std::nullopt;
}

}  // namespace morvane::operations
