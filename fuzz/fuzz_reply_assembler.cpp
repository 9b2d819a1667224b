// Reply assembly on bytes that arrive in arbitrary pieces, for any rule and
// count and a capacity small enough to be overrun. After every piece the reply
// is what arrived, cut at the capacity; it overflowed exactly when more
// arrived; and it is complete exactly as its rule says.
//
// Input: a rule byte, two count bytes, two capacity bytes, four bytes that
// choose the piece sizes (and now and then a new exchange), then the bytes.
#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "mount/reply_assembler.h"

using namespace morvane;
using fuzz::Choices;
using fuzz::escaped;

namespace {

bool expectedComplete(ReplyRule rule, int count, qsizetype received) {
    switch (rule) {
        case ReplyRule::Counted:
            return received >= count;
        case ReplyRule::Answer:
            return received > 0;
        case ReplyRule::Settle:
            return false;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto rule = static_cast<ReplyRule>(fuzz::takeNumber(input, 1) % 3);
    const int count = std::int16_t(fuzz::takeNumber(input, 2));
    const std::uint64_t capacityChoice = fuzz::takeNumber(input, 2);
    Choices choices(fuzz::takeNumber(input, 4));
    // Mostly small capacities, so that overrunning them is common; now and
    // then the link's own.
    const std::size_t capacity = capacityChoice % 16 == 0 ? kReplyCapacity : capacityChoice % 64;
    const std::string_view all = input;
    const auto what = [&] {
        return "rule " + std::to_string(int(rule)) + ", count " + std::to_string(count) +
               ", capacity " + std::to_string(capacity) + ", bytes \"" + escaped(all) + "\"";
    };

    ReplyAssembler assembler(capacity);
    FUZZ_REQUIRE(!assembler.started() && !assembler.overflowed() && assembler.reply().isEmpty(),
                 "a new assembler holds nothing", what());
    assembler.start(rule, count);
    QByteArray arrived;
    while (!input.empty()) {
        if (choices.upTo(15) == 0) {
            // The next exchange starts afresh, whatever the last one left.
            assembler.start(rule, count);
            arrived.clear();
        }
        const std::size_t piece = std::min(choices.pieceSize(), input.size());
        const QByteArrayView bytes(input.data(), qsizetype(piece));
        assembler.append(bytes);
        arrived.append(bytes);
        input.remove_prefix(piece);

        FUZZ_REQUIRE(assembler.reply() == arrived.left(qsizetype(capacity)),
                     "the reply is what arrived, up to the capacity", what());
        FUZZ_REQUIRE(assembler.overflowed() == (arrived.size() > qsizetype(capacity)),
                     "overflowed exactly when more than the capacity arrived", what());
        FUZZ_REQUIRE(assembler.started() == !assembler.reply().isEmpty(),
                     "started once something is kept", what());
        FUZZ_REQUIRE(
            assembler.complete() == expectedComplete(rule, count, assembler.reply().size()),
            "complete as the rule says", what());
    }
    return 0;
}
