// The coordinate codec: typed numbers, wire fields, reply decoding, the
// sexagesimal split and the readout text.
#include <QtTest/QtTest>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "mount/codec.h"

using namespace morvane::codec;

namespace {

std::string_view view(const QByteArray& bytes) {
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Exact equality, telling +0 from -0 and treating NaN as equal to NaN.
bool identical(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b);
    }
    return a == b && std::signbit(a) == std::signbit(b);
}

QByteArray describe(double x) {
    return QByteArray::number(x, 'g', 17);
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --q;
    }
    return q;
}

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

class TestCodec : public QObject {
    Q_OBJECT

private slots:
    void lenientParse_data();
    void lenientParse();
    void lenientParseIgnoresTheLocale();

    void encoding_data();
    void encoding();
    void declinationOverflow_data();
    void declinationOverflow();
    void rightAscensionOverflow_data();
    void rightAscensionOverflow();
    void coordinatePair_data();
    void coordinatePair();

    void formatWord_data();
    void formatWord();
    void decodeField_data();
    void decodeField();
    void decodedWord_data();
    void decodedWord();
    void splitRightAscension_data();
    void splitRightAscension();
    void splitDeclination_data();
    void splitDeclination();
    void positionText_data();
    void positionText();
    void positionTextFromReply_data();
    void positionTextFromReply();

    void everyWordSplitsAsExactArithmetic();
    void wholeSecondsAndArcminutesRoundTrip();
};

// ---------------------------------------------------------------------------
// Lenient numeric parse

void TestCodec::lenientParse_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("5.5") << QByteArray("5.5") << 5.5;
    QTest::newRow("5,5 comma ends") << QByteArray("5,5") << 5.0;
    QTest::newRow("letters") << QByteArray("abc") << 0.0;
    QTest::newRow("empty") << QByteArray("") << 0.0;
    QTest::newRow("12abc") << QByteArray("12abc") << 12.0;
    QTest::newRow("1 2 blank inside") << QByteArray("1 2") << 12.0;
    QTest::newRow("two-digit box") << QByteArray("05") << 5.0;

    // Blanks, tabs and line feeds anywhere; a carriage return is not one.
    QTest::newRow("blanks around") << QByteArray("  7  ") << 7.0;
    QTest::newRow("tab lf inside") << QByteArray(" 1\t2\n.5 ") << 12.5;
    QTest::newRow("blank in exponent") << QByteArray("1 E 2") << 100.0;
    QTest::newRow("carriage return stops") << QByteArray("\r5") << 0.0;
    QTest::newRow("only blanks") << QByteArray(" \t\n ") << 0.0;

    // Signs.
    QTest::newRow("-5") << QByteArray("-5") << -5.0;
    QTest::newRow("+5") << QByteArray("+5") << 5.0;
    QTest::newRow("- 5 blank after sign") << QByteArray("- 5") << -5.0;
    QTest::newRow(" -5 blank before sign") << QByteArray(" -5") << -5.0;
    QTest::newRow("lone -") << QByteArray("-") << 0.0;
    QTest::newRow("lone +") << QByteArray("+") << 0.0;
    QTest::newRow("double sign") << QByteArray("--5") << 0.0;
    QTest::newRow("-0 is plain zero") << QByteArray("-0") << 0.0;
    QTest::newRow("-0.000 is plain zero") << QByteArray("-0.000") << 0.0;
    QTest::newRow("-abc") << QByteArray("-abc") << 0.0;

    // Decimal point.
    QTest::newRow("lone point") << QByteArray(".") << 0.0;
    QTest::newRow(".5") << QByteArray(".5") << 0.5;
    QTest::newRow("-.5") << QByteArray("-.5") << -0.5;
    QTest::newRow("5.") << QByteArray("5.") << 5.0;
    QTest::newRow("second point ends") << QByteArray("1.2.3") << 1.2;
    QTest::newRow("0.1 rounds as a literal") << QByteArray("0.1") << 0.1;
    QTest::newRow("leading zeros") << QByteArray("00012.50") << 12.5;
    QTest::newRow("30.5 seconds") << QByteArray("30.5") << 30.5;
    QTest::newRow("thousands comma") << QByteArray("1,000") << 1.0;
    QTest::newRow("many digits") << QByteArray("123456789012345678901234567890")
                                 << 123456789012345678901234567890.0;
    QTest::newRow("long fraction")
        << QByteArray("0.333333333333333333333333333333") << 0.333333333333333333333333333333;

    // Exponents: E or D, either case, optional sign.
    QTest::newRow("1E3") << QByteArray("1E3") << 1000.0;
    QTest::newRow("1e3") << QByteArray("1e3") << 1000.0;
    QTest::newRow("1D3") << QByteArray("1D3") << 1000.0;
    QTest::newRow("1d3") << QByteArray("1d3") << 1000.0;
    QTest::newRow("2.5E-2") << QByteArray("2.5E-2") << 0.025;
    QTest::newRow("2.5d-2") << QByteArray("2.5d-2") << 0.025;
    QTest::newRow("1E+2") << QByteArray("1E+2") << 100.0;
    QTest::newRow("-1.5D+1") << QByteArray("-1.5D+1") << -15.0;
    QTest::newRow(".5E1") << QByteArray(".5E1") << 5.0;
    QTest::newRow("5E0 hours") << QByteArray("5E0") << 5.0;
    QTest::newRow("exponent letter alone") << QByteArray("1E") << 1.0;
    QTest::newRow("exponent sign alone") << QByteArray("1E+") << 1.0;
    QTest::newRow("exponent then letter") << QByteArray("1Ex") << 1.0;
    QTest::newRow("exponent ends at point") << QByteArray("1E2.5") << 100.0;
    QTest::newRow("exponent without mantissa") << QByteArray("E5") << 0.0;
    QTest::newRow("point then exponent") << QByteArray(".E5") << 0.0;
    QTest::newRow("F is no exponent") << QByteArray("1F3") << 1.0;

    // Enormous and tiny exponents: an infinity of the number's sign, or 0.
    QTest::newRow("largest double")
        << QByteArray("1.7976931348623157E308") << std::numeric_limits<double>::max();
    QTest::newRow("just past the largest") << QByteArray("1.8E308") << kInf;
    QTest::newRow("1E400") << QByteArray("1E400") << kInf;
    QTest::newRow("-1D400") << QByteArray("-1D400") << -kInf;
    QTest::newRow("huge exponent digits") << QByteArray("1E99999999999999999999999") << kInf;
    QTest::newRow("huge negative exponent") << QByteArray("-1E-99999999999999999999") << 0.0;
    QTest::newRow("zero with huge exponent") << QByteArray("0E99999999999") << 0.0;
    QTest::newRow("smallest denormal")
        << QByteArray("4.9406564584124654E-324") << std::numeric_limits<double>::denorm_min();
    QTest::newRow("1E-400") << QByteArray("1E-400") << 0.0;
    QTest::newRow("many zeros then exponent")
        << QByteArray("0." + QByteArray(500, '0') + "1E510") << 1e9;

    // Hexadecimal after "&H".
    QTest::newRow("&H10") << QByteArray("&H10") << 16.0;
    QTest::newRow("&HFF") << QByteArray("&HFF") << 255.0;
    QTest::newRow("&hff lower case") << QByteArray("&hff") << 255.0;
    QTest::newRow("&H7FFF") << QByteArray("&H7FFF") << 32767.0;
    QTest::newRow("&H8000 negative word") << QByteArray("&H8000") << -32768.0;
    QTest::newRow("&HFFFF") << QByteArray("&HFFFF") << -1.0;
    QTest::newRow("&H alone") << QByteArray("&H") << 0.0;
    QTest::newRow("&HG") << QByteArray("&HG") << 0.0;
    QTest::newRow("&H1G stops at G") << QByteArray("&H1G") << 1.0;
    QTest::newRow("&H1.5 stops at point") << QByteArray("&H1.5") << 1.0;
    QTest::newRow("blanks in &H") << QByteArray(" & H 1 0 ") << 16.0;
    QTest::newRow("five digits, 32-bit") << QByteArray("&H10000") << 65536.0;
    QTest::newRow("&HFFFFFFFF") << QByteArray("&HFFFFFFFF") << -1.0;
    QTest::newRow("&H80000000") << QByteArray("&H80000000") << -2147483648.0;
    QTest::newRow("&H7FFFFFFF") << QByteArray("&H7FFFFFFF") << 2147483647.0;
    QTest::newRow("nine digits keep low 32 bits")
        << QByteArray("&H123456789") << static_cast<double>(0x23456789);
    QTest::newRow("sign before &H") << QByteArray("-&H10") << 0.0;
    QTest::newRow("0x is not hexadecimal") << QByteArray("0x10") << 0.0;
    QTest::newRow("&O is not read") << QByteArray("&O17") << 0.0;
}

