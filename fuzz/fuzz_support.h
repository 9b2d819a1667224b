// What the fuzz targets share. A broken promise aborts: libFuzzer then keeps
// and prints the input, which replays exactly, as choices come from it too.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace morvane::fuzz {

inline void require(bool kept, const char* promise) {
    if (!kept) {
        std::fprintf(stderr, "\n*** broken: %s\n", promise);
        std::abort();
    }
}

// splitmix64: small, and the same seed gives the same choices everywhere.
class Choices {
public:
    explicit Choices(std::uint64_t seed) : m_state(seed) {}

    std::size_t upTo(std::size_t most) {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return std::size_t((z ^ (z >> 31)) % (most + 1));
    }

    // Mostly tiny, so that pieces end inside line ends and characters.
    std::string_view nextPiece(std::string_view& rest) {
        const std::string_view piece = rest.substr(0, upTo(7) == 0 ? upTo(300) : upTo(4));
        rest.remove_prefix(piece.size());
        return piece;
    }

private:
    std::uint64_t m_state;
};

// A little-endian number taken off the front of the input.
inline std::uint64_t takeNumber(std::string_view& input, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes && !input.empty(); ++i, input.remove_prefix(1))
        value |= std::uint64_t(static_cast<unsigned char>(input.front())) << (8 * i);
    return value;
}

}  // namespace morvane::fuzz
