// Reply decoding and the readout, on whatever a mount or a noisy line sends,
// against integer arithmetic. The first eight bytes are also taken as any
// double, whose split must still be a time of day and an angle.
#include <cstring>

#include "fuzz_support.h"
#include "mount/codec.h"

using namespace morvane;

// Blanks, tabs and line feeds dropped, up to four leading hex digits (none is
// 0) as a signed word.
static long referenceWord(std::string_view field) {
    std::string digits;
    for (char c : field.substr(0, field.find_first_not_of(" \t\n0123456789ABCDEFabcdef")))
        if (c != ' ' && c != '\t' && c != '\n' && digits.size() < 4)
            digits += c;
    return std::int16_t(std::strtoul(digits.c_str(), nullptr, 16));
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    const std::string_view raField = reply.substr(0, 4);
    const std::string_view decField = reply.size() > 5 ? reply.substr(5, 4) : std::string_view{};
    for (const std::string_view field : {reply, raField, decField})
        fuzz::require(codec::decodeField(field) == double(referenceWord(field)) * 45.0 / 8192.0,
                      "a field decodes to its word's angle");

    // A word is 675/512 seconds of time and 45/8192 degrees; the last unit
    // shown is rounded half up, with carries.
    const long long second = (referenceWord(raField) * 1350LL + 512 + 1024 * 86400) / 1024 % 86400;
    const long decWord = referenceWord(decField);
    const long long arcminutes = (5400LL * std::labs(decWord) + 8192) / 16384;
    char want[64];
    std::snprintf(want, sizeof want, "%02lld:%02lld:%02lld / %c%02lldd%02lld'", second / 3600,
                  second / 60 % 60, second % 60, decWord < 0 ? '-' : '+', arcminutes / 60,
                  arcminutes % 60);
    fuzz::require(codec::positionTextFromReply(reply) == want, "the readout of a reply");

    double degrees = 0;
    std::memcpy(&degrees, data, std::min(size, sizeof degrees));
    const codec::RightAscension ra = codec::splitRightAscension(degrees);
    const codec::Declination dec = codec::splitDeclination(degrees);
    const std::size_t length = codec::positionText(ra, dec).size();
    fuzz::require(ra.hours >= 0 && ra.hours <= 23 && ra.minutes >= 0 && ra.minutes <= 59 &&
                      ra.seconds >= 0 && ra.seconds <= 59 &&
                      dec.sign == (degrees < 0 ? '-' : '+') && dec.degrees >= 0 &&
                      dec.arcminutes >= 0 && dec.arcminutes <= 59 && length >= 18 && length <= 28,
                  "any angle splits into a time of day and a sign, degrees and arcminutes");
    return 0;
}
