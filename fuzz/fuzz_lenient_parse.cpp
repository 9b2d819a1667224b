// Typed numbers and the coordinate encoding, against references. The input is
// cut at '|' into the six boxes of a coordinate entry; the simulated mount
// must read the command built as meant.
#include <cmath>
#include <vector>

#include "fuzz_support.h"
#include "mount/codec.h"
#include "simulator/command_parser.h"

using namespace morvane;

// The documented reading, with the C library converting (a fuzzer runs in the
// "C" locale, so strtod's point is '.').
static double referenceParse(std::string_view typed) {
    std::string s(typed);
    std::erase_if(s, [](char c) { return c == ' ' || c == '\t' || c == '\n'; });
    const auto runEnd = [&](const char* digits, std::size_t from) {
        return std::min(s.find_first_not_of(digits, from), s.size());
    };
    if (s.starts_with("&H") || s.starts_with("&h")) {
        // A 32-bit register keeps the last eight digits; up to four make a word.
        const std::size_t last = runEnd("0123456789ABCDEFabcdef", 2);
        const std::size_t first = last > 10 ? last - 8 : 2;
        const auto value = std::strtoull(s.substr(first, last - first).c_str(), nullptr, 16);
        return last <= 6 ? double(std::int16_t(value)) : double(std::int32_t(value));
    }
    std::size_t last = runEnd("0123456789", s.starts_with('+') || s.starts_with('-'));
    last = last < s.size() && s[last] == '.' ? runEnd("0123456789", last + 1) : last;
    if (s.find_first_of("0123456789") >= last)
        return 0.0;
    // strtod takes an exponent only when digits follow its letter.
    const bool exponent = last < s.size() && std::string_view("EeDd").find(s[last]) != s.npos;
    const std::string number = s.substr(0, last) + (exponent ? 'e' + s.substr(last + 1) : "");
    const double value = std::strtod(number.c_str(), nullptr);
    return value == 0.0 ? 0.0 : value;  // no negative zero
}

// The field a word gives, if it fits (halves go to the even side): at least
// four hex digits, a negative word as its two's complement in `bits` bits.
static std::string field(double units, double least, double most, bool negate, int bits) {
    const double word = std::nearbyint(units);
    if (!(word >= least && word <= most))
        return "";
    const long long value = static_cast<long long>(negate ? -word : word);
    char text[24];
    std::snprintf(text, sizeof text, "%0*llX", value < 0 ? bits / 4 : 4,
                  value & ((1LL << bits) - 1));
    return text;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    codec::SexagesimalEntry entry;
    std::string* boxes[] = {&entry.hours, &entry.minutes, &entry.seconds,
                            &entry.sign,  &entry.degrees, &entry.arcminutes};
    double v[6] = {};  // "00" and "+" read as 0 too
    for (std::size_t i = 0, start = 0, bar = 0; i < 6 && bar != input.npos; ++i, start = bar + 1) {
        bar = i < 5 ? input.find('|', start) : input.npos;
        *boxes[i] = input.substr(start, bar - start);
        v[i] = codec::lenientParse(*boxes[i]);
        const double want = referenceParse(*boxes[i]);
        fuzz::require(v[i] == want && std::signbit(v[i]) == std::signbit(want),
                      "a typed number reads as the reference does");
    }

    const bool south = entry.sign == "-";  // only "-" means south
    const std::string ra = field(((v[0] + v[1] / 60.0) + v[2] / 3600.0) / 24.0 * 65536.0, -0x1p31,
                                 0x1p31 - 1, false, 40);
    const std::string dec =
        field((v[4] + v[5] / 60.0) / 360.0 * 65536.0, south ? -32767 : -32768, 32767, south, 16);
    const char letter = "RSB"[size % 3];
    const codec::Encoding pair = codec::coordinatePair(letter, entry);
    fuzz::require(pair.ok() == (!ra.empty() && !dec.empty()) && (pair.ok() || pair.field.empty()),
                  "a command is built exactly when both words fit, and nothing otherwise");
    if (!pair.ok())
        return 0;
    // The mount keeps the low sixteen bits of a field: its last four digits.
    sim::CommandParser parser;
    std::vector<sim::ParsedCommand> records;
    for (char byte : pair.field)
        for (auto& record : parser.feed(std::uint8_t(byte), {}))
            records.push_back(std::move(record));
    fuzz::require(
        pair.field == letter + ra + "," + dec && records.size() == 1 && !parser.hasPending() &&
            records[0].kind == sim::CommandKind::Command && records[0].bytes == pair.field &&
            records[0].raWord == std::stoul(ra.substr(ra.size() - 4), nullptr, 16) &&
            records[0].decWord == std::stoul(dec, nullptr, 16),
        "the command is letter, RA, comma, Dec as the references say, read whole by the mount");
    return 0;
}
