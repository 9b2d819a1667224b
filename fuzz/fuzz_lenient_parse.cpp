// Typed numbers and the coordinate encoding. The whole input is read as one
// typed number and checked against a reference reading; then it is cut at
// '|' into the six boxes of a coordinate entry, whose wire command must match
// a reference encoding and read back as one well-formed command on the
// simulated mount's side of the line.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "mount/codec.h"
#include "simulator/command_parser.h"

using namespace morvane;
using fuzz::escaped;

namespace {

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool isDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

// The documented reading, with the C library doing the decimal conversion (a
// fuzzer runs in the "C" locale, so strtod's point is '.').
double referenceParse(std::string_view typed) {
    std::string s;
    for (char c : typed) {
        if (c != ' ' && c != '\t' && c != '\n') {
            s += c;
        }
    }
    if (s.size() >= 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h')) {
        std::size_t end = 2;
        while (end < s.size() && isHexDigit(s[end])) {
            ++end;
        }
        const std::size_t count = end - 2;
        if (count == 0) {
            return 0.0;
        }
        // A 32-bit register keeps the last eight digits.
        const std::string last = s.substr(count > 8 ? end - 8 : 2, count > 8 ? 8 : count);
        const auto value = std::strtoull(last.c_str(), nullptr, 16);
        if (count <= 4) {
            return double(std::int16_t(std::uint16_t(value)));
        }
        return double(std::int32_t(std::uint32_t(value)));
    }

    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    while (i < s.size() && isDecimalDigit(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDecimalDigit(s[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    std::string number = s.substr(0, i);
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            ++j;
        }
        if (j < s.size() && isDecimalDigit(s[j])) {
            while (j < s.size() && isDecimalDigit(s[j])) {
                ++j;
            }
            number += 'e';
            number += s.substr(i + 1, j - i - 1);
        }
    }
    const double value = std::strtod(number.c_str(), nullptr);
    return value == 0.0 ? 0.0 : value;  // no negative zero
}

std::string hexText(long long value, int width) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*llX", width, value);
    return text;
}

// The right-ascension field the word must give: four digits at least, and a
// negative word as its 40-bit two's complement (ten digits).
std::string expectedRightAscension(double hours, double minutes, double seconds, bool& fits) {
    const double v = (((hours + minutes / 60.0) + seconds / 3600.0) / 24.0) * 65536.0;
    const double word = std::nearbyint(v);  // round-to-nearest puts halves on the even side
    fits = !std::isnan(word) && word >= -2147483648.0 && word <= 2147483647.0;
    if (!fits) {
        return {};
    }
    const auto w = static_cast<long long>(word);
    return w >= 0 ? hexText(w, 4) : hexText((1LL << 40) + w, 10);
}

std::string expectedDeclination(std::string_view sign, double degrees, double arcminutes,
                                bool& fits) {
    const double angle = degrees + arcminutes / 60.0;
    const double word = std::nearbyint((angle / 360.0) * 65536.0);
    const bool south = sign == "-";
    fits = !std::isnan(word) && word >= -32768.0 && word <= 32767.0 && !(south && word == -32768.0);
    if (!fits) {
        return {};
    }
    const auto w = static_cast<long long>(south ? -word : word);
    return hexText(w & 0xFFFF, 4);
}

void checkParse(std::string_view text) {
    const double got = codec::lenientParse(text);
    const double want = referenceParse(text);
    FUZZ_REQUIRE(!std::isnan(got), "a typed number never reads as NaN", escaped(text));
    FUZZ_REQUIRE(!(got == 0.0 && std::signbit(got)), "no negative zero", escaped(text));
    FUZZ_REQUIRE(
        got == want, "typed number reads as the reference does",
        escaped(text) + " read " + std::to_string(got) + ", reference " + std::to_string(want));
}

std::vector<std::string> boxes(std::string_view input) {
    std::vector<std::string> texts;
    std::size_t start = 0;
    while (texts.size() < 5) {
        const std::size_t bar = input.find('|', start);
        if (bar == std::string_view::npos) {
            break;
        }
        texts.emplace_back(input.substr(start, bar - start));
        start = bar + 1;
    }
    texts.emplace_back(input.substr(start));
    return texts;
}

void checkEncoding(std::string_view input) {
    const std::vector<std::string> texts = boxes(input);
    codec::SexagesimalEntry entry;
    std::string* fields[] = {&entry.hours, &entry.minutes, &entry.seconds,
                             &entry.sign,  &entry.degrees, &entry.arcminutes};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        *fields[i] = texts[i];
        checkParse(texts[i]);
    }
    const double h = codec::lenientParse(entry.hours);
    const double m = codec::lenientParse(entry.minutes);
    const double s = codec::lenientParse(entry.seconds);
    const double d = codec::lenientParse(entry.degrees);
    const double a = codec::lenientParse(entry.arcminutes);
    const auto what = [&] { return escaped(input); };

    bool raFits = false;
    const std::string raWant = expectedRightAscension(h, m, s, raFits);
    const codec::Encoding ra = codec::encodeRightAscension(h, m, s);
    FUZZ_REQUIRE(ra.ok() == raFits, "right ascension fails exactly when its word does not fit",
                 what());
    FUZZ_REQUIRE(ra.field == raWant, "right-ascension field", what() + " gave " + ra.field);
    FUZZ_REQUIRE(ra.ok() || ra.error.find("out of range") != std::string::npos,
                 "a failed right ascension says it is out of range", ra.error);

    bool decFits = false;
    const std::string decWant = expectedDeclination(entry.sign, d, a, decFits);
    const codec::Encoding dec = codec::encodeDeclination(entry.sign, d, a);
    FUZZ_REQUIRE(dec.ok() == decFits, "declination fails exactly when its word does not fit",
                 what());
    FUZZ_REQUIRE(dec.field == decWant, "declination field", what() + " gave " + dec.field);
    FUZZ_REQUIRE(dec.ok() || dec.error.find("out of range") != std::string::npos,
                 "a failed declination says it is out of range", dec.error);

    const char letter = "RSB"[input.size() % 3];
    const codec::Encoding pair = codec::coordinatePair(letter, entry);
    if (!ra.ok() || !dec.ok()) {
        FUZZ_REQUIRE(!pair.ok() && pair.field.empty(), "nothing is built after a failed encoding",
                     what());
        FUZZ_REQUIRE(pair.error == (ra.ok() ? dec.error : ra.error), "the first failure is told",
                     what());
        return;
    }
    FUZZ_REQUIRE(pair.ok() && pair.field == letter + ra.field + "," + dec.field,
                 "the command is letter, right ascension, comma, declination", what());

    // The mount must read the command whole, as one well-formed command, and
    // act on the words that were meant.
    sim::CommandParser parser;
    std::vector<sim::ParsedCommand> records;
    for (char byte : pair.field) {
        for (auto& record : parser.feed(std::uint8_t(byte), std::chrono::milliseconds(0))) {
            records.push_back(std::move(record));
        }
    }
    FUZZ_REQUIRE(records.size() == 1 && !parser.hasPending(), "the command is one record",
                 pair.field);
    const sim::ParsedCommand& command = records.front();
    FUZZ_REQUIRE(command.kind == sim::CommandKind::Command && command.bytes == pair.field,
                 "the mount reads the command as well formed", pair.field + ": " + command.meaning);
    const auto raWord = std::strtoull(ra.field.c_str(), nullptr, 16) & 0xFFFF;
    const auto decWord = std::strtoull(dec.field.c_str(), nullptr, 16);
    FUZZ_REQUIRE(command.raWord == raWord && command.decWord == decWord,
                 "the mount takes the words that were encoded", pair.field);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkParse(input);
    checkEncoding(input);
    return 0;
}
