// Splits the byte stream from the computer into commands. Commands carry no
// terminator, so the lead byte decides how much follows: a fixed count of raw
// bytes, or a coordinate pair that ends with its fourth declination digit.
// Pure C++ and clock-free: the caller supplies the time of every byte.
#pragma once

#include "simulator/parsed_command.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvane::sim {

class CommandParser {
public:
    // A command still incomplete this long after its last byte is given up as
    // partial: at 9600 baud a whole command takes about 10 ms.
    static constexpr std::chrono::milliseconds kQuietGap{100};
    // 24 h gives five digits and negative hours ten; nothing longer is sent.
    static constexpr int kMaxRightAscensionDigits = 10;
    static constexpr int kDeclinationDigits = 4;

    // Every record completed by this byte: a partial command given up because
    // the byte came after the quiet gap, then possibly the byte's own command.
    std::vector<ParsedCommand> feed(std::uint8_t byte, std::chrono::milliseconds time);

    // The pending command as partial, if its quiet gap has passed by now.
    std::optional<ParsedCommand> expire(std::chrono::milliseconds now);

    // The pending command as partial, whatever the time (the port went away).
    std::optional<ParsedCommand> flush();

    bool hasPending() const { return !m_pending.empty(); }
    // When the pending command will be given up, if there is one.
    std::optional<std::chrono::milliseconds> deadline() const;

private:
    enum class State { Idle, RightAscension, Declination, Fixed };

    std::optional<ParsedCommand> start(std::uint8_t byte);
    std::optional<ParsedCommand> continuePair(std::uint8_t byte);
    ParsedCommand finishPair();
    ParsedCommand finishFixed();
    ParsedCommand takeMalformed(const std::string& reason);
    ParsedCommand takePartial();
    ParsedCommand take(CommandKind kind);

    State m_state = State::Idle;
    Verb m_verb = Verb::None;
    std::string m_pending;
    std::size_t m_fixedLength = 0;
    int m_raDigits = 0;
    int m_decDigits = 0;
    std::chrono::milliseconds m_lastByteTime{0};
};

}  // namespace morvane::sim
