// Altitude and azimuth against the classical formulas worked here without
// ERFA: the J2000 place precessed to the date (IAU 1976), mean sidereal time
// (IAU 1982), the spherical triangle. What they leave out (nutation,
// aberration) moves a star by less than 0.01 degree.
#include "operations/sky_position.h"

#include <QTest>
#include <cmath>

using namespace morvane::operations;
Q_DECLARE_METATYPE(Site)
Q_DECLARE_METATYPE(Equatorial)

namespace {

Horizontal classical(Equatorial star, const Site& site, double julianDate) {
    using std::cos, std::sin;
    const double rad = M_PI / 180, days = julianDate - 2451545.0, t = days / 36525;
    const double zeta = (2306.2181 + 0.30188 * t) * t / 3600 * rad;
    const double z = (2306.2181 + 1.09468 * t) * t / 3600 * rad;
    const double th = (2004.3109 - 0.42665 * t) * t / 3600 * rad;
    const double a = star.rightAscension * 15 * rad + zeta, d = star.declination * rad;
    const double ra = z + std::atan2(cos(d) * sin(a), cos(th) * cos(d) * cos(a) - sin(th) * sin(d));
    const double dec = std::asin(sin(th) * cos(d) * cos(a) + cos(th) * sin(d));
    const double h = (280.46061837 + 360.98564736629 * days + site.longitude) * rad - ra;
    const double p = site.latitude * rad;
    const double alt = std::asin(sin(p) * sin(dec) + cos(p) * cos(dec) * cos(h));
    const double az =
        std::atan2(-cos(dec) * sin(h), sin(dec) * cos(p) - cos(dec) * cos(h) * sin(p));
    return {std::fmod(az / rad + 360, 360), alt / rad};
}

}  // namespace

class TestSkyPosition : public QObject {
    Q_OBJECT
private slots:
    void agreesWithTheClassicalFormulas_data() {
        QTest::addColumn<Site>("site");
        QTest::addColumn<qint64>("utc");  // seconds since 1970
        QTest::addColumn<Equatorial>("star");
        QTest::newRow("Greenwich, Betelgeuse, 2026-12-07 22:00")
            << Site{51.4769, -0.0005, 46} << qint64(1796680800) << Equatorial{5.919529, 7.407064};
        QTest::newRow("Sydney, Canopus, 2030-06-21 09:00")
            << Site{-33.87, 151.21, 58} << qint64(1908262800) << Equatorial{6.399197, -52.695661};
        QTest::newRow("Quito, Polaris, 2024-03-20 03:00")
            << Site{-0.18, -78.47, 2850} << qint64(1710903600) << Equatorial{2.530301, 89.264109};
        QTest::newRow("Honolulu, Achernar below the horizon, 2019-08-15 14:30")
            << Site{21.31, -157.86, 5} << qint64(1565879400) << Equatorial{1.628556, -57.236753};
    }

    void agreesWithTheClassicalFormulas() {
        QFETCH(Site, site);
        QFETCH(qint64, utc);
        QFETCH(Equatorial, star);
        const Horizontal expected = classical(star, site, utc / 86400.0 + 2440587.5);
        const Horizontal sky = horizontalFromJ2000(star, site, UtcTime(std::chrono::seconds(utc)));
        QVERIFY(std::abs(sky.altitude - expected.altitude) < 0.1);
        QVERIFY(std::abs(std::remainder(sky.azimuth - expected.azimuth, 360.0) *
                         std::cos(expected.altitude * M_PI / 180)) < 0.1);
    }
};

QTEST_APPLESS_MAIN(TestSkyPosition)
#include "test_sky_position.moc"
