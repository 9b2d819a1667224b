// What every fuzz target shares: reporting a broken promise, and choices
// (piece sizes, times) that a saved input replays exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace morvane::fuzz {

// Bytes as a C string literal would write them, so a finding's message can be
// pasted into a test row.
inline std::string escaped(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        if (byte == '\\' || byte == '"') {
            text += '\\';
            text += char(byte);
        } else if (byte >= 0x20 && byte < 0x7F) {
            text += char(byte);
        } else {
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 0xF];
        }
    }
    return text;
}

// A broken promise is a finding: say which one and about what, then abort so
// that libFuzzer keeps the input that did it.
[[noreturn]] inline void fail(const char* promise, const std::string& detail) {
    std::fprintf(stderr, "\n*** broken: %s\n*** %s\n", promise, detail.c_str());
    std::abort();
}

// Small deterministic generator (splitmix64) seeded from the input itself:
// the same input always cuts its bytes into the same pieces.
class Choices {
public:
    explicit Choices(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }

    // 0 up to and including `most`.
    std::size_t upTo(std::size_t most) { return std::size_t(next() % (most + 1)); }

    // Mostly tiny pieces, so that every boundary falls inside a line end or a
    // character somewhere, now and then a large one; empty pieces included.
    std::size_t pieceSize() { return next() % 8 == 0 ? upTo(300) : upTo(4); }

private:
    std::uint64_t m_state;
};

// Reads a little-endian number from the front of the input and drops it.
inline std::uint64_t takeNumber(std::string_view& input, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes && !input.empty(); ++i) {
        value |= std::uint64_t(static_cast<unsigned char>(input.front())) << (8 * i);
        input.remove_prefix(1);
    }
    return value;
}

}  // namespace morvane::fuzz

// The detail is only worked out when the promise is broken: building message
// text on every run would cost most of the fuzzer's time.
#define FUZZ_REQUIRE(kept, promise, detail)             \
    do {                                                \
        if (!(kept)) {                                  \
            ::morvane::fuzz::fail((promise), (detail)); \
        }                                               \
    } while (false)
