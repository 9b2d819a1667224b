// Stellarium's telescope protocol, the bytes only: reading the messages a
// client sends, writing the position message, and the exact conversion
// between its 32-bit angles and the mount's 16-bit words. Pure: no Qt, no
// I/O; every integer on the wire is little-endian.
#pragma once

#include "mount/target_entry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace morvane::remote {

// Every message begins with LENGTH (u16, the whole message) and TYPE (u16).
inline constexpr std::size_t kStellariumHeaderLength = 4;
// Longer than anything the protocol has: a stream that announces more has
// lost its framing (or never had any) and cannot be trusted.
inline constexpr std::size_t kStellariumLongestMessage = 256;
// Client to server: LENGTH 20, TYPE 0, TIME i64, RA u32, DEC s32.
inline constexpr std::size_t kStellariumGotoLength = 20;
// Server to client: LENGTH 24, TYPE 0, TIME i64, RA u32, DEC s32, STATUS s32.
inline constexpr std::size_t kStellariumPositionLength = 24;

// One turn is 2^32 in both: RA 0x80000000 is 12 h, DEC 0x40000000 is +90
// degrees and -0x40000000 is -90 degrees.
inline constexpr std::int32_t kStellariumNorthPole = 0x40000000;

struct StellariumGoto {
    std::int64_t time = 0;  // microseconds since 1970, UTC (the client's clock)
    std::uint32_t rightAscension = 0;
    std::int32_t declination = 0;
    bool operator==(const StellariumGoto&) const = default;
};

// Reads a client's stream as it arrives, in pieces of any size. Holds at most
// one goto message's bytes: a message of any other LENGTH or TYPE is skipped
// by its LENGTH as it passes, without being kept.
class StellariumReader {
public:
    // Reads `bytes`; every goto completed is appended to `gotos`, in order.
    // A message cut short waits for the rest in the next piece. Returns false
    // once a LENGTH below 4 or above kStellariumLongestMessage has been seen: the
    // stream cannot be trusted, the connection should be closed, and nothing
    // more is read.
    bool read(std::string_view bytes, std::vector<StellariumGoto>& gotos);

    bool trustworthy() const { return m_trustworthy; }
    // Messages skipped so far (whole or still passing).
    std::uint64_t skipped() const { return m_skipped; }

private:
    std::array<unsigned char, kStellariumGotoLength> m_message{};
    std::size_t m_filled = 0;    // bytes of m_message held
    std::size_t m_toSkip = 0;    // bytes still to pass of a skipped message
    std::size_t m_expected = 0;  // LENGTH of the message being held (0: header not yet read)
    std::uint64_t m_skipped = 0;
    bool m_trustworthy = true;
};

// The 24-byte position message, STATUS 0.
using StellariumPosition = std::array<char, kStellariumPositionLength>;
StellariumPosition stellariumPosition(std::int64_t timeMicroseconds, std::uint32_t rightAscension,
                                      std::int32_t declination, std::int32_t status = 0);

// The mount's 16-bit words for a Stellarium angle, rounding to the nearest
// word with ties to the even word, exactly as the codec rounds the same
// angle typed into the window (one word is 2^16 of Stellarium's units):
//
//   right ascension: word = round(ra / 65536) mod 65536
//     0x80000000 (12 h)              -> 0x8000
//     0x3B797FFF (below half-way)    -> 0x3B79
//     0x3B798000 (half-way, 0x3B79 odd)  -> 0x3B7A
//     0x3B7A8000 (half-way, 0x3B7A even) -> 0x3B7A
//     0xFFFF8000 (half-way to 24 h)  -> 0x10000 mod 65536 = 0x0000
//     0xFFFFEC95 (23 h 59 m 59.9 s, 65535.924 words) -> 0x0000
//
//   declination: word = round(dec / 65536) as 16-bit two's complement
//     0x40000000 (+90)               -> 0x4000
//     -0x40000000 (-90)              -> 16384 below 0 = 0xC000
//     -0x00018000 (-1.5 words)       -> -2 (even) = 0xFFFE, as the codec
//                                       rounds 1.5 to 2 and negates
//     0x7FFF8000 (half-way to 180)   -> 32768 = 0x8000 (180 degrees, which
//                                       the codec refuses to send)
//
// Integer arithmetic only: the quotient is the value shifted right by 16
// (rounding down, also below zero), the remainder its low 16 bits; a
// remainder above 0x8000, or exactly 0x8000 with an odd quotient, adds one.
std::uint16_t rightAscensionWord(std::uint32_t rightAscension);
std::uint16_t declinationWord(std::int32_t declination);
codec::TargetWords wordsForGoto(const StellariumGoto& message);

// And back, for the position message: the word's own angle, exact.
std::uint32_t rightAscensionFromWord(std::uint16_t word);  // word * 65536
std::int32_t declinationFromWord(std::uint16_t word);      // signed word * 65536

// The mount's position reply "RRRR,DDDD#" read strictly: four hex digits, a
// comma, four hex digits, the terminator. Anything else is no position.
std::optional<codec::TargetWords> wordsFromPositionReply(std::string_view reply);

}  // namespace morvane::remote
