// The mount's commands as bytes. Pure C++: every function here only builds
// strings of bytes (characters 0 to 255), it sends nothing.
#pragma once

#include "mount/codec.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace morvane::commands {

inline constexpr std::string_view kPositionQuery = "E";
inline constexpr std::string_view kGotoStatusQuery = "L";
inline constexpr std::string_view kHomeGoto = "B0000,0000";

// The mount answers these commands (goto, sync, Goto East, tracking, clock,
// motor) with a lone "#" once it has taken them.
bool isAcknowledged(std::string_view command);

// After these (goto, sync, Goto East, motor moves) the mount is elsewhere, or
// says it is: a position read before one of them no longer holds.
bool changesPosition(std::string_view command);

// "T" and the mode byte: 2 tracks, 0 stops.
std::string tracking(bool on);

// The local time and date the controller's clock is set to.
struct ClockReading {
    int year = 2000;  // four digits; only the year within the century is sent
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// "H", hour, minute, second, month, day, year within the century, 9, 0, 1.
std::string clockSetting(const ClockReading& reading);

inline constexpr std::uint8_t kRightAscensionMotor = 16;
inline constexpr std::uint8_t kDeclinationMotor = 17;
inline constexpr std::uint8_t kSlowGotoFunction = 23;
inline constexpr std::uint8_t kMovePositiveFunction = 36;
inline constexpr std::uint8_t kMoveNegativeFunction = 37;
inline constexpr std::uint8_t kSlewRate = 1;

// "P", the count of meaningful bytes after the address, the motor, the
// function, three data bytes and a final 0: eight bytes.
std::string motorCommand(std::uint8_t count, std::uint8_t motor, std::uint8_t function,
                         std::array<std::uint8_t, 3> data);

// A full circle is 16777216 motor steps; three bytes, most significant first.
std::array<std::uint8_t, 3> motorPositionBytes(double steps);

struct SlowGoto {
    std::string rightAscension;  // the command for motor 16
    std::string declination;     // the command for motor 17
    std::string error;           // why nothing can be sent
    bool ok() const { return error.empty(); }
};

// Both motors to the typed position. The declination goes in whole degrees
// (rounded, halves to even, then signed); a right ascension outside one turn
// wraps (24 h is 0 h).
SlowGoto slowGoto(const codec::SexagesimalEntry& entry);

// Each motor moved at rate 1, first positive then negative, right ascension
// first: four commands.
std::array<std::string, 4> slewSequence();

}  // namespace morvane::commands
