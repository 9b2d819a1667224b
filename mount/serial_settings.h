// Line settings written the classic way, "9600,N,8,1": baud, parity letter,
// data bits, stop bits.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace morvane {

struct SerialSettings {
    int baud = 9600;
    char parity = 'N';  // N, E, O, M or S
    int dataBits = 8;   // 5 to 8
    int stopBits = 1;   // 1 or 2 (15 stands for one and a half)
};

struct SettingsParse {
    std::optional<SerialSettings> settings;
    std::string error;
};

// Reads a settings text. Anything that does not name a setting a serial port
// can take is an error with a message; nothing is guessed.
SettingsParse parseSerialSettings(std::string_view text);

}  // namespace morvane
