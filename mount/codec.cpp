#include "mount/codec.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

namespace morvane::codec {

namespace {

constexpr double kWordsPerCircle = 65536.0;

bool isSkipped(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The text with every blank, tab and line feed taken out: the parse ignores
// them wherever they stand, so "1 2" is 12 and "& H1 0" is 16.
std::string withoutBlanks(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (char c : text) {
        if (!isSkipped(c)) {
            kept.push_back(c);
        }
    }
    return kept;
}

// Reads the hexadecimal digits at the start of `digits`, at most `maxDigits`
// of them. Up to four digits make a 16-bit two's-complement value ("FFFF" is
// -1), as the reply words need. Five to eight digits make a 32-bit
// two's-complement value ("10000" is 65536, "FFFFFFFF" is -1). Beyond eight digits only
// the low 32 bits are kept (the last eight digits), as a 32-bit register
// would, so the result is always a whole number in the int32 range.
double readHex(std::string_view digits, std::size_t maxDigits) {
    std::uint32_t value = 0;
    std::size_t count = 0;
    for (char c : digits) {
        const int digit = hexDigitValue(c);
        if (digit < 0 || count == maxDigits) {
            break;
        }
        value = (value << 4) | static_cast<std::uint32_t>(digit);  // wraps mod 2^32
        ++count;
    }
    if (count <= 4) {
        return static_cast<double>(static_cast<std::int16_t>(static_cast<std::uint16_t>(value)));
    }
    return static_cast<double>(static_cast<std::int32_t>(value));
}

bool startsWithHexPrefix(std::string_view text) {
    return text.size() >= 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h');
}

// Decimal digits of the mantissa (with the point removed) and the exponent,
// turned into a double without any locale: the value is rebuilt as
// "0.<significant digits>e<exponent>" and read with std::from_chars.
// Exponents far outside the double range are settled before from_chars so
// that no huge exponent has to be written out or summed: too large gives an
// infinity of the number's sign, too small gives 0.
double decimalValue(bool negative, std::string_view intDigits, std::string_view fracDigits,
                    long long exponent) {
    std::string digits;
    digits.reserve(intDigits.size() + fracDigits.size());
    digits.append(intDigits);
    digits.append(fracDigits);

    std::size_t first = 0;
    while (first < digits.size() && digits[first] == '0') {
        ++first;
    }
    std::size_t end = digits.size();
    while (end > first && digits[end - 1] == '0') {
        --end;
    }
    if (first == end) {
        return 0.0;  // also for "-0": no negative zero comes out of the parse
    }

    // value = 0.<digits[first, end)> x 10^scale
    const long long scale =
        static_cast<long long>(intDigits.size()) - static_cast<long long>(first) + exponent;
    const double infinity = std::numeric_limits<double>::infinity();
    if (scale > 400) {
        return negative ? -infinity : infinity;
    }
    if (scale < -400) {
        return 0.0;
    }

    std::string normalised = "0.";
    normalised.append(digits, first, end - first);
    normalised.push_back('e');
    normalised.append(std::to_string(scale));

    double value = 0.0;
    const auto result =
        std::from_chars(normalised.data(), normalised.data() + normalised.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        if (scale > 0) {
            return negative ? -infinity : infinity;
        }
        return 0.0;
    }
    if (result.ec != std::errc()) {
        return 0.0;  // cannot happen: the text was built above
    }
    return negative ? -value : value;
}

// A number for a message: plain decimal where that reads naturally, the
// shortest text that reads back as the same double.
std::string formatNumber(double x) {
    if (std::isnan(x)) {
        return "not a number";
    }
    if (std::isinf(x)) {
        return x < 0 ? "-infinity" : "infinity";
    }
    if (x == 0.0) {
        return "0";
    }
    char buffer[64];
    const double magnitude = std::fabs(x);
    const auto format = (magnitude >= 1e-4 && magnitude < 1e15) ? std::chars_format::fixed
                                                                : std::chars_format::scientific;
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, x, format);
    return std::string(buffer, result.ptr);
}

// Uppercase hexadecimal without leading zeros ("0" for zero).
std::string hexDigits(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xFu]);
        value >>= 4;
    } while (value != 0);
    return text;
}

std::string atLeastTwo(std::string text) {
    if (text.size() < 2) {
        text.insert(text.begin(), '0');
    }
    return text;
}