void TestCodec::lenientParse() {
    QFETCH(QByteArray, text);
    QFETCH(double, expected);
    const double actual = morvane::codec::lenientParse(view(text));
    QVERIFY2(
        identical(actual, expected),
        QByteArray("got " + describe(actual) + ", expected " + describe(expected)).constData());
}

void TestCodec::lenientParseIgnoresTheLocale() {
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"};
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    const char* chosen = nullptr;
    for (const char* name : names) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            chosen = name;
            break;
        }
    }
    if (chosen == nullptr) {
        QSKIP("no locale with a decimal comma is installed");
    }
    const double point = morvane::codec::lenientParse("5.5");
    const double comma = morvane::codec::lenientParse("5,5");
    const double exponent = morvane::codec::lenientParse("2.5E-2");
    std::setlocale(LC_NUMERIC, before.c_str());
    QCOMPARE(point, 5.5);
    QCOMPARE(comma, 5.0);
    QCOMPARE(exponent, 0.025);
}

// ---------------------------------------------------------------------------
// Encoding

void TestCodec::encoding_data() {
    QTest::addColumn<double>("h");
    QTest::addColumn<double>("m");
    QTest::addColumn<double>("s");
    QTest::addColumn<QByteArray>("sign");
    QTest::addColumn<double>("d");
    QTest::addColumn<double>("a");
    QTest::addColumn<QByteArray>("raField");
    QTest::addColumn<QByteArray>("decField");

    // Positions worked out by hand.
    QTest::newRow("00 00 00; + 00 00") << 0.0 << 0.0 << 0.0 << QByteArray("+") << 0.0 << 0.0
                                       << QByteArray("0000") << QByteArray("0000");
    QTest::newRow("05 34 32; - 05 23") << 5.0 << 34.0 << 32.0 << QByteArray("-") << 5.0 << 23.0
                                       << QByteArray("3B79") << QByteArray("FC2C");
    QTest::newRow("00 05 37; + 00 00") << 0.0 << 5.0 << 37.0 << QByteArray("+") << 0.0 << 0.0
                                       << QByteArray("0100") << QByteArray("0000");
    QTest::newRow("01 00 00; - 00 01") << 1.0 << 0.0 << 0.0 << QByteArray("-") << 0.0 << 1.0
                                       << QByteArray("0AAB") << QByteArray("FFFD");
    QTest::newRow("12 00 00; + 90 00") << 12.0 << 0.0 << 0.0 << QByteArray("+") << 90.0 << 0.0
                                       << QByteArray("8000") << QByteArray("4000");
    QTest::newRow("12 00 00; - 90 00") << 12.0 << 0.0 << 0.0 << QByteArray("-") << 90.0 << 0.0
                                       << QByteArray("8000") << QByteArray("C000");
    QTest::newRow("18 30 00; + 45 00") << 18.0 << 30.0 << 0.0 << QByteArray("+") << 45.0 << 0.0
                                       << QByteArray("C555") << QByteArray("2000");
    QTest::newRow("23 59 59; - 89 59") << 23.0 << 59.0 << 59.0 << QByteArray("-") << 89.0 << 59.0
                                       << QByteArray("FFFF") << QByteArray("C003");
    QTest::newRow("24 00 00; + 00 00") << 24.0 << 0.0 << 0.0 << QByteArray("+") << 0.0 << 0.0
                                       << QByteArray("10000") << QByteArray("0000");

    // Right ascension edge cases.
    QTest::newRow("23 59 59.34 still four digits")
        << 23.0 << 59.0 << 59.34 << QByteArray("+") << 0.0 << 0.0 << QByteArray("FFFF")
        << QByteArray("0000");
    QTest::newRow("23 59 59.35 makes 10000") << 23.0 << 59.0 << 59.35 << QByteArray("+") << 0.0
                                             << 0.0 << QByteArray("10000") << QByteArray("0000");
    QTest::newRow("hours -1") << -1.0 << 0.0 << 0.0 << QByteArray("+") << 0.0 << 0.0
                              << QByteArray("FFFFFFF555") << QByteArray("0000");
    QTest::newRow("hours 5.5") << 5.5 << 0.0 << 0.0 << QByteArray("+") << 0.0 << 0.0
                               << QByteArray("3AAB") << QByteArray("0000");
    QTest::newRow("seconds 30.5") << 0.0 << 0.0 << 30.5 << QByteArray("+") << 0.0 << 0.0
                                  << QByteArray("0017") << QByteArray("0000");
    QTest::newRow("00 05 37.5 exactly 256") << 0.0 << 5.0 << 37.5 << QByteArray("+") << 0.0 << 0.0
                                            << QByteArray("0100") << QByteArray("0000");
    QTest::newRow("36 hours") << 36.0 << 0.0 << 0.0 << QByteArray("+") << 0.0 << 0.0
                              << QByteArray("18000") << QByteArray("0000");
    QTest::newRow("largest hours") << 786431.99 << 0.0 << 0.0 << QByteArray("+") << 0.0 << 0.0
                                   << QByteArray("7FFFFFE5") << QByteArray("0000");
    QTest::newRow("most negative hours") << -786432.0 << 0.0 << 0.0 << QByteArray("+") << 0.0 << 0.0
                                         << QByteArray("FF80000000") << QByteArray("0000");
    QTest::newRow("minutes -1") << 0.0 << -1.0 << 0.0 << QByteArray("+") << 0.0 << 0.0
                                << QByteArray("FFFFFFFFD2") << QByteArray("0000");
    // Halves go to the even word: 0.5 -> 0, 1.5 -> 2, 2.5 -> 2 (these hours
    // give exactly those v).
    QTest::newRow("RA v 0.5 to even") << 0.00018310546875 << 0.0 << 0.0 << QByteArray("+") << 0.0
                                      << 0.0 << QByteArray("0000") << QByteArray("0000");
    QTest::newRow("RA v 1.5 to even") << 0.00054931640625 << 0.0 << 0.0 << QByteArray("+") << 0.0
                                      << 0.0 << QByteArray("0002") << QByteArray("0000");
    QTest::newRow("RA v 2.5 to even") << 0.00091552734375 << 0.0 << 0.0 << QByteArray("+") << 0.0
                                      << 0.0 << QByteArray("0002") << QByteArray("0000");
    QTest::newRow("RA v -0.5 to even") << -0.00018310546875 << 0.0 << 0.0 << QByteArray("+") << 0.0
                                       << 0.0 << QByteArray("0000") << QByteArray("0000");
    QTest::newRow("RA v -1.5 to even") << -0.00054931640625 << 0.0 << 0.0 << QByteArray("+") << 0.0
                                       << 0.0 << QByteArray("FFFFFFFFFE") << QByteArray("0000");

    // Declination edge cases.
    QTest::newRow("sign - with zero") << 0.0 << 0.0 << 0.0 << QByteArray("-") << 0.0 << 0.0
                                      << QByteArray("0000") << QByteArray("0000");
    QTest::newRow("sign - with 5 30") << 0.0 << 0.0 << 0.0 << QByteArray("-") << 5.0 << 30.0
                                      << QByteArray("0000") << QByteArray("FC17");
    QTest::newRow("sign + with 5 30") << 0.0 << 0.0 << 0.0 << QByteArray("+") << 5.0 << 30.0
                                      << QByteArray("0000") << QByteArray("03E9");
    QTest::newRow("sign + with -5 30 is -4.5") << 0.0 << 0.0 << 0.0 << QByteArray("+") << -5.0
                                               << 30.0 << QByteArray("0000") << QByteArray("FCCD");
    QTest::newRow("sign blank-minus is plus") << 0.0 << 0.0 << 0.0 << QByteArray(" -") << 5.0
                                              << 30.0 << QByteArray("0000") << QByteArray("03E9");
    QTest::newRow("sign minus-blank is plus") << 0.0 << 0.0 << 0.0 << QByteArray("- ") << 5.0
                                              << 30.0 << QByteArray("0000") << QByteArray("03E9");
    QTest::newRow("sign -5 is plus") << 0.0 << 0.0 << 0.0 << QByteArray("-5") << 5.0 << 30.0
                                     << QByteArray("0000") << QByteArray("03E9");
    QTest::newRow("sign empty is plus") << 0.0 << 0.0 << 0.0 << QByteArray("") << 5.0 << 30.0
                                        << QByteArray("0000") << QByteArray("03E9");
    QTest::newRow("sign -- is plus") << 0.0 << 0.0 << 0.0 << QByteArray("--") << 5.0 << 30.0
                                     << QByteArray("0000") << QByteArray("03E9");
    QTest::newRow("sign unicode minus is plus")
        << 0.0 << 0.0 << 0.0 << QByteArray("\xe2\x88\x92") << 5.0 << 30.0 << QByteArray("0000")
        << QByteArray("03E9");
    QTest::newRow("sign N is plus") << 0.0 << 0.0 << 0.0 << QByteArray("N") << 5.0 << 30.0
                                    << QByteArray("0000") << QByteArray("03E9");
    QTest::newRow("arcminutes -1") << 0.0 << 0.0 << 0.0 << QByteArray("+") << 0.0 << -1.0
                                   << QByteArray("0000") << QByteArray("FFFD");
    QTest::newRow("+ 179 59") << 0.0 << 0.0 << 0.0 << QByteArray("+") << 179.0 << 59.0
                              << QByteArray("0000") << QByteArray("7FFD");
    QTest::newRow("- 179 59") << 0.0 << 0.0 << 0.0 << QByteArray("-") << 179.0 << 59.0
                              << QByteArray("0000") << QByteArray("8003");
    QTest::newRow("+ -180 is the lowest word") << 0.0 << 0.0 << 0.0 << QByteArray("+") << -180.0
                                               << 0.0 << QByteArray("0000") << QByteArray("8000");
    QTest::newRow("just below the upper limit")
        << 0.0 << 0.0 << 0.0 << QByteArray("+") << 179.9972534179687 << 0.0 << QByteArray("0000")
        << QByteArray("7FFF");
    QTest::newRow("the lower limit itself")
        << 0.0 << 0.0 << 0.0 << QByteArray("+") << -180.00274658203125 << 0.0 << QByteArray("0000")
        << QByteArray("8000");
    // Halves go to the even word.
    QTest::newRow("Dec x 0.5 to even") << 0.0 << 0.0 << 0.0 << QByteArray("+") << 0.00274658203125
                                       << 0.0 << QByteArray("0000") << QByteArray("0000");
    QTest::newRow("Dec x 1.5 to even") << 0.0 << 0.0 << 0.0 << QByteArray("+") << 0.00823974609375
                                       << 0.0 << QByteArray("0000") << QByteArray("0002");
    QTest::newRow("Dec x 2.5 to even") << 0.0 << 0.0 << 0.0 << QByteArray("+") << 0.01373291015625
                                       << 0.0 << QByteArray("0000") << QByteArray("0002");
    QTest::newRow("Dec x -1.5 to even") << 0.0 << 0.0 << 0.0 << QByteArray("+") << -0.00823974609375
                                        << 0.0 << QByteArray("0000") << QByteArray("FFFE");
    QTest::newRow("Dec - x 1.5 to even") << 0.0 << 0.0 << 0.0 << QByteArray("-") << 0.00823974609375
                                         << 0.0 << QByteArray("0000") << QByteArray("FFFE");
    QTest::newRow("Dec x 32766.5 to even")
        << 0.0 << 0.0 << 0.0 << QByteArray("+") << 179.99176025390625 << 0.0 << QByteArray("0000")
        << QByteArray("7FFE");
}

