// The coordinate codec: typed numbers, wire fields, reply decoding, the
// sexagesimal split and the readout text.
#include <QtTest/QtTest>

#include <cstdint>
#include <string>
#include <string_view>

#include "mount/codec.h"
#include "mount/target_entry.h"

using namespace morvane::codec;

Q_DECLARE_METATYPE(morvane::codec::SexagesimalEntry)

namespace {

std::string_view view(const QByteArray& bytes) {
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

class TestCodec : public QObject {
    Q_OBJECT

private slots:
    void lenientParse_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("comma ends the number") << QByteArray("5,5") << 5.0;
        QTest::newRow("letters") << QByteArray("abc") << 0.0;
        QTest::newRow("numeric start") << QByteArray("12abc") << 12.0;
        QTest::newRow("blank inside") << QByteArray("1 2") << 12.0;
        QTest::newRow("tab and line feed") << QByteArray(" 1\t2\n.5 ") << 12.5;
        QTest::newRow("carriage return is not skipped") << QByteArray("\r5") << 0.0;
        QTest::newRow("second point ends") << QByteArray("1.2.3") << 1.2;
        QTest::newRow("-.5") << QByteArray("-.5") << -0.5;
        QTest::newRow("blank after sign") << QByteArray("- 5") << -5.0;
        QTest::newRow("lone -") << QByteArray("-") << 0.0;
        QTest::newRow("E exponent") << QByteArray("2.5E-2") << 0.025;
        QTest::newRow("d exponent") << QByteArray("1d3") << 1000.0;
        QTest::newRow("D exponent, signs") << QByteArray("-1.5D+1") << -15.0;
        QTest::newRow("exponent without digits") << QByteArray("1E+") << 1.0;
        QTest::newRow("&H10") << QByteArray("&H10") << 16.0;
        QTest::newRow("&HFFFF is -1") << QByteArray("&HFFFF") << -1.0;
        QTest::newRow("&H10000, 32-bit") << QByteArray("&H10000") << 65536.0;
        QTest::newRow("&HFFFFFFFF") << QByteArray("&HFFFFFFFF") << -1.0;
        QTest::newRow("blanks in &H") << QByteArray(" & H 1 0 ") << 16.0;
        QTest::newRow("sign before &H") << QByteArray("-&H10") << 0.0;
    }
    void lenientParse() {
        QFETCH(QByteArray, text);
        QFETCH(double, expected);
        QCOMPARE(morvane::codec::lenientParse(view(text)), expected);
    }

    // Typed boxes to the command, or to the start of the error that keeps it
    // from being sent.
    void coordinatePair_data() {
        QTest::addColumn<SexagesimalEntry>("entry");
        QTest::addColumn<QByteArray>("sent");
        const auto row = [](const char* name, SexagesimalEntry entry, const char* sent) {
            QTest::newRow(name) << entry << QByteArray(sent);
        };
        // Worked by hand.
        row("05 34 32; - 05 23", {"05", "34", "32", "-", "05", "23"}, "R3B79,FC2C");
        row("00 05 37; + 00 00", {"00", "05", "37", "+", "00", "00"}, "R0100,0000");
        row("01 00 00; - 00 01", {"01", "00", "00", "-", "00", "01"}, "R0AAB,FFFD");
        row("12 00 00; - 90 00", {"12", "00", "00", "-", "90", "00"}, "R8000,C000");
        row("18 30 00; + 45 00", {"18", "30", "00", "+", "45", "00"}, "RC555,2000");
        row("23 59 59; - 89 59", {"23", "59", "59", "-", "89", "59"}, "RFFFF,C003");
        row("24 00 00", {"24", "00", "00", "+", "00", "00"}, "R10000,0000");
        row("hours -1", {"-1", "00", "00", "+", "00", "00"}, "RFFFFFFF555,0000");
        row("+ -180 is the lowest word", {"00", "00", "00", "+", "-180", "00"}, "R0000,8000");
        row("sign + with -5 30", {"00", "00", "00", "+", "-5", "30"}, "R0000,FCCD");
        // Only the exact text "-" means south.
        row("sign -", {"00", "00", "00", "-", "5", "30"}, "R0000,FC17");
        row("sign blank-minus", {"00", "00", "00", " -", "5", "30"}, "R0000,03E9");
        row("sign -5", {"00", "00", "00", "-5", "5", "30"}, "R0000,03E9");
        row("every box lenient", {"5,5", "3 4", "3.2E1", "-", "&H5", "2\t3"}, "R3B79,FC2C");
        // These make the unrounded words exactly 0.5, 2.5, -0.5 and -1.5:
        // halves go to the even neighbour.
        row("half 0.5", {"0.00018310546875", "0", "0", "+", "0.00274658203125", "0"}, "R0000,0000");
        row("half 2.5", {"0.00091552734375", "0", "0", "+", "0.01373291015625", "0"}, "R0002,0002");
        row("half -0.5", {"-0.00018310546875", "0", "0", "+", "-0.00274658203125", "0"},
            "R0000,0000");
        row("half -1.5", {"-0.00054931640625", "0", "0", "-", "0.00823974609375", "0"},
            "RFFFFFFFFFE,FFFE");
        row("+ 180", {"05", "34", "32", "+", "180", "00"},
            "Declination out of range: 180 degrees; it must lie between -180 and +180.");
        row("- 180", {"05", "34", "32", "-", "180", "00"}, "Declination out of range: -180");
        row("- with -180", {"05", "34", "32", "-", "-180", "00"}, "Declination out of range: 180");
        row("a million hours", {"1E6", "00", "00", "+", "00", "00"},
            "Right ascension out of range: 1000000");
        row("both fail, RA told", {"1E6", "00", "00", "+", "180", "00"},
            "Right ascension out of range");
    }
    void coordinatePair() {
        QFETCH(SexagesimalEntry, entry);
        QFETCH(QByteArray, sent);
        const Encoding pair = morvane::codec::coordinatePair('R', entry);
        const bool refused = sent.contains(' ');  // commands hold no blank
        QCOMPARE(
            QByteArray::fromStdString(refused ? pair.error.substr(0, sent.size()) : pair.field),
            sent);
        QCOMPARE(pair.field.empty(), refused);
    }

    void readout_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("34AB,12CE") << QByteArray("34AB,12CE") << QByteArray("04:56:15 / +26d27'");
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

    // A remote client's target, shown in the boxes, must make the window's
    // GOTO send the very same words; angles go through the codec's rounding.
    void remoteTargetsRoundTripThroughTheBoxes() {
        for (int word = 0; word < 65536; ++word) {
            const auto w = static_cast<std::uint16_t>(word);
            const std::string field = formatWord(w);
            const std::string expected =
                "R" + field + "," + (word == 0x8000 ? std::string() : field);
            const Encoding pair = morvane::codec::coordinatePair('R', entryForWords({w, w}));
            QVERIFY2((word == 0x8000) ? !pair.ok() : pair.field == expected, field.c_str());
        }
        const std::optional<TargetWords> justBelow24h = wordsForAngles(23.9999, -90.0);
        QVERIFY(justBelow24h && *justBelow24h == (TargetWords{0x0000, 0xC000}));
        QVERIFY(!wordsForAngles(std::nan(""), 0.0) && !wordsForAngles(1.0, 180.0));
    }
};

QTEST_APPLESS_MAIN(TestCodec)
#include "test_codec.moc"
