// The coordinate codec: typed numbers, wire fields, reply decoding, the
// sexagesimal split and the readout text.
#include <QtTest/QtTest>

#include <clocale>
#include <cstdint>
#include <string>
#include <string_view>

#include "mount/codec.h"

using namespace morvane::codec;

Q_DECLARE_METATYPE(morvane::codec::SexagesimalEntry)

namespace {

std::string_view view(const QByteArray& bytes) {
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

void encodingRow(const char* name, double h, double m, double s, const char* sign, double d,
                 double a, const char* raField, const char* decField) {
    QTest::newRow(name) << h << m << s << QByteArray(sign) << d << a << QByteArray(raField)
                        << QByteArray(decField);
}

void splitColumns() {
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("m");
    QTest::addColumn<int>("s");
    QTest::addColumn<char>("sign");
    QTest::addColumn<int>("d");
    QTest::addColumn<int>("a");
}

// Both splits of one angle against the expected readout.
void checkSplits(double degrees) {
    QFETCH(int, h);
    QFETCH(int, m);
    QFETCH(int, s);
    QFETCH(char, sign);
    QFETCH(int, d);
    QFETCH(int, a);
    const RightAscension ra = splitRightAscension(degrees);
    QCOMPARE(ra.hours, h);
    QCOMPARE(ra.minutes, m);
    QCOMPARE(ra.seconds, s);
    const Declination dec = splitDeclination(degrees);
    QCOMPARE(dec.sign, sign);
    QCOMPARE(dec.degrees, d);
    QCOMPARE(dec.arcminutes, a);
}

}  // namespace

class TestCodec : public QObject {
    Q_OBJECT

private slots:
    void lenientParse_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("5.5") << QByteArray("5.5") << 5.5;
        QTest::newRow("comma ends the number") << QByteArray("5,5") << 5.0;
        QTest::newRow("letters") << QByteArray("abc") << 0.0;
        QTest::newRow("empty") << QByteArray("") << 0.0;
        QTest::newRow("numeric start") << QByteArray("12abc") << 12.0;
        QTest::newRow("blank inside") << QByteArray("1 2") << 12.0;
        QTest::newRow("tab and line feed") << QByteArray(" 1\t2\n.5 ") << 12.5;
        QTest::newRow("carriage return is not skipped") << QByteArray("\r5") << 0.0;
        QTest::newRow("second point ends") << QByteArray("1.2.3") << 1.2;
        QTest::newRow("-.5") << QByteArray("-.5") << -0.5;
        QTest::newRow("blank after sign") << QByteArray("- 5") << -5.0;
        QTest::newRow("lone -") << QByteArray("-") << 0.0;
        QTest::newRow("lone +") << QByteArray("+") << 0.0;
        QTest::newRow("E exponent") << QByteArray("2.5E-2") << 0.025;
        QTest::newRow("d exponent") << QByteArray("1d3") << 1000.0;
        QTest::newRow("D exponent, signs") << QByteArray("-1.5D+1") << -15.0;
        QTest::newRow("exponent without digits") << QByteArray("1E+") << 1.0;
        QTest::newRow("&H10") << QByteArray("&H10") << 16.0;
        QTest::newRow("&hff") << QByteArray("&hff") << 255.0;
        QTest::newRow("&HFFFF is -1") << QByteArray("&HFFFF") << -1.0;
        QTest::newRow("&H8000") << QByteArray("&H8000") << -32768.0;
        QTest::newRow("&H10000, 32-bit") << QByteArray("&H10000") << 65536.0;
        QTest::newRow("&HFFFFFFFF") << QByteArray("&HFFFFFFFF") << -1.0;
        QTest::newRow("blanks in &H") << QByteArray(" & H 1 0 ") << 16.0;
        QTest::newRow("&H alone") << QByteArray("&H") << 0.0;
        QTest::newRow("sign before &H") << QByteArray("-&H10") << 0.0;
    }
    void lenientParse() {
        QFETCH(QByteArray, text);
        QFETCH(double, expected);
        QCOMPARE(morvane::codec::lenientParse(view(text)), expected);
    }