// A 32-bit-or-smaller word as the right-ascension field: the high part
// floor(W / 256) without leading zeros but at least two digits (negative
// ones as their 32-bit two's complement, eight digits), then the low byte in
// two digits.
std::string rightAscensionField(std::int64_t word) {
    const std::int64_t high = (word >= 0) ? word / 256 : -((-word + 255) / 256);
    const std::int64_t low = word - high * 256;  // 0..255
    const auto highBits = static_cast<std::uint32_t>(static_cast<std::int32_t>(high));
    return atLeastTwo(hexDigits(highBits)) + atLeastTwo(hexDigits(static_cast<std::uint32_t>(low)));
}

std::string declinationError(double degrees) {
    return "Declination out of range: " + formatNumber(degrees) +
           " degrees; it must lie between -180 and +180.";
}

// Clamps a whole-valued double into the int range before converting, so no
// conversion is ever undefined.
int toInt(double wholeValue) {
    if (!(wholeValue >= static_cast<double>(std::numeric_limits<int>::min()))) {
        return std::numeric_limits<int>::min();
    }
    if (!(wholeValue <= static_cast<double>(std::numeric_limits<int>::max()))) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(wholeValue);
}

// At least two digits; a minus sign (never produced by the splits) goes in
// front of them.
std::string twoDigits(int value) {
    std::string text;
    if (value < 0) {
        text.push_back('-');
    }
    const long long magnitude = value < 0 ? -static_cast<long long>(value) : value;
    if (magnitude < 10) {
        text.push_back('0');
    }
    text += std::to_string(magnitude);
    return text;
}

}  // namespace

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

double roundHalfEven(double x) {
    if (!std::isfinite(x)) {
        return x;
    }
    const double below = std::floor(x);
    const double fraction = x - below;  // exact: x and floor(x) are close
    if (fraction > 0.5) {
        return below + 1.0;
    }
    if (fraction < 0.5) {
        return below;
    }
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

double lenientParse(std::string_view text) {
    const std::string kept = withoutBlanks(text);
    const std::string_view s = kept;

    if (startsWithHexPrefix(s)) {
        return readHex(s.substr(2), std::string_view::npos);
    }

    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }

    const std::size_t intStart = i;
    while (i < s.size() && isDigit(s[i])) {
        ++i;
    }
    const std::string_view intDigits = s.substr(intStart, i - intStart);

    std::string_view fracDigits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        const std::size_t fracStart = i;
        while (i < s.size() && isDigit(s[i])) {
            ++i;
        }
        fracDigits = s.substr(fracStart, i - fracStart);
    }

    if (intDigits.empty() && fracDigits.empty()) {
        return 0.0;  // empty, letters, a lone sign or a lone point
    }

    // An exponent counts only when at least one digit follows its letter and
    // optional sign; otherwise the number ends before the letter ("5E" is 5).
    long long exponent = 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::size_t j = i + 1;
        bool exponentNegative = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            exponentNegative = s[j] == '-';
            ++j;
        }
        if (j < s.size() && isDigit(s[j])) {
            // Saturates far beyond any double's exponent; decimalValue then
            // settles it as infinity or zero.
            constexpr long long kExponentCap = 1'000'000'000;
            while (j < s.size() && isDigit(s[j])) {
                if (exponent < kExponentCap) {
                    exponent = exponent * 10 + (s[j] - '0');
                }
                ++j;
            }
            if (exponentNegative) {
                exponent = -exponent;
            }
        }
    }

    return decimalValue(negative, intDigits, fracDigits, exponent);
}

Encoding encodeRightAscension(double hours, double minutes, double seconds) {
    const double v = (((hours + minutes / 60.0) + seconds / 3600.0) / 24.0) * kWordsPerCircle;
    const double whole = roundHalfEven(v);
    if (std::isnan(whole)) {
        return {{},
                "Right ascension out of range: the hours, minutes and seconds do not make a "
                "number."};
    }
    if (!(whole >= -2147483648.0 && whole <= 2147483647.0)) {
        const double typedHours = (hours + minutes / 60.0) + seconds / 3600.0;
        return {{},
                "Right ascension out of range: " + formatNumber(typedHours) +
                    " hours; it must lie between -786432 and +786432 hours."};
    }
    return {rightAscensionField(static_cast<std::int64_t>(whole)), {}};
}

