// The request counter fed a connection's bytes in arbitrary pieces, against
// the same bytes whole: the same requests end at the same places with the
// same facts, and the same verdict. Every request it lets through fits the
// limits, and it takes exactly the bytes up to the end of each request.
// Input: four bytes that choose the piece sizes, one for the limits, then
// the stream.
#include "fuzz_support.h"
#include "remote/request_size.h"

#include <tuple>
#include <utility>
#include <vector>

using namespace morvane;
using namespace morvane::remote;

namespace {

using Framing = std::vector<std::tuple<std::size_t, bool, bool, bool, bool>>;

// Feeds the stream a piece at a time; returns where each request ended.
Framing frame(std::string_view input, RequestSize& size, fuzz::Choices* choices, std::size_t most) {
    Framing ends;
    std::size_t at = 0;
    std::size_t start = 0;
    for (std::string_view rest = input; !rest.empty();) {
        std::string_view piece = choices ? choices->nextPiece(rest) : std::exchange(rest, {});
        while (!piece.empty()) {
            const std::size_t taken = size.take(piece);
            fuzz::require(taken <= piece.size(), "it takes no more than it is given");
            if (taken == 0) {
                fuzz::require(size.verdict() != RequestSize::Verdict::Fine,
                              "it takes nothing only once it has refused");
                return ends;
            }
            piece.remove_prefix(taken);
            at += taken;
            if (size.ended()) {
                const auto& r = size.request();
                fuzz::require(at - start <= most, "a request let through fits the limits");
                ends.emplace_back(at, r.headOnly, r.readsOnly, r.keepAlive, r.http10);
                start = at;
            }
        }
    }
    return ends;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    fuzz::Choices choices(fuzz::takeNumber(input, 4));
    const auto limits = fuzz::takeNumber(input, 1);
    const std::size_t head = 16 + (limits & 0xF) * 64;
    const std::size_t body = (limits >> 4) * 40;
    RequestSize whole(head, body);
    RequestSize pieces(head, body);
    const Framing expected = frame(input, whole, nullptr, head + body);
    fuzz::require(frame(input, pieces, &choices, head + body) == expected,
                  "requests end at the same places, whole or in pieces");
    fuzz::require(pieces.verdict() == whole.verdict(), "the same verdict, whole or in pieces");
    return 0;
}
