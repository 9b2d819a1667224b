#include "mount/commands.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace morvane::commands {
namespace {

constexpr double kStepsPerTurn = 16777216.0;  // 2^24

char byte(int value) {
    return static_cast<char>(static_cast<unsigned char>(value));
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

bool ledBy(std::string_view command, std::string_view letters) {
    return !command.empty() && letters.find(command.front()) != std::string_view::npos;
}

}  // namespace

bool isAcknowledged(std::string_view command) {
    return ledBy(command, "RSBTHP");
}

bool changesPosition(std::string_view command) {
    return ledBy(command, "RSBP");
}

std::string tracking(bool on) {
    return std::string{'T', byte(on ? 2 : 0)};
}

std::string clockSetting(const ClockReading& r) {
    return std::string{'H',           byte(r.hour), byte(r.minute),     byte(r.second),
                       byte(r.month), byte(r.day),  byte(r.year % 100), byte(9),
                       byte(0),       byte(1)};
}

std::string motorCommand(std::uint8_t count, std::uint8_t motor, std::uint8_t function,
                         std::array<std::uint8_t, 3> data) {
    return std::string{'P',
                       static_cast<char>(count),
                       static_cast<char>(motor),
                       static_cast<char>(function),
                       static_cast<char>(data[0]),
                       static_cast<char>(data[1]),
                       static_cast<char>(data[2]),
                       byte(0)};
}

std::array<std::uint8_t, 3> motorPositionBytes(double steps) {
    // Modulo a full turn first: every byte then lies in 0 to 255, and a
    // negative position comes out as its 24-bit two's complement.
    double x = std::fmod(steps, kStepsPerTurn);
    if (x < 0) {
        x += kStepsPerTurn;
    }
    const auto whole = static_cast<std::uint32_t>(x);
    return {static_cast<std::uint8_t>(whole >> 16), static_cast<std::uint8_t>(whole >> 8),
            static_cast<std::uint8_t>(whole)};
}

SlowGoto slowGoto(const codec::SexagesimalEntry& entry) {
    const double h = codec::lenientParse(entry.hours);
    const double m = codec::lenientParse(entry.minutes);
    const double s = codec::lenientParse(entry.seconds);
    const double d = codec::lenientParse(entry.degrees);
    const double a = codec::lenientParse(entry.arcminutes);

    const double ra = ((h + m / 60) + s / 3600) / 24 * 360;
    if (!std::isfinite(ra)) {
        return {{},
                {},
                "Right ascension out of range: the hours, minutes and seconds do not make a "
                "number."};
    }

    // Whole degrees in 32 bits, as the mount's slow goto takes them.
    const double degrees = codec::roundHalfEven(d + a / 60);
    constexpr double kLow = std::numeric_limits<std::int32_t>::min();
    constexpr double kHigh = std::numeric_limits<std::int32_t>::max();
    const bool south = entry.sign == "-";
    if (!std::isfinite(degrees) || degrees < kLow || degrees > kHigh ||
        (south && degrees == kLow)) {
        return {{},
                {},
                "Declination out of range for Slow Goto: " + number(d + a / 60) +
                    " degrees; it must be a whole number of degrees between -2147483647 "
                    "and +2147483647."};
    }
    const double dec = south ? -degrees : degrees;

    const double p = std::floor(ra / 360 * kStepsPerTurn + 0.5);
    const double q = std::floor(dec / 360 * kStepsPerTurn + 0.5);
    return {motorCommand(4, kRightAscensionMotor, kSlowGotoFunction, motorPositionBytes(p)),
            motorCommand(4, kDeclinationMotor, kSlowGotoFunction, motorPositionBytes(q)),
            {}};
}

std::array<std::string, 4> slewSequence() {
    const std::array<std::uint8_t, 3> rate{kSlewRate, 0, 0};
    return {motorCommand(2, kRightAscensionMotor, kMovePositiveFunction, rate),
            motorCommand(2, kRightAscensionMotor, kMoveNegativeFunction, rate),
            motorCommand(2, kDeclinationMotor, kMovePositiveFunction, rate),
            motorCommand(2, kDeclinationMotor, kMoveNegativeFunction, rate)};
}

}  // namespace morvane::commands
