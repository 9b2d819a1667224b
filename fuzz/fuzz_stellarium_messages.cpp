// A client's stream read in arbitrary pieces, against a reference that reads
// the whole stream message by message. (The conversion of the angles is
// checked word by word against the codec in test_stellarium_protocol.)
// Input: four bytes that choose the piece sizes, then the stream.
#include "fuzz_support.h"
#include "remote/stellarium_protocol.h"

using namespace morvane;
using namespace morvane::remote;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    fuzz::Choices choices(fuzz::takeNumber(input, 4));

    // The reference; a message cut short at the end counts only when skipped.
    std::vector<StellariumGoto> expected;
    std::uint64_t skipped = 0;
    bool trustworthy = true;
    for (std::string_view stream = input; stream.size() >= kStellariumHeaderLength;) {
        std::string_view s = stream;
        const auto length = fuzz::takeNumber(s, 2);
        const bool isGoto = length == kStellariumGotoLength && fuzz::takeNumber(s, 2) == 0;
        trustworthy = length >= kStellariumHeaderLength && length <= kStellariumLongestMessage;
        if (!trustworthy || (isGoto && stream.size() < kStellariumGotoLength)) {
            break;
        }
        if (isGoto) {
            const auto time = std::int64_t(fuzz::takeNumber(s, 8));
            const auto ra = std::uint32_t(fuzz::takeNumber(s, 4));
            expected.push_back({time, ra, std::int32_t(fuzz::takeNumber(s, 4))});
        }
        skipped += isGoto ? 0 : 1;
        stream.remove_prefix(std::min<std::size_t>(length, stream.size()));
    }

    StellariumReader reader;
    std::vector<StellariumGoto> gotos;
    for (std::string_view rest = input; !rest.empty();) {
        reader.read(choices.nextPiece(rest), gotos);
    }
    fuzz::require(reader.trustworthy() == trustworthy,
                  "a stream is untrustworthy exactly when a LENGTH is out of bounds");
    fuzz::require(gotos == expected, "the gotos are those sent, in order");
    fuzz::require(reader.skipped() == skipped, "every other message is skipped");
    return 0;
}
