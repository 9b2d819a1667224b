// Reply assembly on bytes arriving in arbitrary pieces. Input: a rule byte, two
// count bytes, two capacity bytes, four bytes that choose the piece sizes (and
// now and then a new exchange), then the bytes.
#include <QByteArrayView>

#include "fuzz_support.h"
#include "mount/reply_assembler.h"

using namespace morvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto rule = static_cast<ReplyRule>(fuzz::takeNumber(input, 1) % 3);
    const int count = std::int16_t(fuzz::takeNumber(input, 2));
    const std::uint64_t capacityChoice = fuzz::takeNumber(input, 2);
    fuzz::Choices choices(fuzz::takeNumber(input, 4));
    // Mostly small capacities, so that overrunning them is common.
    const std::size_t capacity = capacityChoice % 16 == 0 ? kReplyCapacity : capacityChoice % 64;

    ReplyAssembler assembler(capacity);
    std::string_view arrived = input.substr(0, 0);  // since the exchange started
    // The bytes kept are compared once an exchange ends, the sizes after every
    // piece: comparing all bytes every time would be quadratic.
    const auto keptAll = [&] {
        return assembler.reply() == QByteArrayView(arrived.substr(0, capacity));
    };
    assembler.start(rule, count);
    for (std::string_view rest = input; !rest.empty();) {
        if (choices.upTo(15) == 0) {  // the next exchange starts afresh
            fuzz::require(keptAll(), "the reply is what arrived, up to the capacity");
            assembler.start(rule, count);
            arrived = rest.substr(0, 0);
        }
        const std::string_view piece = choices.nextPiece(rest);
        assembler.append(QByteArrayView(piece));
        arrived = std::string_view(arrived.data(), arrived.size() + piece.size());
        const auto kept = qsizetype(std::min(arrived.size(), capacity));
        fuzz::require(assembler.reply().size() == kept &&
                          assembler.overflowed() == (arrived.size() > capacity),
                      "the reply keeps what arrived up to the capacity, and overflows past it");
    }
    fuzz::require(keptAll(), "the reply is what arrived, up to the capacity");
    return 0;
}
