#include "mount/serial_settings.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <vector>

namespace morvane {
namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) {
        s.remove_prefix(1);
    }
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) {
        s.remove_suffix(1);
    }
    return s;
}

std::optional<int> wholeNumber(std::string_view s) {
    int value = 0;
    const auto* end = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(s.data(), end, value);
    if (ec != std::errc{} || ptr != end || s.empty()) {
        return std::nullopt;
    }
    return value;
}

SettingsParse failure(std::string_view text, std::string_view why) {
    return {std::nullopt,
            "Invalid line settings \"" + std::string(text) + "\": " + std::string(why) + "."};
}

}  // namespace

SettingsParse parseSerialSettings(std::string_view text) {
    std::vector<std::string_view> parts;
    std::string_view rest = text;
    for (;;) {
        const auto comma = rest.find(',');
        parts.push_back(trimmed(rest.substr(0, comma)));
        if (comma == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(comma + 1);
    }
    if (parts.size() != 4) {
        return failure(text, "expected baud, parity, data bits and stop bits");
    }

    SerialSettings s;
    const auto baud = wholeNumber(parts[0]);
    if (!baud || *baud < 50 || *baud > 4000000) {
        return failure(text, "the baud rate must be a whole number from 50 to 4000000");
    }
    s.baud = *baud;

    if (parts[1].size() != 1) {
        return failure(text, "the parity must be one of N, E, O, M, S");
    }
    s.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(parts[1][0])));
    constexpr std::array<char, 5> kParities{'N', 'E', 'O', 'M', 'S'};
    if (std::find(kParities.begin(), kParities.end(), s.parity) == kParities.end()) {
        return failure(text, "the parity must be one of N, E, O, M, S");
    }

    const auto data = wholeNumber(parts[2]);
    if (!data || *data < 5 || *data > 8) {
        return failure(text, "the data bits must be 5, 6, 7 or 8");
    }
    s.dataBits = *data;

    if (parts[3] == "1") {
        s.stopBits = 1;
    } else if (parts[3] == "1.5") {
        s.stopBits = 15;
    } else if (parts[3] == "2") {
        s.stopBits = 2;
    } else {
        return failure(text, "the stop bits must be 1, 1.5 or 2");
    }
    return {s, {}};
}

}  // namespace morvane