void TestCodec::encoding() {
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

void TestCodec::declinationOverflow_data() {
    QTest::addColumn<QByteArray>("sign");
    QTest::addColumn<double>("d");
    QTest::addColumn<double>("a");
    QTest::addColumn<QByteArray>("message");

    const auto message = [](const char* degrees) {
        return QByteArray("Declination out of range: ") + degrees +
               " degrees; it must lie between -180 and +180.";
    };
    QTest::newRow("+ 180") << QByteArray("+") << 180.0 << 0.0 << message("180");
    QTest::newRow("- 180") << QByteArray("-") << 180.0 << 0.0 << message("-180");
    QTest::newRow("- with -180") << QByteArray("-") << -180.0 << 0.0 << message("180");
    QTest::newRow("+ 179 60") << QByteArray("+") << 179.0 << 60.0 << message("180");
    QTest::newRow("+ 0 10800") << QByteArray("+") << 0.0 << 10800.0 << message("180");
    QTest::newRow("upper limit itself")
        << QByteArray("+") << 179.99725341796875 << 0.0 << message("179.99725341796875");
    QTest::newRow("just below the lower limit")
        << QByteArray("+") << -180.003 << 0.0 << message("-180.003");
    QTest::newRow("+ 360") << QByteArray("+") << 360.0 << 0.0 << message("360");
    QTest::newRow("- 1000 30") << QByteArray("-") << 1000.0 << 30.0 << message("-1000.5");
    QTest::newRow("+ 1e300") << QByteArray("+") << 1e300 << 0.0 << message("1e+300");
    QTest::newRow("+ infinity") << QByteArray("+") << kInf << 0.0 << message("infinity");
    QTest::newRow("- infinity") << QByteArray("-") << kInf << 0.0 << message("-infinity");
    QTest::newRow("+ NaN") << QByteArray("+") << kNaN << 0.0
                           << QByteArray(
                                  "Declination out of range: the degrees and arcminutes do "
                                  "not make a number; it must lie between -180 and +180.");
    QTest::newRow("inf minus inf") << QByteArray("+") << kInf << -kInf
                                   << QByteArray(
                                          "Declination out of range: the degrees and "
                                          "arcminutes do not make a number; it must lie "
                                          "between -180 and +180.");
}

void TestCodec::declinationOverflow() {
    QFETCH(QByteArray, sign);
    QFETCH(double, d);
    QFETCH(double, a);
    QFETCH(QByteArray, message);

    const Encoding dec = encodeDeclination(view(sign), d, a);
    QVERIFY(!dec.ok());
    QVERIFY(dec.field.empty());
    QCOMPARE(QByteArray::fromStdString(dec.error), message);
}

void TestCodec::rightAscensionOverflow_data() {
    QTest::addColumn<double>("h");
    QTest::addColumn<double>("m");
    QTest::addColumn<double>("s");
    QTest::addColumn<QByteArray>("message");

    const auto message = [](const char* hours) {
        return QByteArray("Right ascension out of range: ") + hours +
               " hours; it must lie between -786432 and +786432 hours.";
    };
    QTest::newRow("786432 hours") << 786432.0 << 0.0 << 0.0 << message("786432");
    QTest::newRow("a million hours") << 1e6 << 0.0 << 0.0 << message("1000000");
    QTest::newRow("below the most negative") << -786433.0 << 0.0 << 0.0 << message("-786433");
    QTest::newRow("in minutes") << 0.0 << 6e7 << 0.0 << message("1000000");
    QTest::newRow("1e300 seconds") << 0.0 << 0.0 << 3.6e303 << message("1e+300");
    QTest::newRow("infinite hours") << kInf << 0.0 << 0.0 << message("infinity");
    QTest::newRow("minus infinite seconds") << 0.0 << 0.0 << -kInf << message("-infinity");
    const QByteArray notANumber(
        "Right ascension out of range: the hours, minutes and seconds do not make a number.");
    QTest::newRow("NaN hours") << kNaN << 0.0 << 0.0 << notANumber;
    QTest::newRow("inf minus inf") << kInf << -kInf << 0.0 << notANumber;
}

void TestCodec::rightAscensionOverflow() {
    QFETCH(double, h);
    QFETCH(double, m);
    QFETCH(double, s);
    QFETCH(QByteArray, message);

    const Encoding ra = encodeRightAscension(h, m, s);
    QVERIFY(!ra.ok());
    QVERIFY(ra.field.empty());
    QCOMPARE(QByteArray::fromStdString(ra.error), message);
}

void TestCodec::coordinatePair_data() {
    QTest::addColumn<char>("letter");
    QTest::addColumn<QByteArray>("hours");
    QTest::addColumn<QByteArray>("minutes");
    QTest::addColumn<QByteArray>("seconds");
    QTest::addColumn<QByteArray>("sign");
    QTest::addColumn<QByteArray>("degrees");
    QTest::addColumn<QByteArray>("arcminutes");
    QTest::addColumn<QByteArray>("command");  // empty when it fails
    QTest::addColumn<QByteArray>("errorStart");

    const QByteArray none;
    QTest::newRow("GOTO second example")
        << 'R' << QByteArray("05") << QByteArray("34") << QByteArray("32") << QByteArray("-")
        << QByteArray("05") << QByteArray("23") << QByteArray("R3B79,FC2C") << none;
    QTest::newRow("Sync same position")
        << 'S' << QByteArray("05") << QByteArray("34") << QByteArray("32") << QByteArray("-")
        << QByteArray("05") << QByteArray("23") << QByteArray("S3B79,FC2C") << none;
    QTest::newRow("Overview GOTO")
        << 'R' << QByteArray("05") << QByteArray("34") << QByteArray("32") << QByteArray("+")
        << QByteArray("22") << QByteArray("01") << QByteArray("R3B79,0FA8") << none;
    QTest::newRow("initial boxes")
        << 'R' << QByteArray("00") << QByteArray("00") << QByteArray("00") << QByteArray("+")
        << QByteArray("00") << QByteArray("00") << QByteArray("R0000,0000") << none;
    QTest::newRow("hours 5.5") << 'R' << QByteArray("5.5") << QByteArray("00") << QByteArray("00")
                               << QByteArray("+") << QByteArray("00") << QByteArray("00")
                               << QByteArray("R3AAB,0000") << none;
    QTest::newRow("hours 5,5") << 'R' << QByteArray("5,5") << QByteArray("00") << QByteArray("00")
                               << QByteArray("+") << QByteArray("00") << QByteArray("00")
                               << QByteArray("R3555,0000") << none;
    QTest::newRow("hours 05") << 'R' << QByteArray("05") << QByteArray("00") << QByteArray("00")
                              << QByteArray("+") << QByteArray("00") << QByteArray("00")
                              << QByteArray("R3555,0000") << none;
    QTest::newRow("letters read 0")
        << 'R' << QByteArray("abc") << QByteArray("x") << QByteArray("") << QByteArray("+")
        << QByteArray("?") << QByteArray("") << QByteArray("R0000,0000") << none;
    QTest::newRow("blank inside") << 'R' << QByteArray("0 5") << QByteArray(" 0 0")
                                  << QByteArray("0 0 ") << QByteArray("+") << QByteArray("0 0")
                                  << QByteArray("0\t0") << QByteArray("R3555,0000") << none;
    QTest::newRow("exponent E") << 'R' << QByteArray("5E0") << QByteArray("0") << QByteArray("0")
                                << QByteArray("+") << QByteArray("9E1") << QByteArray("0")
                                << QByteArray("R3555,4000") << none;
    QTest::newRow("exponent D") << 'R' << QByteArray("0.5D1") << QByteArray("0") << QByteArray("0")
                                << QByteArray("+") << QByteArray("900d-1") << QByteArray("0")
                                << QByteArray("R3555,4000") << none;
    QTest::newRow("hexadecimal") << 'R' << QByteArray("&H5") << QByteArray("0") << QByteArray("0")
                                 << QByteArray("+") << QByteArray("&H5A") << QByteArray("0")
                                 << QByteArray("R3555,4000") << none;
    QTest::newRow("sign blank-minus")
        << 'R' << QByteArray("05") << QByteArray("34") << QByteArray("32") << QByteArray(" -")
        << QByteArray("05") << QByteArray("23") << QByteArray("R3B79,03D4") << none;
    QTest::newRow("sign minus-blank")
        << 'R' << QByteArray("05") << QByteArray("34") << QByteArray("32") << QByteArray("- ")
        << QByteArray("05") << QByteArray("23") << QByteArray("R3B79,03D4") << none;
    QTest::newRow("degrees -5 under +")
        << 'R' << QByteArray("0") << QByteArray("0") << QByteArray("0") << QByteArray("+")
        << QByteArray("-5") << QByteArray("30") << QByteArray("R0000,FCCD") << none;
    QTest::newRow("24 hours") << 'R' << QByteArray("24") << QByteArray("00") << QByteArray("00")
                              << QByteArray("+") << QByteArray("00") << QByteArray("00")
                              << QByteArray("R10000,0000") << none;
    QTest::newRow("hours -1") << 'R' << QByteArray("-1") << QByteArray("00") << QByteArray("00")
                              << QByteArray("+") << QByteArray("00") << QByteArray("00")
                              << QByteArray("RFFFFFFF555,0000") << none;
    QTest::newRow("Dec 180 fails")
        << 'R' << QByteArray("05") << QByteArray("34") << QByteArray("32") << QByteArray("+")
        << QByteArray("180") << QByteArray("00") << none
        << QByteArray("Declination out of range: 180 degrees");
    QTest::newRow("- with -180 fails")
        << 'S' << QByteArray("05") << QByteArray("34") << QByteArray("32") << QByteArray("-")
        << QByteArray("-180") << QByteArray("00") << none
        << QByteArray("Declination out of range: 180 degrees");
    QTest::newRow("huge hours fail")
        << 'R' << QByteArray("1E6") << QByteArray("00") << QByteArray("00") << QByteArray("+")
        << QByteArray("00") << QByteArray("00") << none
        << QByteArray("Right ascension out of range: 1000000 hours");
    QTest::newRow("enormous exponent fails")
        << 'R' << QByteArray("1E999") << QByteArray("00") << QByteArray("00") << QByteArray("+")
        << QByteArray("00") << QByteArray("00") << none
        << QByteArray("Right ascension out of range: infinity");
    QTest::newRow("both fail, RA first")
        << 'R' << QByteArray("1E6") << QByteArray("00") << QByteArray("00") << QByteArray("-")
        << QByteArray("180") << QByteArray("00") << none
        << QByteArray("Right ascension out of range:");
}

void TestCodec::coordinatePair() {
    QFETCH(char, letter);
    QFETCH(QByteArray, hours);
    QFETCH(QByteArray, minutes);
    QFETCH(QByteArray, seconds);
    QFETCH(QByteArray, sign);
    QFETCH(QByteArray, degrees);
    QFETCH(QByteArray, arcminutes);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, errorStart);

    SexagesimalEntry entry;
    entry.hours = hours.toStdString();
    entry.minutes = minutes.toStdString();
    entry.seconds = seconds.toStdString();
    entry.sign = sign.toStdString();
    entry.degrees = degrees.toStdString();
    entry.arcminutes = arcminutes.toStdString();

    const Encoding pair = morvane::codec::coordinatePair(letter, entry);
    if (errorStart.isEmpty()) {
        QVERIFY2(pair.ok(), pair.error.c_str());
        QCOMPARE(QByteArray::fromStdString(pair.field), command);
    } else {
        QVERIFY(!pair.ok());
        QVERIFY(pair.field.empty());
        QVERIFY2(QByteArray::fromStdString(pair.error).startsWith(errorStart), pair.error.c_str());
    }
}

