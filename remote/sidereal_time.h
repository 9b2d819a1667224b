// Local apparent sidereal time for the Alpaca SiderealTime member, from the
// computer's UTC clock and the site's longitude, with the IAU SOFA routines
// (ERFA). Pure C++: no Qt.
#pragma once

#include <chrono>

namespace morvane::remote {

// Hours, 0 <= h < 24. `eastLongitude` in degrees, east positive. UT1 is
// taken as UTC (they differ by less than 0.9 s, about 0.0003 h of sidereal
// time), which is as good as a computer's clock.
double localApparentSiderealTime(std::chrono::system_clock::time_point utc, double eastLongitude);

}  // namespace morvane::remote
