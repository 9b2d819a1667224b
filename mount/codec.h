// Translation between what the observer types (hours, minutes, seconds; sign,
// degrees, arcminutes) and the mount's 16-bit position words, and back again
// for the position readout. Pure functions: no Qt, no I/O, no state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvane::codec {

// Reads a typed number the forgiving way: blanks, tabs and line feeds are
// skipped anywhere, the longest numeric start is taken ("12abc" is 12, "1 2"
// is 12), "." is the only decimal point, a comma ends the number, E or D
// introduce an exponent, "&H" introduces hexadecimal, and no number reads 0.
// Never fails.
double lenientParse(std::string_view text);

// The value of one hexadecimal digit (either case), or -1.
int hexDigitValue(char c);

// The nearest whole number, a value exactly halfway going to the even
// neighbour, whatever the floating-point rounding mode is set to. Non-finite
// values come back unchanged.
double roundHalfEven(double x);

// The outcome of an encoding: the field on success, or a message that says
// what was out of range.
struct Encoding {
    std::string field;
    std::string error;
    bool ok() const { return error.empty(); }
};

// Right ascension to its wire field: four uppercase hex digits for 0 h up to
// 23 h 59 m 59.34 s, five for 24 h ("10000"), ten for negative hours
// ("FFFFFFF555" for -1 h). Fails only when the word does not fit 32 bits.
Encoding encodeRightAscension(double hours, double minutes, double seconds);

// Declination to its wire field, always four digits (two's complement). Only
// the exact sign text "-" means south. Fails when the angle does not fit the
// signed 16-bit word.
Encoding encodeDeclination(std::string_view sign, double degrees, double arcminutes);

// The six texts of a coordinate entry, as typed.
struct SexagesimalEntry {
    std::string hours = "00";
    std::string minutes = "00";
    std::string seconds = "00";
    std::string sign = "+";
    std::string degrees = "00";
    std::string arcminutes = "00";
};

// Letter + RA field + "," + Dec field, e.g. "R3B79,FC2C". Nothing is built
// when either field fails.
Encoding coordinatePair(char letter, const SexagesimalEntry& entry);

// A four-character reply field to signed degrees, -180 up to (not including)
// 180. Leading hex digits are read (at most four); none reads as 0.
double decodeField(std::string_view field);

// A 16-bit word as four uppercase hex digits ("00FF").
std::string formatWord(std::uint16_t word);

struct RightAscension {
    int hours = 0;    // 0..23
    int minutes = 0;  // 0..59
    int seconds = 0;  // 0..59
};

struct Declination {
    char sign = '+';  // '+' or '-'
    int degrees = 0;  // 0..180
    int arcminutes = 0;
};

// Degrees to hours, minutes and whole seconds (halves up, with carries;
// negative angles come back as 12 h to 24 h).
RightAscension splitRightAscension(double degrees);

// Degrees to sign, whole degrees and whole arcminutes (halves up, carry).
Declination splitDeclination(double degrees);

// "HH:MM:SS / +DDdMM'": every number with at least two digits.
std::string positionText(const RightAscension& ra, const Declination& dec);

// The readout for a position reply: characters 1-4 are the RA word and 6-9
// the Dec word; a short reply reads its missing characters as nothing.
std::string positionTextFromReply(std::string_view reply);

}  // namespace morvane::codec
