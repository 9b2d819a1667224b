// One command as the mount read it off the wire: its exact bytes, whether it
// made sense, and the decoded fields the mount acts on. Pure C++.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

namespace morvane::sim {

enum class CommandKind {
    Command,    // complete and well formed: the mount obeys it
    Malformed,  // a byte where none of that kind belongs, or a value out of range
    Partial,    // the sender stopped (or the port went away) before the end
    Unknown,    // a lead byte that starts no command
};

enum class Verb {
    None,
    PositionQuery,    // "E"
    GotoStatusQuery,  // "L"
    Goto,             // "R" + pair
    Sync,             // "S" + pair
    HomeGoto,         // "B" + pair
    SetClock,         // "H" + 9 bytes
    Tracking,         // "T" + mode byte
    Motor,            // "P" + 7 bytes
};

// The values the controller's clock is set to; the year is within its century.
struct ClockSetting {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int month = 1;
    int day = 1;
    int yearInCentury = 0;
};

inline constexpr std::uint8_t kRightAscensionMotor = 16;
inline constexpr std::uint8_t kDeclinationMotor = 17;
inline constexpr std::uint8_t kSlowGotoFunction = 23;
inline constexpr std::uint8_t kMovePositiveFunction = 36;
inline constexpr std::uint8_t kMoveNegativeFunction = 37;

struct MotorCommand {
    std::uint8_t motor = 0;
    std::uint8_t function = 0;
    std::array<std::uint8_t, 3> data{};

    // The 24-bit position of a slow goto, most significant byte first.
    std::uint32_t position() const {
        return (std::uint32_t{data[0]} << 16) | (std::uint32_t{data[1]} << 8) | data[2];
    }
};

struct ParsedCommand {
    std::string bytes;
    CommandKind kind = CommandKind::Command;
    Verb verb = Verb::None;
    std::string meaning;

    // Coordinate pair (R, S, B). The right-ascension field may be longer than
    // four digits (24 h gives "10000", negative hours ten digits); the mount
    // keeps its low sixteen bits, which is the same angle modulo a full turn.
    std::string raField;
    std::string decField;
    std::uint16_t raWord = 0;
    std::uint16_t decWord = 0;

    ClockSetting clock;
    bool trackingOn = false;
    MotorCommand motor;
};

}  // namespace morvane::sim
