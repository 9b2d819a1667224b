#include "mount/target_entry.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace morvane::codec {
namespace {

// Two digits at least, as the boxes show them.
std::string twoDigits(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u", value);
    return text;
}

// numerator / denominator (a power of two up to 2^11) written out exactly:
// such a fraction always ends within eleven decimals. Trailing zeros go.
std::string exactDecimal(std::uint32_t numerator, std::uint32_t denominator) {
    char text[32];
    int length = std::snprintf(text, sizeof text, "%02u", numerator / denominator);
    std::uint64_t rest = numerator % denominator;
    if (rest != 0) {
        text[length++] = '.';
    }
    while (rest != 0 && length < static_cast<int>(sizeof text) - 1) {
        rest *= 10;
        text[length++] = static_cast<char>('0' + rest / denominator);
        rest %= denominator;
    }
    return std::string(text, static_cast<std::size_t>(length));
}

std::optional<std::uint32_t> fieldValue(const Encoding& encoding) {
    if (!encoding.ok()) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(std::stoul(encoding.field, nullptr, 16));
}

}  // namespace

std::optional<TargetWords> wordsForAngles(double hours, double degrees) {
    if (!std::isfinite(hours) || !std::isfinite(degrees)) {
        return std::nullopt;
    }
    // Through the codec itself, so the words are those the window would send.
    const auto ra = fieldValue(encodeRightAscension(hours, 0.0, 0.0));
    const auto dec =
        fieldValue(encodeDeclination(degrees < 0 ? "-" : "+", std::fabs(degrees), 0.0));
    if (!ra || !dec) {
        return std::nullopt;
    }
    return TargetWords{static_cast<std::uint16_t>(*ra & 0xFFFF),
                       static_cast<std::uint16_t>(*dec & 0xFFFF)};
}

std::optional<TargetWords> wordsForEntry(const SexagesimalEntry& entry) {
    const Encoding pair = coordinatePair('R', entry);
    if (!pair.ok()) {
        return std::nullopt;
    }
    const std::size_t comma = pair.field.find(',');
    const std::string ra = pair.field.substr(1, comma - 1);
    const std::string dec = pair.field.substr(comma + 1);
    // The low word of a longer field is its last four digits.
    return TargetWords{
        static_cast<std::uint16_t>(std::stoul(ra.substr(ra.size() - 4), nullptr, 16)),
        static_cast<std::uint16_t>(std::stoul(dec, nullptr, 16))};
}

SexagesimalEntry entryForWords(TargetWords words) {
    SexagesimalEntry entry;
    // One word of right ascension is 86400 / 65536 = 675 / 512 seconds of time.
    const std::uint32_t raSeconds512 = std::uint32_t{words.rightAscension} * 675;
    const std::uint32_t raMinutes = raSeconds512 / (512 * 60);
    entry.hours = twoDigits(raMinutes / 60);
    entry.minutes = twoDigits(raMinutes % 60);
    entry.seconds = exactDecimal(raSeconds512 % (512 * 60), 512);

    // One word of declination is 21600 / 65536 = 675 / 2048 arcminutes.
    const auto signedWord = static_cast<std::int16_t>(words.declination);
    const std::uint32_t magnitude = static_cast<std::uint32_t>(std::abs(int{signedWord}));
    const std::uint32_t arcminutes2048 = magnitude * 675;
    entry.sign = std::string(1, signedWord < 0 ? '-' : '+');
    entry.degrees = twoDigits(arcminutes2048 / (2048 * 60));
    entry.arcminutes = exactDecimal(arcminutes2048 % (2048 * 60), 2048);
    return entry;
}

}  // namespace morvane::codec
