#include "simulator/command_parser.h"

#include "simulator/command_meaning.h"

#include <chrono>

namespace morvane::sim {

namespace {

// The wire carries uppercase digits only; a lowercase one means the sender's
// encoder is wrong, and the log should say so rather than hide it.
bool isWireHexDigit(std::uint8_t byte) {
    return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'F');
}

unsigned hexValue(char digit) {
    return digit <= '9' ? unsigned(digit - '0') : unsigned(digit - 'A' + 10);
}

std::uint16_t lowWord(std::string_view digits) {
    std::uint64_t value = 0;
    for (char digit : digits) {
        value = (value << 4) | hexValue(digit);
    }
    return static_cast<std::uint16_t>(value & 0xFFFF);
}

std::string describeByte(std::uint8_t byte) {
    if (byte >= 0x20 && byte < 0x7F) {
        return textf("'%c' (%02X)", char(byte), byte);
    }
    return textf("byte %02X", byte);
}

bool isCalendarDate(const ClockSetting& clock) {
    using namespace std::chrono;
    const year_month_day date{year{2000 + clock.yearInCentury}, month(unsigned(clock.month)),
                              day(unsigned(clock.day))};
    return date.ok();
}

constexpr std::size_t kClockLength = 10;
constexpr std::size_t kTrackingLength = 2;
constexpr std::size_t kMotorLength = 8;

}  // namespace

std::vector<ParsedCommand> CommandParser::feed(std::uint8_t byte, std::chrono::milliseconds time) {
    std::vector<ParsedCommand> done;
    if (auto stale = expire(time)) {
        done.push_back(std::move(*stale));
    }
    m_lastByteTime = time;
    std::optional<ParsedCommand> completed;
    switch (m_state) {
        case State::Idle:
            completed = start(byte);
            break;
        case State::RightAscension:
        case State::Declination:
            completed = continuePair(byte);
            break;
        case State::Fixed:
            m_pending.push_back(char(byte));
            if (m_pending.size() == m_fixedLength) {
                completed = finishFixed();
            }
            break;
    }
    if (completed) {
        done.push_back(std::move(*completed));
    }
    return done;
}

std::optional<ParsedCommand> CommandParser::expire(std::chrono::milliseconds now) {
    if (m_pending.empty() || now - m_lastByteTime < kQuietGap) {
        return std::nullopt;
    }
    return takePartial();
}

std::optional<ParsedCommand> CommandParser::flush() {
    if (m_pending.empty()) {
        return std::nullopt;
    }
    return takePartial();
}

std::optional<std::chrono::milliseconds> CommandParser::deadline() const {
    if (m_pending.empty()) {
        return std::nullopt;
    }
    return m_lastByteTime + kQuietGap;
}

std::optional<ParsedCommand> CommandParser::start(std::uint8_t byte) {
    m_pending.assign(1, char(byte));
    switch (byte) {
        case 'E':
            m_verb = Verb::PositionQuery;
            return take(CommandKind::Command);
        case 'L':
            m_verb = Verb::GotoStatusQuery;
            return take(CommandKind::Command);
        case 'R':
        case 'S':
        case 'B':
            m_verb = byte == 'R' ? Verb::Goto : byte == 'S' ? Verb::Sync : Verb::HomeGoto;
            m_state = State::RightAscension;
            m_raDigits = 0;
            m_decDigits = 0;
            return std::nullopt;
        case 'H':
        case 'T':
        case 'P':
            m_verb = byte == 'H' ? Verb::SetClock : byte == 'T' ? Verb::Tracking : Verb::Motor;
            m_fixedLength = byte == 'H'   ? kClockLength
                            : byte == 'T' ? kTrackingLength
                                          : kMotorLength;
            m_state = State::Fixed;
            return std::nullopt;
        default: {
            m_verb = Verb::None;
            ParsedCommand unknown = take(CommandKind::Unknown);
            unknown.meaning = "unknown command " + describeByte(byte);
            return unknown;
        }
    }
}

