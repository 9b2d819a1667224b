// The catalogue search against a slow reference: the file is split into
// lines and characters the obvious way, with whole strings in memory, and the
// first line whose name column is the key wins. The streamed search must
// agree whether it gets the file in one go or in arbitrary pieces.
//
// Input: one byte for the length of the typed key (mod 41), four bytes that
// choose the piece sizes, the key, then the file.
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/record_scanner.h"
#include "catalogue/search_key.h"
#include "catalogue/star_search.h"
#include "fuzz_support.h"

using namespace morvane::catalogue;
using morvane::fuzz::Choices;
using morvane::fuzz::escaped;

namespace {

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// One character: a well-formed UTF-8 sequence (shortest form, no surrogate,
// at most U+10FFFF), else a single byte on its own.
std::size_t referenceCharacterLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 1;
    char32_t point = 0;
    if (lead >= 0xF0 && lead <= 0xF7) {
        length = 4;
        point = lead & 0x07;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
    } else if (lead >= 0xC0 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1F;
    } else {
        return 1;
    }
    if (text.size() < length) {
        return 1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!isContinuation(byte)) {
            return 1;
        }
        point = (point << 6) | (byte & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kLeast[length] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) {
        return 1;
    }
    return length;
}

std::vector<std::string_view> characters(std::string_view text) {
    std::vector<std::string_view> list;
    while (!text.empty()) {
        const std::size_t length = referenceCharacterLength(text);
        list.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return list;
}

// Characters [first, last) of a split text, as bytes; fewer when it is short.
std::string columns(const std::vector<std::string_view>& split, std::size_t first,
                    std::size_t last) {
    std::string bytes;
    for (std::size_t i = first; i < last && i < split.size(); ++i) {
        bytes += split[i];
    }
    return bytes;
}

std::string referenceKey(std::string_view typed) {
    const auto split = characters(typed);
    std::string key = columns(split, 0, 20);
    for (std::size_t n = split.size(); n < 20; ++n) {
        key += ' ';
    }
    return key;
}

std::vector<std::string_view> lines(std::string_view file) {
    std::vector<std::string_view> list;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < file.size()) {
        if (file[i] == '\r' || file[i] == '\n') {
            list.push_back(file.substr(start, i - start));
            i += (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < file.size()) {
        list.push_back(file.substr(start));
    }
    return list;
}

std::optional<StarFields> referenceSearch(std::string_view file, const std::string& key) {
    for (std::string_view line : lines(file)) {
        const auto split = characters(line);
        if (columns(split, 0, 20) != key) {
            continue;
        }
        // Columns counted from 1: RA 48-49, 51-52, 54-55; Dec 58, 59-60, 62-63.
        return StarFields{columns(split, 47, 49), columns(split, 50, 52), columns(split, 53, 55),
                          columns(split, 57, 58), columns(split, 58, 60), columns(split, 61, 63)};
    }
    return std::nullopt;
}

std::string describe(const std::optional<StarFields>& fields) {
    if (!fields) {
        return "not found";
    }
    return "[" + escaped(fields->raHours) + "|" + escaped(fields->raMinutes) + "|" +
           escaped(fields->raSeconds) + "|" + escaped(fields->decSign) + "|" +
           escaped(fields->decDegrees) + "|" + escaped(fields->decArcminutes) + "]";
}

// The search for one typed key, whole and in pieces, against the reference.
void checkSearch(std::string_view typed, std::string_view file, Choices& choices) {
    const std::string key = searchKey(typed);
    FUZZ_REQUIRE(key == referenceKey(typed), "the key is the typed text brought to 20 characters",
                 escaped(typed) + " gave " + escaped(key));
    FUZZ_REQUIRE(searchKey(key) == key, "a key is its own key", escaped(key));

    const auto want = referenceSearch(file, key);
    const auto what = [&] { return "key \"" + escaped(typed) + "\" in \"" + escaped(file) + "\""; };

    std::istringstream stream{std::string(file)};
    const auto whole = findStar(stream, typed);
    FUZZ_REQUIRE(whole == want, "search of the whole file agrees with the reference",
                 what() + ": " + describe(whole) + ", reference " + describe(want));

    RecordScanner scanner(key);
    std::string_view rest = file;
    bool reported = false;
    while (!rest.empty()) {
        const std::size_t piece = std::min(choices.pieceSize(), rest.size());
        const bool matched = scanner.feed(rest.substr(0, piece));
        FUZZ_REQUIRE(matched == scanner.matched(), "feed tells whether a line has matched", what());
        FUZZ_REQUIRE(!reported || matched, "a match stays", what());
        reported = matched;
        rest.remove_prefix(piece);
    }
    FUZZ_REQUIRE(scanner.finish() == scanner.matched(), "finish tells whether a line has matched",
                 what());
    FUZZ_REQUIRE(scanner.match() == want, "search in pieces agrees with the reference",
                 what() + ": " + describe(scanner.match()) + ", reference " + describe(want));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t keyLength = morvane::fuzz::takeNumber(input, 1) % 41;
    Choices choices(morvane::fuzz::takeNumber(input, 4));
    const std::string_view typed = input.substr(0, keyLength);
    const std::string_view file = input.substr(typed.size());

    checkSearch(typed, file, choices);

    // A typed key rarely matches anything; the name of one of the file's own
    // lines always does, so the field columns get their share of the runs.
    const auto all = lines(file);
    if (!all.empty()) {
        const std::string_view line = all[choices.upTo(all.size() - 1)];
        const auto split = characters(line);
        checkSearch(columns(split, 0, 20), file, choices);
    }
    return 0;
}
