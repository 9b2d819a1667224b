#include "remote/sidereal_time.h"

#include <erfa.h>
#include <erfam.h>

#include <cmath>
#include <ctime>

namespace morvane::remote {

double localApparentSiderealTime(std::chrono::system_clock::time_point utc, double eastLongitude) {
    using namespace std::chrono;
    const auto sinceEpoch = utc.time_since_epoch();
    const auto wholeSeconds = floor<seconds>(sinceEpoch);
    const std::time_t t = static_cast<std::time_t>(wholeSeconds.count());
    std::tm calendar{};
    gmtime_r(&t, &calendar);
    const double second =
        static_cast<double>(calendar.tm_sec) + duration<double>(sinceEpoch - wholeSeconds).count();

    double utc1 = 0;
    double utc2 = 0;
    double tai1 = 0;
    double tai2 = 0;
    double tt1 = 0;
    double tt2 = 0;
    double ut11 = 0;
    double ut12 = 0;
    // A status above zero only warns of a date beyond the leap-second table;
    // the figures are still the best there are.
    if (eraDtf2d("UTC", calendar.tm_year + 1900, calendar.tm_mon + 1, calendar.tm_mday,
                 calendar.tm_hour, calendar.tm_min, second, &utc1, &utc2) < 0 ||
        eraUtctai(utc1, utc2, &tai1, &tai2) < 0 || eraTaitt(tai1, tai2, &tt1, &tt2) < 0 ||
        eraUtcut1(utc1, utc2, 0.0, &ut11, &ut12) < 0) {
        return 0.0;
    }
    const double greenwich = eraGst06a(ut11, ut12, tt1, tt2);
    const double local = eraAnp(greenwich + eastLongitude * ERFA_DD2R);
    const double hours = local * 12.0 / ERFA_DPI;
    return hours < 24.0 ? hours : 0.0;
}

}  // namespace morvane::remote