    // A Qt application takes the user's locale for LC_NUMERIC; a decimal
    // comma there must not change how "5.5" reads.
    void lenientParseIgnoresTheLocale() {
        const std::string before = std::setlocale(LC_NUMERIC, nullptr);
        bool found = false;
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
            found = found || std::setlocale(LC_NUMERIC, name) != nullptr;
        }
        if (!found) {
            QSKIP("no locale with a decimal comma is installed");
        }
        const double point = morvane::codec::lenientParse("5.5");
        const double comma = morvane::codec::lenientParse("5,5");
        std::setlocale(LC_NUMERIC, before.c_str());
        QCOMPARE(point, 5.5);
        QCOMPARE(comma, 5.0);
    }

    void encoding_data() {
        QTest::addColumn<double>("h");
        QTest::addColumn<double>("m");
        QTest::addColumn<double>("s");
        QTest::addColumn<QByteArray>("sign");
        QTest::addColumn<double>("d");
        QTest::addColumn<double>("a");
        QTest::addColumn<QByteArray>("raField");
        QTest::addColumn<QByteArray>("decField");

        // Worked by hand.
        encodingRow("00 00 00; + 00 00", 0, 0, 0, "+", 0, 0, "0000", "0000");
        encodingRow("05 34 32; - 05 23", 5, 34, 32, "-", 5, 23, "3B79", "FC2C");
        encodingRow("00 05 37; + 00 00", 0, 5, 37, "+", 0, 0, "0100", "0000");
        encodingRow("01 00 00; - 00 01", 1, 0, 0, "-", 0, 1, "0AAB", "FFFD");
        encodingRow("12 00 00; + 90 00", 12, 0, 0, "+", 90, 0, "8000", "4000");
        encodingRow("12 00 00; - 90 00", 12, 0, 0, "-", 90, 0, "8000", "C000");
        encodingRow("18 30 00; + 45 00", 18, 30, 0, "+", 45, 0, "C555", "2000");
        encodingRow("23 59 59; - 89 59", 23, 59, 59, "-", 89, 59, "FFFF", "C003");
        encodingRow("24 00 00; + 00 00", 24, 0, 0, "+", 0, 0, "10000", "0000");

        encodingRow("hours -1", -1, 0, 0, "+", 0, 0, "FFFFFFF555", "0000");
        encodingRow("- 00 00", 0, 0, 0, "-", 0, 0, "0000", "0000");
        encodingRow("+ -180 is the lowest word", 0, 0, 0, "+", -180, 0, "0000", "8000");
        encodingRow("sign + with -5 30", 0, 0, 0, "+", -5, 30, "0000", "FCCD");
        // Only the exact text "-" means south.
        encodingRow("sign -", 0, 0, 0, "-", 5, 30, "0000", "FC17");
        encodingRow("sign +", 0, 0, 0, "+", 5, 30, "0000", "03E9");
        encodingRow("sign blank-minus", 0, 0, 0, " -", 5, 30, "0000", "03E9");
        encodingRow("sign minus-blank", 0, 0, 0, "- ", 5, 30, "0000", "03E9");
        encodingRow("sign -5", 0, 0, 0, "-5", 5, 30, "0000", "03E9");
        encodingRow("sign empty", 0, 0, 0, "", 5, 30, "0000", "03E9");
        // These hours and degrees make the unrounded word exactly 0.5, 2.5,
        // -0.5 and -1.5: halves go to the even neighbour.
        encodingRow("half 0.5", 0.00018310546875, 0, 0, "+", 0.00274658203125, 0, "0000", "0000");
        encodingRow("half 2.5", 0.00091552734375, 0, 0, "+", 0.01373291015625, 0, "0002", "0002");
        encodingRow("half -0.5", -0.00018310546875, 0, 0, "+", -0.00274658203125, 0, "0000",
                    "0000");
        encodingRow("half -1.5", -0.00054931640625, 0, 0, "-", 0.00823974609375, 0, "FFFFFFFFFE",
                    "FFFE");
    }
    void encoding() {
        QFETCH(double, h);
        QFETCH(double, m);
        QFETCH(double, s);
        QFETCH(QByteArray, sign);
        QFETCH(double, d);
        QFETCH(double, a);
        QFETCH(QByteArray, raField);
        QFETCH(QByteArray, decField);
        const Encoding ra = encodeRightAscension(h, m, s);
        QVERIFY2(ra.ok(), ra.error.c_str());
        QCOMPARE(QByteArray::fromStdString(ra.field), raField);
        const Encoding dec = encodeDeclination(view(sign), d, a);
        QVERIFY2(dec.ok(), dec.error.c_str());
        QCOMPARE(QByteArray::fromStdString(dec.field), decField);
    }

    void coordinatePair_data() {
        QTest::addColumn<char>("letter");
        QTest::addColumn<SexagesimalEntry>("entry");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("errorStart");
        using E = SexagesimalEntry;
        QTest::newRow("GOTO") << 'R' << E{"05", "34", "32", "-", "05", "23"}
                              << QByteArray("R3B79,FC2C") << QByteArray();
        QTest::newRow("Sync") << 'S' << E{"05", "34", "32", "+", "22", "01"}
                              << QByteArray("S3B79,0FA8") << QByteArray();
        QTest::newRow("every box lenient") << 'R' << E{"5,5", "3 4", "3.2E1", "-", "&H5", "2\t3"}
                                           << QByteArray("R3B79,FC2C") << QByteArray();
        QTest::newRow("+ 180") << 'R' << E{"05", "34", "32", "+", "180", "00"} << QByteArray()
                               << QByteArray(
                                      "Declination out of range: 180 degrees; it must lie "
                                      "between -180 and +180.");
        QTest::newRow("- 180") << 'R' << E{"05", "34", "32", "-", "180", "00"} << QByteArray()
                               << QByteArray("Declination out of range: -180 degrees");
        QTest::newRow("- with -180")
            << 'S' << E{"05", "34", "32", "-", "-180", "00"} << QByteArray()
            << QByteArray("Declination out of range: 180 degrees");
        QTest::newRow("a million hours")
            << 'R' << E{"1E6", "00", "00", "+", "00", "00"} << QByteArray()
            << QByteArray("Right ascension out of range: 1000000");
        QTest::newRow("both fail, RA told")
            << 'R' << E{"1E6", "00", "00", "+", "180", "00"} << QByteArray()
            << QByteArray("Right ascension out of range");
    }
    void coordinatePair() {
        QFETCH(char, letter);
        QFETCH(SexagesimalEntry, entry);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, errorStart);
        const Encoding pair = morvane::codec::coordinatePair(letter, entry);
        QCOMPARE(QByteArray::fromStdString(pair.field), command);
        QVERIFY2(QByteArray::fromStdString(pair.error).startsWith(errorStart), pair.error.c_str());
        QCOMPARE(pair.ok(), errorStart.isEmpty());
    }

    void decodedWord_data() {
        QTest::addColumn<QByteArray>("word");
        splitColumns();
        // Worked by hand.
        QTest::newRow("0000") << QByteArray("0000") << 0 << 0 << 0 << '+' << 0 << 0;
        QTest::newRow("0001") << QByteArray("0001") << 0 << 0 << 1 << '+' << 0 << 0;
        QTest::newRow("0100") << QByteArray("0100") << 0 << 5 << 38 << '+' << 1 << 24;
        QTest::newRow("2AAA") << QByteArray("2AAA") << 3 << 59 << 59 << '+' << 60 << 0;
        QTest::newRow("3B79") << QByteArray("3B79") << 5 << 34 << 32 << '+' << 83 << 38;
        QTest::newRow("4000") << QByteArray("4000") << 6 << 0 << 0 << '+' << 90 << 0;
        QTest::newRow("7FFF") << QByteArray("7FFF") << 11 << 59 << 59 << '+' << 180 << 0;
        QTest::newRow("8000") << QByteArray("8000") << 12 << 0 << 0 << '-' << 180 << 0;
        QTest::newRow("C000") << QByteArray("C000") << 18 << 0 << 0 << '-' << 90 << 0;
        QTest::newRow("FC2C") << QByteArray("FC2C") << 23 << 38 << 28 << '-' << 5 << 23;
        QTest::newRow("FFFF") << QByteArray("FFFF") << 23 << 59 << 59 << '-' << 0 << 0;
    }
    void decodedWord() {
        QFETCH(QByteArray, word);
        checkSplits(decodeField(view(word)));
    }

    void splitCarries_data() {
        QTest::addColumn<double>("degrees");
        splitColumns();
        // 1 h 59 m 59.6 s; as a declination 29 d 59.9'.
        QTest::newRow("carry to hours")
            << (1 + 59 / 60.0 + 59.6 / 3600) * 15 << 2 << 0 << 0 << '+' << 30 << 0;
        QTest::newRow("24 h wrap to 0")
            << (23 + 59 / 60.0 + 59.6 / 3600) * 15 << 0 << 0 << 0 << '+' << 360 << 0;
        QTest::newRow("just below zero") << -0.001 << 0 << 0 << 0 << '-' << 0 << 0;
        QTest::newRow("negative zero") << -0.0 << 0 << 0 << 0 << '+' << 0 << 0;
        QTest::newRow("carry to -180") << -179.999 << 12 << 0 << 0 << '-' << 180 << 0;
    }
    void splitCarries() {
        QFETCH(double, degrees);
        checkSplits(degrees);
    }

    void readout_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("34AB,12CE") << QByteArray("34AB,12CE") << QByteArray("04:56:15 / +26d27'");
        QTest::newRow("0000,0000") << QByteArray("0000,0000") << QByteArray("00:00:00 / +00d00'");
        QTest::newRow("FFFF,FFFF") << QByteArray("FFFF,FFFF") << QByteArray("23:59:59 / -00d00'");
        QTest::newRow("8000,C000") << QByteArray("8000,C000") << QByteArray("12:00:00 / -90d00'");
        QTest::newRow("three-digit degrees")
            << QByteArray("8000,8000") << QByteArray("12:00:00 / -180d00'");
        QTest::newRow("lower case, terminator")
            << QByteArray("34ab,12ce#") << QByteArray("04:56:15 / +26d27'");
        QTest::newRow("fifth character ignored")
            << QByteArray("0000X4000") << QByteArray("00:00:00 / +90d00'");
        QTest::newRow("not hexadecimal")
            << QByteArray("####,####") << QByteArray("00:00:00 / +00d00'");
        QTest::newRow("blanks, two digits")
            << QByteArray(" 1 2, 1 2") << QByteArray("00:00:24 / +00d06'");
        QTest::newRow("short reply") << QByteArray("34AB,12") << QByteArray("04:56:15 / +00d06'");
        QTest::newRow("no Dec") << QByteArray("34AB") << QByteArray("04:56:15 / +00d00'");
    }
    void readout() {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, text);
        QCOMPARE(QByteArray::fromStdString(positionTextFromReply(view(reply))), text);
    }

    // Decoding and both splits of every word, in double precision, against
    // exact integers: a signed word v is v x 675/512 seconds of time and
    // v x 45/8192 degrees. Rounding halves up the whole time (or the whole
    // angle in arcminutes) gives the same as rounding the last unit and
    // carrying.
    void everyWordSplitsAsExactArithmetic() {
        for (int word = 0; word < 65536; ++word) {
            const std::int64_t v = static_cast<std::int16_t>(word);
            const QByteArray field = QByteArray::number(word, 16).toUpper().rightJustified(4, '0');
            const double degrees = decodeField(view(field));
            QVERIFY2(degrees == static_cast<double>(v) * 45.0 / 8192.0, field.constData());

            const std::int64_t second = floorDiv(2 * v * 675 + 512, 1024);
            const std::int64_t ofDay = (second % 86400 + 86400) % 86400;
            const RightAscension ra = splitRightAscension(degrees);
            QVERIFY2(ra.hours >= 0 && ra.hours <= 23 && ra.minutes >= 0 && ra.minutes <= 59 &&
                         ra.seconds >= 0 && ra.seconds <= 59 &&
                         ra.hours * 3600 + ra.minutes * 60 + ra.seconds == ofDay,
                     field.constData());

            const std::int64_t arcminutes = (120 * 45 * (v < 0 ? -v : v) + 8192) / 16384;
            const Declination dec = splitDeclination(degrees);
            QVERIFY2(dec.sign == (v < 0 ? '-' : '+') && dec.arcminutes >= 0 &&
                         dec.arcminutes <= 59 && dec.degrees * 60 + dec.arcminutes == arcminutes,
                     field.constData());
        }
    }

    // Every whole second of the day comes back within one second, and every
    // whole arcminute from -179 d 59' to +179 d 59' comes back exactly.
    void wholeSecondsAndArcminutesRoundTrip() {
        for (int second = 0; second < 86400; ++second) {
            const Encoding field =
                encodeRightAscension(second / 3600, second / 60 % 60, second % 60);
            QCOMPARE(field.field.size(), std::size_t{4});
            const RightAscension ra = splitRightAscension(decodeField(field.field));
            QVERIFY(ra.hours >= 0 && ra.hours <= 23 && ra.minutes >= 0 && ra.minutes <= 59 &&
                    ra.seconds >= 0 && ra.seconds <= 59);
            // One second early, exact or one second late, counted across midnight.
            const int back = ra.hours * 3600 + ra.minutes * 60 + ra.seconds;
            QVERIFY2((back - second + 86401) % 86400 <= 2, QByteArray::number(second).constData());
        }
        for (int total = -(179 * 60 + 59); total <= 179 * 60 + 59; ++total) {
            const int magnitude = total < 0 ? -total : total;
            const Encoding field =
                encodeDeclination(total < 0 ? "-" : "+", magnitude / 60, magnitude % 60);
            QCOMPARE(field.field.size(), std::size_t{4});
            const Declination dec = splitDeclination(decodeField(field.field));
            QCOMPARE(dec.sign, total < 0 ? '-' : '+');
            QCOMPARE(dec.degrees, magnitude / 60);
            QCOMPARE(dec.arcminutes, magnitude % 60);
        }
    }
};

QTEST_APPLESS_MAIN(TestCodec)
#include "test_codec.moc"