// ---------------------------------------------------------------------------
// Decoding, splits and display

void TestCodec::formatWord_data() {
    QTest::addColumn<int>("word");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("0") << 0 << QByteArray("0000");
    QTest::newRow("FF") << 0xFF << QByteArray("00FF");
    QTest::newRow("100") << 0x100 << QByteArray("0100");
    QTest::newRow("ABCD") << 0xABCD << QByteArray("ABCD");
    QTest::newRow("FFFF") << 0xFFFF << QByteArray("FFFF");
}

void TestCodec::formatWord() {
    QFETCH(int, word);
    QFETCH(QByteArray, text);
    QCOMPARE(
        QByteArray::fromStdString(morvane::codec::formatWord(static_cast<std::uint16_t>(word))),
        text);
}

void TestCodec::decodeField_data() {
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<double>("degrees");

    QTest::newRow("0000") << QByteArray("0000") << 0.0;
    QTest::newRow("0001") << QByteArray("0001") << 0.0054931640625;
    QTest::newRow("4000") << QByteArray("4000") << 90.0;
    QTest::newRow("7FFF") << QByteArray("7FFF") << 179.9945068359375;
    QTest::newRow("8000") << QByteArray("8000") << -180.0;
    QTest::newRow("C000") << QByteArray("C000") << -90.0;
    QTest::newRow("FFFF") << QByteArray("FFFF") << -0.0054931640625;
    QTest::newRow("ffff lower case") << QByteArray("ffff") << -0.0054931640625;
    QTest::newRow("empty") << QByteArray("") << 0.0;
    QTest::newRow("not hexadecimal") << QByteArray("ZZZZ") << 0.0;
    QTest::newRow("terminator only") << QByteArray("#") << 0.0;
    QTest::newRow("stops at G") << QByteArray("12G4") << 0.098876953125;
    QTest::newRow("blanks skipped") << QByteArray(" 1 2") << 0.098876953125;
    QTest::newRow("short field") << QByteArray("12") << 0.098876953125;
    QTest::newRow("at most four digits") << QByteArray("12345") << 25.59814453125;
    QTest::newRow("sign is no digit") << QByteArray("-123") << 0.0;
    QTest::newRow("&H is no digit") << QByteArray("&H12") << 0.0;
}

