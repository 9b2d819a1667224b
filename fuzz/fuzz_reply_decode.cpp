// Reply decoding and the position readout, on whatever bytes a mount (or a
// noisy line) might send. Decoded words are checked against exact integer
// arithmetic; the first eight bytes are also taken as an arbitrary double,
// whose split must still be a time of day and an angle.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "mount/codec.h"

using namespace morvane;
using fuzz::escaped;

namespace {

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The signed word a reply field stands for: blanks, tabs and line feeds
// dropped, then up to four leading hex digits; none is 0.
long referenceWord(std::string_view field) {
    std::string digits;
    for (char c : field) {
        if (c == ' ' || c == '\t' || c == '\n') {
            continue;
        }
        if (!isHexDigit(c) || digits.size() == 4) {
            break;
        }
        digits += c;
    }
    return std::int16_t(std::uint16_t(std::strtoul(digits.c_str(), nullptr, 16)));
}

long long floorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// The readout a word gives, worked in integers: a word is 675/512 seconds of
// time and 45/8192 degrees; the last unit is rounded half up, with carries.
std::string referenceReadout(long raWord, long decWord) {
    const long long second = floorDiv(2LL * raWord * 675 + 512, 1024);
    const long long ofDay = (second % 86400 + 86400) % 86400;
    const long long magnitude = decWord < 0 ? -decWord : decWord;
    const long long arcminutes = (120LL * 45 * magnitude + 8192) / 16384;
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld / %c%02lldd%02lld'", ofDay / 3600,
                  ofDay / 60 % 60, ofDay % 60, decWord < 0 ? '-' : '+', arcminutes / 60,
                  arcminutes % 60);
    return text;
}

std::string describe(double degrees) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", degrees);
    return text;
}

void checkSplitsOfAnyAngle(double degrees) {
    const codec::RightAscension ra = codec::splitRightAscension(degrees);
    FUZZ_REQUIRE(ra.hours >= 0 && ra.hours <= 23 && ra.minutes >= 0 && ra.minutes <= 59 &&
                     ra.seconds >= 0 && ra.seconds <= 59,
                 "any angle splits into a time of day", describe(degrees));
    const codec::Declination dec = codec::splitDeclination(degrees);
    FUZZ_REQUIRE(dec.sign == '+' || dec.sign == '-', "sign is + or -", describe(degrees));
    FUZZ_REQUIRE(std::isnan(degrees) || dec.sign == (degrees < 0 ? '-' : '+'),
                 "sign follows the angle", describe(degrees));
    FUZZ_REQUIRE(dec.degrees >= 0 && dec.arcminutes >= 0 && dec.arcminutes <= 59,
                 "any angle splits into degrees and arcminutes", describe(degrees));
    const std::size_t length = codec::positionText(ra, dec).size();
    FUZZ_REQUIRE(length >= 18 && length <= 28, "readout length", describe(degrees));
}

void checkField(std::string_view field) {
    const long word = referenceWord(field);
    const double degrees = codec::decodeField(field);
    FUZZ_REQUIRE(degrees == double(word) * 45.0 / 8192.0, "field decodes to its word's angle",
                 escaped(field) + " gave " + describe(degrees));
    FUZZ_REQUIRE(degrees >= -180.0 && degrees < 180.0, "decoded angle lies in [-180, 180)",
                 escaped(field));

    const codec::Declination dec = codec::splitDeclination(degrees);
    FUZZ_REQUIRE(dec.degrees >= 0 && dec.degrees <= 180 && dec.arcminutes >= 0 &&
                     dec.arcminutes <= 59 && (dec.degrees < 180 || dec.arcminutes == 0),
                 "a decoded declination is at most 180 degrees", escaped(field));
    checkSplitsOfAnyAngle(degrees);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);

    checkField(reply);
    const std::string_view raField = reply.substr(0, 4);
    const std::string_view decField = reply.size() > 5 ? reply.substr(5, 4) : std::string_view{};
    checkField(raField);
    checkField(decField);

    const std::string readout = codec::positionTextFromReply(reply);
    const std::string want = referenceReadout(referenceWord(raField), referenceWord(decField));
    FUZZ_REQUIRE(readout == want, "readout of a reply",
                 escaped(reply) + " read \"" + readout + "\", reference \"" + want + "\"");
    FUZZ_REQUIRE(readout.size() == 18 || readout.size() == 19, "readout length", readout);

    if (size >= sizeof(double)) {
        double degrees = 0;
        std::memcpy(&degrees, data, sizeof degrees);
        checkSplitsOfAnyAngle(degrees);
    }
    return 0;
}
