// A target given as an angle or as the mount's two 16-bit words, turned into
// the six texts of the window's coordinate boxes. The texts are chosen so
// that the window's own GOTO or Sync sends exactly the same words: whole
// hours, minutes, degrees; a decimal in the last box where whole seconds or
// arcminutes cannot say it. Pure: no Qt, no I/O.
#pragma once

#include "mount/codec.h"

#include <cstdint>
#include <optional>

namespace morvane::codec {

struct TargetWords {
    std::uint16_t rightAscension = 0;  // one turn = 65536
    std::uint16_t declination = 0;     // two's complement, one turn = 65536
    bool operator==(const TargetWords&) const = default;
};

// The words the codec gives for `hours` of right ascension and `degrees` of
// declination (rounding to nearest, ties to even). A right ascension that
// rounds to a whole turn (just below 24 h) wraps to 0. Empty when the codec
// refuses the angle (not a number, declination beyond the 16-bit word).
std::optional<TargetWords> wordsForAngles(double hours, double degrees);

// The words the mount takes from the coordinate pair typed in `entry`: a
// right ascension field longer than four digits (24 h and more, negative
// hours) reaches the same place as its low word. Empty when the entry
// cannot be encoded.
std::optional<TargetWords> wordsForEntry(const SexagesimalEntry& entry);

// Box texts that encode to exactly these words, e.g. 0x3B79 / 0xFC2C gives
// "05" "34" "32.021484375" "-" "05" "22.998046875". Every declination word
// but 0x8000 (180 degrees, which the codec refuses) comes back as it went.
SexagesimalEntry entryForWords(TargetWords words);

}  // namespace morvane::codec