void TestCodec::decodeField() {
    QFETCH(QByteArray, field);
    QFETCH(double, degrees);
    const double actual = morvane::codec::decodeField(view(field));
    QVERIFY2(identical(actual, degrees),
             QByteArray("got " + describe(actual) + ", expected " + describe(degrees)).constData());
}

void TestCodec::decodedWord_data() {
    QTest::addColumn<QByteArray>("word");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("m");
    QTest::addColumn<int>("s");
    QTest::addColumn<char>("sign");
    QTest::addColumn<int>("d");
    QTest::addColumn<int>("a");

    // Positions worked out by hand.
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
    // Halves upward: 0400 is 22 m 30 s exactly and 5 d 37.5'.
    QTest::newRow("0400 half arcminute up")
        << QByteArray("0400") << 0 << 22 << 30 << '+' << 5 << 38;
    // 8001 is -179 d 59.67': the arcminutes round to 60 and carry to 180.
    QTest::newRow("8001 carries to 180") << QByteArray("8001") << 12 << 0 << 1 << '-' << 180 << 0;
}

void TestCodec::decodedWord() {
    QFETCH(QByteArray, word);
    QFETCH(int, h);
    QFETCH(int, m);
    QFETCH(int, s);
    QFETCH(char, sign);
    QFETCH(int, d);
    QFETCH(int, a);

    const double degrees = morvane::codec::decodeField(view(word));
    const RightAscension ra = morvane::codec::splitRightAscension(degrees);
    QCOMPARE(ra.hours, h);
    QCOMPARE(ra.minutes, m);
    QCOMPARE(ra.seconds, s);
    const Declination dec = morvane::codec::splitDeclination(degrees);
    QCOMPARE(dec.sign, sign);
    QCOMPARE(dec.degrees, d);
    QCOMPARE(dec.arcminutes, a);
}