std::optional<ParsedCommand> CommandParser::continuePair(std::uint8_t byte) {
    m_pending.push_back(char(byte));
    if (m_state == State::RightAscension) {
        if (isWireHexDigit(byte)) {
            if (++m_raDigits > kMaxRightAscensionDigits) {
                return takeMalformed(
                    textf("right-ascension field longer than %d digits", kMaxRightAscensionDigits));
            }
            return std::nullopt;
        }
        if (byte == ',') {
            if (m_raDigits == 0) {
                return takeMalformed("no right-ascension digits before ','");
            }
            m_state = State::Declination;
            return std::nullopt;
        }
        return takeMalformed(describeByte(byte) + " where a hex digit or ',' belongs");
    }
    if (!isWireHexDigit(byte)) {
        return takeMalformed(describeByte(byte) + " where a declination hex digit belongs");
    }
    if (++m_decDigits == kDeclinationDigits) {
        return finishPair();
    }
    return std::nullopt;
}

ParsedCommand CommandParser::finishPair() {
    const std::size_t comma = m_pending.find(',');
    ParsedCommand command = take(CommandKind::Command);
    command.raField = command.bytes.substr(1, comma - 1);
    command.decField = command.bytes.substr(comma + 1);
    command.raWord = lowWord(command.raField);
    command.decWord = lowWord(command.decField);
    command.meaning = describeCommand(command);
    return command;
}

ParsedCommand CommandParser::finishFixed() {
    const auto at = [this](std::size_t index) { return std::uint8_t(m_pending[index]); };
    ParsedCommand command;
    command.verb = m_verb;

    if (m_verb == Verb::Tracking) {
        if (at(1) != 2 && at(1) != 0) {
            return takeMalformed(textf("mode byte %02X, expected 02 or 00", at(1)));
        }
        command.trackingOn = at(1) == 2;
    } else if (m_verb == Verb::SetClock) {
        ClockSetting& clock = command.clock;
        clock = {at(1), at(2), at(3), at(4), at(5), at(6)};
        if (clock.hour > 23 || clock.minute > 59 || clock.second > 59) {
            return takeMalformed(
                textf("time %02d:%02d:%02d out of range", clock.hour, clock.minute, clock.second));
        }
        if (clock.yearInCentury > 99 || !isCalendarDate(clock)) {
            return takeMalformed(textf("date month %d day %d year %02d out of range", clock.month,
                                       clock.day, clock.yearInCentury));
        }
        if (at(7) != 9 || at(8) != 0 || at(9) != 1) {
            return takeMalformed(
                textf("fixed bytes %02X %02X %02X, expected 09 00 01", at(7), at(8), at(9)));
        }
    } else {
        MotorCommand& motor = command.motor;
        const std::uint8_t count = at(1);
        motor.motor = at(2);
        motor.function = at(3);
        motor.data = {at(4), at(5), at(6)};
        if (motor.motor != kRightAscensionMotor && motor.motor != kDeclinationMotor) {
            return takeMalformed(textf("unknown motor %d", motor.motor));
        }
        if (motor.function == kSlowGotoFunction) {
            if (count != 4) {
                return takeMalformed(textf("count byte %d for slow goto, expected 4", count));
            }
        } else if (motor.function == kMovePositiveFunction ||
                   motor.function == kMoveNegativeFunction) {
            if (count != 2) {
                return takeMalformed(textf("count byte %d for a move, expected 2", count));
            }
            if (motor.data[1] != 0 || motor.data[2] != 0) {
                return takeMalformed("data bytes 2 and 3 of a move must be 00");
            }
        } else {
            return takeMalformed(textf("unknown function %d", motor.function));
        }
        if (at(7) != 0) {
            return takeMalformed(textf("final byte %02X, expected 00", at(7)));
        }
    }

    ParsedCommand taken = take(CommandKind::Command);
    command.bytes = std::move(taken.bytes);
    command.meaning = describeCommand(command);
    return command;
}

ParsedCommand CommandParser::takeMalformed(const std::string& reason) {
    ParsedCommand command = take(CommandKind::Malformed);
    command.meaning = "malformed " + verbName(command.verb) + ": " + reason;
    return command;
}

ParsedCommand CommandParser::takePartial() {
    ParsedCommand command = take(CommandKind::Partial);
    command.meaning =
        textf("incomplete %s (%zu bytes)", verbName(command.verb).c_str(), command.bytes.size());
    return command;
}

ParsedCommand CommandParser::take(CommandKind kind) {
    ParsedCommand command;
    command.kind = kind;
    command.verb = m_verb;
    command.bytes = std::move(m_pending);
    m_pending.clear();
    m_state = State::Idle;
    m_verb = Verb::None;
    if (kind == CommandKind::Command && command.bytes.size() == 1) {
        command.meaning = describeCommand(command);
    }
    return command;
}

}  // namespace morvane::sim
