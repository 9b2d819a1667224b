#include "operations/sky_position.h"

#include <erfa.h>
#include <erfam.h>

#include <cmath>
#include <ctime>

namespace morvane::operations {
namespace {

// UTC as ERFA's two-part Julian date. A status above zero only warns of a
// date beyond the leap-second table; the figures are still the best there
// are, so only an impossible date gives none.
struct JulianUtc {
    double day = 0.0;
    double fraction = 0.0;
    bool valid = false;
};

JulianUtc julianUtc(UtcTime utc) {
    using namespace std::chrono;
    const auto sinceEpoch = utc.time_since_epoch();
    const auto wholeSeconds = floor<seconds>(sinceEpoch);
    const std::time_t t = static_cast<std::time_t>(wholeSeconds.count());
    std::tm calendar{};
    gmtime_r(&t, &calendar);
    const double second =
        static_cast<double>(calendar.tm_sec) + duration<double>(sinceEpoch - wholeSeconds).count();
    JulianUtc date;
    date.valid =
        eraDtf2d("UTC", calendar.tm_year + 1900, calendar.tm_mon + 1, calendar.tm_mday,
                 calendar.tm_hour, calendar.tm_min, second, &date.day, &date.fraction) >= 0;
    return date;
}

// No refraction: zero pressure turns it off; the other weather figures then
// do not matter.
constexpr double kNoPressure = 0.0;
constexpr double kTemperature = 0.0;
constexpr double kHumidity = 0.0;
constexpr double kWavelength = 0.55;  // micrometres: visible light

double hoursOf(double radians) {
    const double hours = eraAnp(radians) * 12.0 / ERFA_DPI;
    return hours < 24.0 ? hours : 0.0;
}

}  // namespace

Horizontal horizontalFromJ2000(Equatorial position, const Site& site, UtcTime utc) {
    const JulianUtc date = julianUtc(utc);
    double azimuth = 0.0;
    double zenithDistance = 0.0;
    double hourAngle = 0.0;
    double declination = 0.0;
    double rightAscension = 0.0;
    double equationOfOrigins = 0.0;
    if (!date.valid ||
        eraAtco13(position.rightAscension * ERFA_DPI / 12.0, position.declination * ERFA_DD2R, 0.0,
                  0.0, 0.0, 0.0, date.day, date.fraction, 0.0, site.longitude * ERFA_DD2R,
                  site.latitude * ERFA_DD2R, site.elevation, 0.0, 0.0, kNoPressure, kTemperature,
                  kHumidity, kWavelength, &azimuth, &zenithDistance, &hourAngle, &declination,
                  &rightAscension, &equationOfOrigins) < 0) {
        return {};
    }
    return {eraAnp(azimuth) * ERFA_DR2D, 90.0 - zenithDistance * ERFA_DR2D};
}

Equatorial j2000FromHorizontal(Horizontal position, const Site& site, UtcTime utc) {
    const JulianUtc date = julianUtc(utc);
    double rightAscension = 0.0;
    double declination = 0.0;
    if (!date.valid ||
        eraAtoc13("A", position.azimuth * ERFA_DD2R, (90.0 - position.altitude) * ERFA_DD2R,
                  date.day, date.fraction, 0.0, site.longitude * ERFA_DD2R,
                  site.latitude * ERFA_DD2R, site.elevation, 0.0, 0.0, kNoPressure, kTemperature,
                  kHumidity, kWavelength, &rightAscension, &declination) < 0) {
        return {};
    }
    return {hoursOf(rightAscension), declination * ERFA_DR2D};
}

double localApparentSiderealTime(UtcTime utc, double eastLongitude) {
    const JulianUtc date = julianUtc(utc);
    double tai1 = 0;
    double tai2 = 0;
    double tt1 = 0;
    double tt2 = 0;
    double ut11 = 0;
    double ut12 = 0;
    if (!date.valid || eraUtctai(date.day, date.fraction, &tai1, &tai2) < 0 ||
        eraTaitt(tai1, tai2, &tt1, &tt2) < 0 ||
        eraUtcut1(date.day, date.fraction, 0.0, &ut11, &ut12) < 0) {
        return 0.0;
    }
    return hoursOf(eraGst06a(ut11, ut12, tt1, tt2) + eastLongitude * ERFA_DD2R);
}

}  // namespace morvane::operations