void TestCodec::splitRightAscension_data() {
    QTest::addColumn<double>("degrees");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("m");
    QTest::addColumn<int>("s");

    QTest::newRow("seconds carry into minutes and hours")
        << (1.0 + 59.0 / 60.0 + 59.6 / 3600.0) * 15.0 << 2 << 0 << 0;
    QTest::newRow("seconds carry into minutes")
        << (1.0 + 4.0 / 60.0 + 59.7 / 3600.0) * 15.0 << 1 << 5 << 0;
    QTest::newRow("24 hours wrap to 0")
        << (23.0 + 59.0 / 60.0 + 59.6 / 3600.0) * 15.0 << 0 << 0 << 0;
    QTest::newRow("just below zero wraps to 0") << -0.001 << 0 << 0 << 0;
    QTest::newRow("-0.01 degrees") << -0.01 << 23 << 59 << 58;
    QTest::newRow("-180 is 12 h") << -180.0 << 12 << 0 << 0;
    QTest::newRow("-90 is 18 h") << -90.0 << 18 << 0 << 0;
    QTest::newRow("half second up") << (37.5 / 3600.0) * 15.0 << 0 << 0 << 38;
    QTest::newRow("359.99") << 359.99 << 23 << 59 << 58;
    QTest::newRow("full turn") << 360.0 << 0 << 0 << 0;
    QTest::newRow("two turns and a half degree") << 720.5 << 0 << 2 << 0;
    QTest::newRow("minus a full turn") << -360.0 << 0 << 0 << 0;
    QTest::newRow("-400") << -400.0 << 21 << 20 << 0;
    QTest::newRow("NaN") << kNaN << 0 << 0 << 0;
    QTest::newRow("infinity") << kInf << 0 << 0 << 0;
}