Encoding encodeDeclination(std::string_view sign, double degrees, double arcminutes) {
    const bool south = sign == "-";
    const double angle = degrees + arcminutes / 60.0;
    const double x = (angle / 360.0) * kWordsPerCircle;
    const double whole = roundHalfEven(x);
    if (std::isnan(whole)) {
        return {{},
                "Declination out of range: the degrees and arcminutes do not make a number; it "
                "must lie between -180 and +180."};
    }
    const double shownAngle = south ? -angle : angle;
    if (!(whole >= -32768.0 && whole <= 32767.0)) {
        return {{}, declinationError(shownAngle)};
    }
    int word = static_cast<int>(whole);
    if (south) {
        if (word == -32768) {
            return {{}, declinationError(shownAngle)};
        }
        word = -word;
    }
    return {formatWord(static_cast<std::uint16_t>(word & 0xFFFF)), {}};
}

Encoding coordinatePair(char letter, const SexagesimalEntry& entry) {
    const double hours = lenientParse(entry.hours);
    const double minutes = lenientParse(entry.minutes);
    const double seconds = lenientParse(entry.seconds);
    const double degrees = lenientParse(entry.degrees);
    const double arcminutes = lenientParse(entry.arcminutes);

    const Encoding ra = encodeRightAscension(hours, minutes, seconds);
    if (!ra.ok()) {
        return ra;
    }
    const Encoding dec = encodeDeclination(entry.sign, degrees, arcminutes);
    if (!dec.ok()) {
        return dec;
    }
    std::string command;
    command.reserve(1 + ra.field.size() + 1 + dec.field.size());
    command.push_back(letter);
    command += ra.field;
    command.push_back(',');
    command += dec.field;
    return {command, {}};
}

double decodeField(std::string_view field) {
    // Same reading as lenientParse("&H" + field), limited to the four digits
    // a word has.
    const std::string kept = withoutBlanks(field);
    const double value = readHex(kept, 4);
    return (value / kWordsPerCircle) * 360.0;
}

std::string formatWord(std::uint16_t word) {
    std::string text = hexDigits(word);
    text.insert(0, 4 - text.size(), '0');
    return text;
}

RightAscension splitRightAscension(double degrees) {
    if (!std::isfinite(degrees)) {
        return {};
    }
    // A whole number of turns changes nothing; fmod is exact and leaves every
    // angle from -360 up to 360 (all that reply decoding gives) untouched, so
    // H below always lies from -24 to 23.
    const double r = std::fmod(degrees, 360.0);

    double h = std::floor((r / 360.0) * 24.0);
    const double q = ((r - (h / 24.0) * 360.0) / 360.0) * 24.0 * 60.0;
    double m = std::floor(q);
    double s = std::floor((q - m) * 60.0 + 0.5);
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
    return {toInt(h), toInt(m), toInt(s)};
}

Declination splitDeclination(double degrees) {
    if (std::isnan(degrees)) {
        return {};
    }
    Declination result;
    double delta = degrees;
    if (delta < 0) {
        result.sign = '-';
        delta = std::fabs(delta);
    }
    if (std::isinf(delta)) {
        result.degrees = std::numeric_limits<int>::max();
        return result;
    }
    double d = std::floor(delta);
    double a = std::floor((delta - d) * 60.0 + 0.5);
    if (a > 59) {
        a -= 60;
        d += 1;
    }
    // Beyond any angle a word can hold the degrees saturate at INT_MAX rather
    // than overflow.
    result.degrees = toInt(d);
    result.arcminutes = toInt(a);
    return result;
}

std::string positionText(const RightAscension& ra, const Declination& dec) {
    std::string text;
    text += twoDigits(ra.hours);
    text += ':';
    text += twoDigits(ra.minutes);
    text += ':';
    text += twoDigits(ra.seconds);
    text += " / ";
    text += dec.sign;
    text += twoDigits(dec.degrees);
    text += 'd';
    text += twoDigits(dec.arcminutes);
    text += '\'';
    return text;
}

std::string positionTextFromReply(std::string_view reply) {
    const std::string_view raField = reply.substr(0, 4);
    const std::string_view decField = reply.size() > 5 ? reply.substr(5, 4) : std::string_view{};
    return positionText(splitRightAscension(decodeField(raField)),
                        splitDeclination(decodeField(decField)));
}

}  // namespace morvane::codec
