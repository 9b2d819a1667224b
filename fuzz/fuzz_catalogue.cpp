// The catalogue search, given the file whole and in pieces, against a plain
// reference. Input: one byte for the length of the typed key (mod 41), four
// bytes that choose the piece sizes, the key, then the file.
#include <array>
#include <optional>

#include "catalogue/record_scanner.h"
#include "catalogue/search_key.h"
#include "fuzz_support.h"

using namespace morvane::catalogue;
using morvane::fuzz::require;

// A well-formed UTF-8 sequence (shortest form, no surrogate, at most
// U+10FFFF) is one character; any other byte is one on its own.
static std::size_t characterBytes(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const std::size_t length = byte(0) >= 0xF0 ? 4 : byte(0) >= 0xE0 ? 3 : byte(0) >= 0xC0 ? 2 : 1;
    if (length == 1 || byte(0) > 0xF7 || text.size() < length)
        return 1;
    char32_t point = byte(0) & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 1;
        point = (point << 6) | (byte(i) & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool shortest = point >= kLeast[length];
    return shortest && (point < 0xD800 || point > 0xDFFF) && point <= 0x10FFFF ? length : 1;
}

// Where each of the first 63 characters of a text starts, and the last ends;
// characters past a short text start and end at its end.
static std::array<std::size_t, 64> starts(std::string_view text) {
    std::array<std::size_t, 64> at{};
    for (std::size_t n = 0; n < 63; ++n)
        at[n + 1] = at[n] + (at[n] < text.size() ? characterBytes(text.substr(at[n])) : 0);
    return at;
}

static std::optional<StarFields> referenceSearch(std::string_view file, const std::string& key) {
    for (std::size_t begin = 0, end = 0; begin < file.size(); begin = end + 1) {
        for (end = begin; end < file.size() && file[end] != '\r' && file[end] != '\n';)
            ++end;
        const std::string_view line = file.substr(begin, end - begin);
        // Its first 20 characters can only be the key if its first bytes are.
        const auto at = line.starts_with(key) ? starts(line) : std::array<std::size_t, 64>{};
        const auto columns = [&](std::size_t first, std::size_t last) {
            return std::string(line.substr(at[first], at[last] - at[first]));
        };
        // Columns counted from 1: RA 48-49, 51-52, 54-55; Dec 58, 59-60, 62-63.
        if (at[20] == key.size())
            return StarFields{columns(47, 49), columns(50, 52), columns(53, 55),
                              columns(57, 58), columns(58, 60), columns(61, 63)};
        end += end + 1 < file.size() && file[end] == '\r' && file[end + 1] == '\n';
    }
    return std::nullopt;
}

static void check(std::string_view typed, std::string_view file, morvane::fuzz::Choices& choices) {
    // Spaces never join a character before them, so they can just be appended.
    const std::string padded = std::string(typed) + std::string(20, ' ');
    const std::string key = searchKey(typed);
    require(key == padded.substr(0, starts(padded)[20]) && searchKey(key) == key,
            "the key is the typed text brought to 20 characters, and its own key");
    const auto want = referenceSearch(file, key);
    RecordScanner whole(key);
    whole.feed(file);
    whole.finish();
    require(whole.match() == want, "search of the whole file agrees with the reference");
    RecordScanner pieces(key);
    for (std::string_view rest = file; !rest.empty();)
        pieces.feed(choices.nextPiece(rest));
    pieces.finish();
    require(pieces.match() == want, "search in pieces agrees with the reference");
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t keyLength = morvane::fuzz::takeNumber(input, 1) % 41;
    morvane::fuzz::Choices choices(morvane::fuzz::takeNumber(input, 4));
    const std::string_view file = input.substr(std::min(keyLength, input.size()));
    check(input.substr(0, keyLength), file, choices);
    // A typed key rarely matches; the name of one of the file's lines usually does.
    if (!file.empty()) {
        const std::size_t begin = file.find_last_of("\r\n", choices.upTo(file.size() - 1)) + 1;
        check(file.substr(begin, file.find_first_of("\r\n", begin) - begin), file, choices);
    }
    return 0;
}