void TestCodec::splitRightAscension() {
    QFETCH(double, degrees);
    QFETCH(int, h);
    QFETCH(int, m);
    QFETCH(int, s);
    const RightAscension ra = morvane::codec::splitRightAscension(degrees);
    QCOMPARE(ra.hours, h);
    QCOMPARE(ra.minutes, m);
    QCOMPARE(ra.seconds, s);
}

void TestCodec::splitDeclination_data() {
    QTest::addColumn<double>("degrees");
    QTest::addColumn<char>("sign");
    QTest::addColumn<int>("d");
    QTest::addColumn<int>("a");

    QTest::newRow("arcminute carry") << 1.0 + 59.6 / 60.0 << '+' << 2 << 0;
    QTest::newRow("arcminute carry south") << -(1.0 + 59.6 / 60.0) << '-' << 2 << 0;
    QTest::newRow("carry to 180") << 179.999 << '+' << 180 << 0;
    QTest::newRow("carry to -180") << -179.999 << '-' << 180 << 0;
    QTest::newRow("half arcminute up") << 5.625 << '+' << 5 << 38;
    QTest::newRow("negative zero is plus") << -0.0 << '+' << 0 << 0;
    QTest::newRow("just below zero") << -0.001 << '-' << 0 << 0;
    QTest::newRow("-5.5") << -5.5 << '-' << 5 << 30;
    QTest::newRow("NaN") << kNaN << '+' << 0 << 0;
    QTest::newRow("huge saturates") << 1e300 << '+' << std::numeric_limits<int>::max() << 0;
}

void TestCodec::splitDeclination() {
    QFETCH(double, degrees);
    QFETCH(char, sign);
    QFETCH(int, d);
    QFETCH(int, a);
    const Declination dec = morvane::codec::splitDeclination(degrees);
    QCOMPARE(dec.sign, sign);
    QCOMPARE(dec.degrees, d);
    QCOMPARE(dec.arcminutes, a);
}

void TestCodec::positionText_data() {
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("m");
    QTest::addColumn<int>("s");
    QTest::addColumn<char>("sign");
    QTest::addColumn<int>("d");
    QTest::addColumn<int>("a");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("initial") << 0 << 0 << 0 << '+' << 0 << 0 << QByteArray("00:00:00 / +00d00'");
    QTest::newRow("leading zeros")
        << 5 << 4 << 3 << '-' << 2 << 1 << QByteArray("05:04:03 / -02d01'");
    QTest::newRow("two digits") << 23 << 59 << 59 << '+' << 89 << 59
                                << QByteArray("23:59:59 / +89d59'");
    QTest::newRow("three digits stay")
        << 11 << 59 << 59 << '-' << 180 << 0 << QByteArray("11:59:59 / -180d00'");
}

void TestCodec::positionText() {
    QFETCH(int, h);
    QFETCH(int, m);
    QFETCH(int, s);
    QFETCH(char, sign);
    QFETCH(int, d);
    QFETCH(int, a);
    QFETCH(QByteArray, text);
    const RightAscension ra{h, m, s};
    const Declination dec{sign, d, a};
    QCOMPARE(QByteArray::fromStdString(morvane::codec::positionText(ra, dec)), text);
}

void TestCodec::positionTextFromReply_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("text");

    // Replies worked out by hand.
    QTest::newRow("34AB,12CE") << QByteArray("34AB,12CE") << QByteArray("04:56:15 / +26d27'");
    QTest::newRow("0000,0000") << QByteArray("0000,0000") << QByteArray("00:00:00 / +00d00'");
    QTest::newRow("FFFF,FFFF") << QByteArray("FFFF,FFFF") << QByteArray("23:59:59 / -00d00'");
    QTest::newRow("8000,C000") << QByteArray("8000,C000") << QByteArray("12:00:00 / -90d00'");

    // More of the same.
    QTest::newRow("with terminator")
        << QByteArray("34AB,12CE#") << QByteArray("04:56:15 / +26d27'");
    QTest::newRow("3B79,FC2C") << QByteArray("3B79,FC2C") << QByteArray("05:34:32 / -05d23'");
    QTest::newRow("three-digit degrees")
        << QByteArray("7FFF,7FFF") << QByteArray("11:59:59 / +180d00'");
    QTest::newRow("8000,8000") << QByteArray("8000,8000") << QByteArray("12:00:00 / -180d00'");
    QTest::newRow("lower case") << QByteArray("34ab,12ce") << QByteArray("04:56:15 / +26d27'");
    QTest::newRow("garbage") << QByteArray("####,####") << QByteArray("00:00:00 / +00d00'");
    QTest::newRow("short reply, no Dec") << QByteArray("34AB") << QByteArray("04:56:15 / +00d00'");
    QTest::newRow("short reply, part Dec")
        << QByteArray("34AB,12") << QByteArray("04:56:15 / +00d06'");
    QTest::newRow("short RA") << QByteArray("12") << QByteArray("00:00:24 / +00d00'");
    QTest::newRow("empty") << QByteArray("") << QByteArray("00:00:00 / +00d00'");
    QTest::newRow("fifth character ignored")
        << QByteArray("0000X4000") << QByteArray("00:00:00 / +90d00'");
}

void TestCodec::positionTextFromReply() {
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, text);
    QCOMPARE(QByteArray::fromStdString(morvane::codec::positionTextFromReply(view(reply))), text);
}

// ---------------------------------------------------------------------------
// Exhaustive checks

