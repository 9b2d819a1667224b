// Where a J2000 position stands in the observer's sky, and back, and the
// local sidereal time: the IAU SOFA routines (ERFA) on the computer's UTC
// clock. Pure C++: no Qt. Every door that needs the sky as the observer
// sees it (a client's altitude and azimuth, a horizon) comes through here.
#pragma once

#include <chrono>

namespace morvane::operations {

// The observing site.
struct Site {
    double latitude = 0.0;   // degrees, north positive
    double longitude = 0.0;  // degrees, east positive
    double elevation = 0.0;  // metres above sea level
};

// The figures a site is taken with: latitude within +-90, longitude within
// +-180, elevation from the shore of the Dead Sea to well above any
// observatory (metres).
inline constexpr double kLowestElevation = -300.0;
inline constexpr double kHighestElevation = 10000.0;

struct Equatorial {
    double rightAscension = 0.0;  // hours, 0 <= h < 24, J2000
    double declination = 0.0;     // degrees
};

// Observed without refraction: the geometric sky of the site, so that a
// figure does not depend on a guess at the weather.
struct Horizontal {
    double azimuth = 0.0;   // degrees from north through east, 0 <= a < 360
    double altitude = 0.0;  // degrees above the horizon
};

using UtcTime = std::chrono::system_clock::time_point;

// UT1 is taken as UTC (they differ by less than 0.9 s, about 0.004 degrees
// of the sky's turn), which is as good as a computer's clock.
Horizontal horizontalFromJ2000(Equatorial position, const Site& site, UtcTime utc);
Equatorial j2000FromHorizontal(Horizontal position, const Site& site, UtcTime utc);

// Local apparent sidereal time in hours, 0 <= h < 24.
double localApparentSiderealTime(UtcTime utc, double eastLongitude);

}  // namespace morvane::operations
