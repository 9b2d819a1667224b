// Where the characters of a catalogue line or a typed key begin and end.
//
// Text is taken as UTF-8 where it is well formed. A byte that does not start
// a well-formed sequence (a stray continuation byte, a truncated or overlong
// sequence, a surrogate, anything above U+10FFFF) counts as one character on
// its own, so every byte string has exactly one reading and no content can
// make the column arithmetic fail. Plain ASCII is one byte per character.
#pragma once

#include <cstddef>
#include <string_view>

namespace morvane::catalogue {

// The longest well-formed UTF-8 sequence.
inline constexpr std::size_t kMaxCharacterBytes = 4;

// Bytes taken by the first character of the text; 0 only for empty text.
std::size_t characterLength(std::string_view text);

// Bytes taken by the first `characters` characters, or the whole text when it
// has fewer.
std::size_t prefixBytes(std::string_view text, std::size_t characters);

std::size_t characterCount(std::string_view text);

}  // namespace morvane::catalogue
