#include "simulator/command_meaning.h"

#include "mount/codec.h"

#include <cstdarg>
#include <cstdio>

namespace morvane::sim {

namespace {

std::string rightAscensionText(std::uint16_t word) {
    const auto ra = codec::splitRightAscension(codec::decodeField(codec::formatWord(word)));
    return textf("%02d:%02d:%02d", ra.hours, ra.minutes, ra.seconds);
}

std::string declinationText(std::uint16_t word) {
    const auto dec = codec::splitDeclination(codec::decodeField(codec::formatWord(word)));
    return textf("%c%02dd%02d'", dec.sign, dec.degrees, dec.arcminutes);
}

std::string describePair(const ParsedCommand& command) {
    // A field longer than four digits is still obeyed, modulo a full turn;
    // the log shows the word the mount actually used.
    std::string ra = command.raField + " (";
    if (command.raField.size() != 4) {
        ra += "taken as " + codec::formatWord(command.raWord) + ", ";
    }
    ra += rightAscensionText(command.raWord) + ")";
    return verbName(command.verb) + " RA " + ra + " Dec " + command.decField + " (" +
           declinationText(command.decWord) + ")";
}

std::string describeMotor(const MotorCommand& motor) {
    if (motor.function == kSlowGotoFunction) {
        return textf("motor %d slow goto to %06X", motor.motor, unsigned(motor.position()));
    }
    return textf("motor %d move %s at rate %d", motor.motor,
                 motor.function == kMovePositiveFunction ? "positive" : "negative", motor.data[0]);
}

}  // namespace

std::string textf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string text(length > 0 ? std::size_t(length) : 0, '\0');
    if (length > 0) {
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    }
    va_end(args);
    return text;
}

std::string hexBytes(std::string_view bytes) {
    std::string text;
    for (unsigned char byte : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += textf("%02X", unsigned(byte));
    }
    return text;
}

std::string verbName(Verb verb) {
    switch (verb) {
        case Verb::PositionQuery:
            return "position query";
        case Verb::GotoStatusQuery:
            return "goto status query";
        case Verb::Goto:
            return "goto";
        case Verb::Sync:
            return "sync";
        case Verb::HomeGoto:
            return "home goto";
        case Verb::SetClock:
            return "set clock";
        case Verb::Tracking:
            return "tracking";
        case Verb::Motor:
            return "motor command";
        case Verb::None:
            break;
    }
    return "command";
}

std::string describeCommand(const ParsedCommand& command) {
    switch (command.verb) {
        case Verb::Goto:
        case Verb::Sync:
        case Verb::HomeGoto:
            return describePair(command);
        case Verb::SetClock: {
            const ClockSetting& c = command.clock;
            return textf("set clock %02d:%02d:%02d 20%02d-%02d-%02d (fixed 09 00 01)", c.hour,
                         c.minute, c.second, c.yearInCentury, c.month, c.day);
        }
        case Verb::Tracking:
            return command.trackingOn ? "tracking on" : "tracking off";
        case Verb::Motor:
            return describeMotor(command.motor);
        case Verb::PositionQuery:
        case Verb::GotoStatusQuery:
        case Verb::None:
            break;
    }
    return verbName(command.verb);
}

}  // namespace morvane::sim
