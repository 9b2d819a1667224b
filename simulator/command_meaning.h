// Human-readable text for the simulator's log.
#pragma once

#include "simulator/parsed_command.h"

#include <string>
#include <string_view>

namespace morvane::sim {

// printf-style formatting into a std::string (the standard library here has
// no std::format yet).
std::string textf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "52 33 42": every byte as two uppercase hex digits.
std::string hexBytes(std::string_view bytes);

// "goto", "set clock", ...: what a command with this lead is for.
std::string verbName(Verb verb);

// What a well-formed command asks of the mount, e.g.
// "goto RA 3B79 (05:34:32) Dec FC2C (-05d23')" or "tracking on".
std::string describeCommand(const ParsedCommand& command);

}  // namespace morvane::sim