// Decoding and splitting in double precision must give the exact result for
// every word. Here the exact result comes from integers: a
// signed word v stands for v x 675/512 seconds of time and v x 45/8192 degrees.
void TestCodec::everyWordSplitsAsExactArithmetic() {
    int mismatches = 0;
    for (int word = 0; word < 65536; ++word) {
        const std::int64_t v = static_cast<std::int16_t>(static_cast<std::uint16_t>(word));
        const QByteArray field =
            QByteArray::fromStdString(morvane::codec::formatWord(static_cast<std::uint16_t>(word)));
        const double degrees = morvane::codec::decodeField(view(field));
        QCOMPARE(degrees, static_cast<double>(v) * 45.0 / 8192.0);  // decoding itself is exact

        // Right ascension, in units of 1/512 second of time.
        const std::int64_t n = v * 675;
        const std::int64_t hourUnits = 3600 * 512;
        const std::int64_t minuteUnits = 60 * 512;
        std::int64_t h = floorDiv(n, hourUnits);
        const std::int64_t withinHour = n - h * hourUnits;
        std::int64_t m = withinHour / minuteUnits;
        const std::int64_t withinMinute = withinHour - m * minuteUnits;
        std::int64_t s = floorDiv(2 * withinMinute + 512, 1024);  // halves up
        if (s > 59) {
            s -= 60;
            m += 1;
        }
        if (m > 59) {
            m -= 60;
            h += 1;
        }
        if (h > 23) {
            h -= 24;
        }
        if (h < 0) {
            h += 24;
        }
        // The same by rounding the whole time first, as a check on the above.
        const std::int64_t rounded = floorDiv(2 * n + 512, 1024);
        const std::int64_t ofDay = ((rounded % 86400) + 86400) % 86400;
        QCOMPARE(h * 3600 + m * 60 + s, ofDay);

        const RightAscension ra = morvane::codec::splitRightAscension(degrees);
        if (ra.hours != h || ra.minutes != m || ra.seconds != s) {
            ++mismatches;
            qWarning("RA word %04X: got %d:%d:%d, exact %lld:%lld:%lld", word, ra.hours, ra.minutes,
                     ra.seconds, static_cast<long long>(h), static_cast<long long>(m),
                     static_cast<long long>(s));
        }

        // Declination, in units of 1/8192 degree.
        const char sign = v < 0 ? '-' : '+';
        const std::int64_t magnitude = (v < 0 ? -v : v) * 45;
        std::int64_t d = magnitude / 8192;
        const std::int64_t rest = magnitude - d * 8192;
        std::int64_t a = (120 * rest + 8192) / 16384;  // halves up
        if (a > 59) {
            a -= 60;
            d += 1;
        }
        const Declination dec = morvane::codec::splitDeclination(degrees);
        if (dec.sign != sign || dec.degrees != d || dec.arcminutes != a) {
            ++mismatches;
            qWarning("Dec word %04X: got %c%d %d', exact %c%lld %lld'", word, dec.sign, dec.degrees,
                     dec.arcminutes, sign, static_cast<long long>(d), static_cast<long long>(a));
        }
    }
    QCOMPARE(mismatches, 0);
}

// Every whole second of the day and every whole arcminute that the Dec word
// can hold, sent through encoding, reply decoding and the split.
void TestCodec::wholeSecondsAndArcminutesRoundTrip() {
    int raFailures = 0;
    for (int second = 0; second < 86400; ++second) {
        const int h = second / 3600;
        const int m = second / 60 % 60;
        const int s = second % 60;
        const Encoding field = encodeRightAscension(h, m, s);
        QVERIFY2(field.ok(), field.error.c_str());
        QCOMPARE(field.field.size(), std::size_t{4});
        const RightAscension ra =
            morvane::codec::splitRightAscension(morvane::codec::decodeField(field.field));
        QVERIFY(ra.hours >= 0 && ra.hours <= 23 && ra.minutes >= 0 && ra.minutes <= 59 &&
                ra.seconds >= 0 && ra.seconds <= 59);
        const int back = ra.hours * 3600 + ra.minutes * 60 + ra.seconds;
        int difference = ((back - second) % 86400 + 86400) % 86400;  // across the 24 h wrap
        if (difference > 43200) {
            difference -= 86400;
        }
        if (difference < -1 || difference > 1) {
            ++raFailures;
            qWarning("RA %02d:%02d:%02d came back as %02d:%02d:%02d", h, m, s, ra.hours, ra.minutes,
                     ra.seconds);
        }
    }
    QCOMPARE(raFailures, 0);

    // From -179 d 59' to +179 d 59', typed as sign, degrees, arcminutes.
    int decFailures = 0;
    const int limit = 179 * 60 + 59;
    for (int total = -limit; total <= limit; ++total) {
        const int magnitude = total < 0 ? -total : total;
        const int d = magnitude / 60;
        const int a = magnitude % 60;
        const char* sign = total < 0 ? "-" : "+";
        const Encoding field = encodeDeclination(sign, d, a);
        QVERIFY2(field.ok(), field.error.c_str());
        QCOMPARE(field.field.size(), std::size_t{4});
        const Declination dec =
            morvane::codec::splitDeclination(morvane::codec::decodeField(field.field));
        if (dec.sign != sign[0] || dec.degrees != d || dec.arcminutes != a) {
            ++decFailures;
            qWarning("Dec %s%d %d' came back as %c%d %d'", sign, d, a, dec.sign, dec.degrees,
                     dec.arcminutes);
        }
    }
    QCOMPARE(decFailures, 0);

    // -180 d 00' can only be typed with the plus sign and negative degrees.
    const Encoding lowest = encodeDeclination("+", -180, 0);
    QVERIFY(lowest.ok());
    const Declination dec =
        morvane::codec::splitDeclination(morvane::codec::decodeField(lowest.field));
    QCOMPARE(dec.sign, '-');
    QCOMPARE(dec.degrees, 180);
    QCOMPARE(dec.arcminutes, 0);
    // A typed "- 00 00" comes back as plus.
    const Encoding southZero = encodeDeclination("-", 0, 0);
    QCOMPARE(morvane::codec::splitDeclination(morvane::codec::decodeField(southZero.field)).sign,
             '+');
}

QTEST_APPLESS_MAIN(TestCodec)
#include "test_codec.moc"
