// A client's stream read in arbitrary pieces, against a reference that reads
// the whole stream at once, and the conversion of every goto read against
// the floating-point rounding (to nearest, ties to even) of value / 65536.
// Input: four bytes that choose the piece sizes, then the stream.
#include <cfenv>
#include <cmath>

#include "fuzz_support.h"
#include "remote/stellarium_protocol.h"

using namespace morvane;
using namespace morvane::stellarium;

namespace {

struct Expected {
    std::vector<GotoMessage> gotos;
    std::uint64_t skipped = 0;
    bool trustworthy = true;
};

// Message by message over the whole stream; a message cut short at the end
// counts only when skipped (its header has been seen).
Expected readWhole(std::string_view stream) {
    Expected e;
    while (stream.size() >= kHeaderLength) {
        std::string_view s = stream;
        const auto length = fuzz::takeNumber(s, 2);
        const auto type = fuzz::takeNumber(s, 2);
        if (length < kHeaderLength || length > kLongestMessage) {
            e.trustworthy = false;
            break;
        }
        if (length == kGotoLength && type == 0) {
            if (stream.size() < kGotoLength) {
                break;
            }
            const auto time = static_cast<std::int64_t>(fuzz::takeNumber(s, 8));
            const auto ra = static_cast<std::uint32_t>(fuzz::takeNumber(s, 4));
            const auto dec = static_cast<std::int32_t>(fuzz::takeNumber(s, 4));
            e.gotos.push_back({time, ra, dec});
        } else {
            ++e.skipped;
        }
        stream.remove_prefix(std::min<std::size_t>(length, stream.size()));
    }
    return e;
}

std::uint16_t nearestWord(double value) {
    return static_cast<std::uint16_t>(static_cast<std::int64_t>(std::nearbyint(value / 65536.0)) &
                                      0xFFFF);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    fuzz::Choices choices(fuzz::takeNumber(input, 4));
    const Expected expected = readWhole(input);

    MessageReader reader;
    std::vector<GotoMessage> gotos;
    bool trustworthy = true;
    for (std::string_view rest = input; !rest.empty();) {
        trustworthy = reader.read(choices.nextPiece(rest), gotos);
        fuzz::require(gotos.size() <= expected.gotos.size(), "no goto beyond those sent");
    }
    fuzz::require(trustworthy == expected.trustworthy && reader.trustworthy() == trustworthy,
                  "a stream is untrustworthy exactly when a LENGTH is out of bounds");
    fuzz::require(gotos == expected.gotos, "the gotos are those sent, in order");
    fuzz::require(reader.skipped() == expected.skipped, "every other message is skipped");

    std::fesetround(FE_TONEAREST);
    for (const GotoMessage& g : gotos) {
        const codec::TargetWords words = wordsForGoto(g);
        fuzz::require(words.rightAscension == nearestWord(g.rightAscension) &&
                          words.declination == nearestWord(g.declination),
                      "a goto's words are its angles rounded to the nearest, ties to even");
        fuzz::require(
            rightAscensionWord(rightAscensionFromWord(words.rightAscension)) ==
                    words.rightAscension &&
                declinationWord(declinationFromWord(words.declination)) == words.declination,
            "a word's own angle converts back to it");
    }
    return 0;
}
