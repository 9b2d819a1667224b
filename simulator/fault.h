// The ways the simulated mount can misbehave, and the pure pieces of them.
#pragma once

#include <cstddef>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::sim {

enum class Fault {
    None,
    Silent,               // reads and obeys, answers nothing
    Garbage,              // every answer replaced by as many junk bytes
    Split,                // every answer written in two or three pieces, a gap apart
    Paced,                // every answer written a byte at a time at 9600-baud pace
    NeverArrives,         // the goto status query answers "still moving" for ever
    LateAcknowledgement,  // a command's "#" goes out only once the next command has
                          // arrived, just ahead of that one's answer
};

// "none", "silent", "garbage", "split", "paced", "never-arrives", "late-ack".
std::optional<Fault> faultFromName(std::string_view name);
std::string faultName(Fault fault);
// All names, for help texts.
std::vector<std::string> faultNames();

// Junk of the given length drawn from printable characters that are neither
// hex digits nor ',' nor '#': so it can never pass for a position field, its
// '0' can never read as an arrival, and it carries no reply terminator.
std::string garbageOfLength(std::size_t length, std::mt19937& random);

// An answer cut into its pieces for the split fault: three pieces when it is
// long enough, two when it has two bytes, itself when it has one.
std::vector<std::string> splitIntoPieces(const std::string& reply);

}  // namespace morvane::sim
