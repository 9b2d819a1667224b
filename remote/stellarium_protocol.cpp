#include "remote/stellarium_protocol.h"

#include <algorithm>

namespace morvane::remote {
namespace {

std::uint64_t littleEndian(const unsigned char* bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value |= std::uint64_t{bytes[i]} << (8 * i);
    }
    return value;
}

void putLittleEndian(char* out, std::uint64_t value, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// round(value / 65536), ties to even, modulo 65536: the same on the bit
// pattern of a signed value, since the low 16 bits of its (rounded down)
// quotient are the bits above its own low 16.
std::uint16_t roundedWord(std::uint32_t value) {
    const std::uint32_t quotient = value >> 16;
    const std::uint32_t remainder = value & 0xFFFF;
    const bool up = remainder > 0x8000 || (remainder == 0x8000 && (quotient & 1) != 0);
    return static_cast<std::uint16_t>((quotient + (up ? 1 : 0)) & 0xFFFF);
}

std::optional<std::uint16_t> hexWord(std::string_view digits) {
    std::uint16_t word = 0;
    for (const char c : digits) {
        int value = 0;
        if (c >= '0' && c <= '9') {
            value = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            value = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            value = c - 'a' + 10;
        } else {
            return std::nullopt;
        }
        word = static_cast<std::uint16_t>(word * 16 + value);
    }
    return word;
}

}  // namespace

bool StellariumReader::read(std::string_view bytes, std::vector<StellariumGoto>& gotos) {
    const auto* next = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t left = bytes.size();
    while (m_trustworthy && left > 0) {
        if (m_toSkip > 0) {
            const std::size_t passed = std::min(m_toSkip, left);
            m_toSkip -= passed;
            next += passed;
            left -= passed;
            continue;
        }
        // The header, then (for a goto) the rest of the message.
        const std::size_t wanted =
            (m_expected == 0 ? kStellariumHeaderLength : m_expected) - m_filled;
        const std::size_t taken = std::min(wanted, left);
        std::copy_n(next, taken, m_message.begin() + static_cast<std::ptrdiff_t>(m_filled));
        m_filled += taken;
        next += taken;
        left -= taken;
        if (taken < wanted) {
            break;  // cut short: the rest comes with the next piece
        }
        if (m_expected == 0) {
            const auto length = static_cast<std::size_t>(littleEndian(&m_message[0], 2));
            const auto type = littleEndian(&m_message[2], 2);
            if (length < kStellariumHeaderLength || length > kStellariumLongestMessage) {
                m_trustworthy = false;
                break;
            }
            if (length == kStellariumGotoLength && type == 0) {
                m_expected = kStellariumGotoLength;
                continue;
            }
            ++m_skipped;
            m_toSkip = length - kStellariumHeaderLength;
            m_filled = 0;
            continue;
        }
        gotos.push_back({static_cast<std::int64_t>(littleEndian(&m_message[4], 8)),
                         static_cast<std::uint32_t>(littleEndian(&m_message[12], 4)),
                         static_cast<std::int32_t>(littleEndian(&m_message[16], 4))});
        m_expected = 0;
        m_filled = 0;
    }
    return m_trustworthy;
}

StellariumPosition stellariumPosition(std::int64_t timeMicroseconds, std::uint32_t rightAscension,
                                      std::int32_t declination, std::int32_t status) {
    StellariumPosition message{};
    putLittleEndian(&message[0], kStellariumPositionLength, 2);
    putLittleEndian(&message[2], 0, 2);
    putLittleEndian(&message[4], static_cast<std::uint64_t>(timeMicroseconds), 8);
    putLittleEndian(&message[12], rightAscension, 4);
    putLittleEndian(&message[16], static_cast<std::uint32_t>(declination), 4);
    putLittleEndian(&message[20], static_cast<std::uint32_t>(status), 4);
    return message;
}

std::uint16_t rightAscensionWord(std::uint32_t rightAscension) {
    return roundedWord(rightAscension);
}

std::uint16_t declinationWord(std::int32_t declination) {
    return roundedWord(static_cast<std::uint32_t>(declination));
}

codec::TargetWords wordsForGoto(const StellariumGoto& message) {
    return {rightAscensionWord(message.rightAscension), declinationWord(message.declination)};
}

std::uint32_t rightAscensionFromWord(std::uint16_t word) {
    return std::uint32_t{word} << 16;
}

std::int32_t declinationFromWord(std::uint16_t word) {
    return std::int32_t{static_cast<std::int16_t>(word)} * 65536;
}

std::optional<codec::TargetWords> wordsFromPositionReply(std::string_view reply) {
    if (reply.size() < 10 || reply[4] != ',' || reply[9] != '#') {
        return std::nullopt;
    }
    const auto ra = hexWord(reply.substr(0, 4));
    const auto dec = hexWord(reply.substr(5, 4));
    if (!ra || !dec) {
        return std::nullopt;
    }
    return codec::TargetWords{*ra, *dec};
}

}  // namespace morvane::remote
