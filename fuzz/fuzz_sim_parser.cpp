// The simulated mount's command parser on arbitrary bytes at arbitrary times.
// Input: two bytes that choose the gaps between bytes, then the bytes.
#include <chrono>
#include <vector>

#include "fuzz_support.h"
#include "simulator/command_parser.h"

using namespace morvane::sim;
using morvane::fuzz::require;
using std::chrono::milliseconds;

// The parser describes every record it makes, so bytes are dear: room for a
// broken command and the longest one reaches every state. libFuzzer reads its
// flags after this hook; a -max_len on its command line still wins.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<char*> args(*argv, *argv + *argc + 1);
    args.insert(args.begin() + 1, const_cast<char*>("-max_len=26"));
    *argv = args.data();
    *argc += 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    morvane::fuzz::Choices choices(morvane::fuzz::takeNumber(input, 2));
    std::size_t recorded = 0;
    const auto record = [&](const ParsedCommand& r) {
        // "R" + ten right-ascension digits + "," + four declination digits.
        require(!r.bytes.empty() && r.bytes.size() <= 16 &&
                    input.substr(recorded, r.bytes.size()) == r.bytes,
                "every byte is in one record, in order, none longer than a command");
        recorded += r.bytes.size();
        if (r.kind != CommandKind::Command && r.kind != CommandKind::Malformed)
            return;
        CommandParser alone;
        int again = 0;  // 1 only for one record, the same as this one
        for (char byte : r.bytes)
            for (const auto& a : alone.feed(std::uint8_t(byte), milliseconds(0)))
                again += a.kind == r.kind && a.bytes == r.bytes && a.meaning == r.meaning ? 1 : 2;
        require(again == 1 && !alone.hasPending(), "a record reads the same on its own");
    };

    // Gaps around the quiet gap's edge matter most; a long silence now and then.
    static constexpr int kGaps[] = {0, 0, 0, 1, 10, 99, 100, 101, 5000};
    CommandParser parser;
    milliseconds now{1000};
    milliseconds lastByte{0};
    for (char byte : input) {
        now += milliseconds(kGaps[choices.upTo(std::size(kGaps) - 1)]);
        const bool stale = parser.hasPending() && now - lastByte >= CommandParser::kQuietGap;
        // Now and then the mount's timer looks in before the byte comes.
        auto expired = choices.upTo(3) == 0 ? parser.expire(now) : std::nullopt;
        auto records = parser.feed(std::uint8_t(byte), now);
        if (expired)
            records.insert(records.begin(), std::move(*expired));
        require(stale == (!records.empty() && records[0].kind == CommandKind::Partial),
                "a pending command is given up as partial once the quiet gap has passed");
        std::for_each(records.begin(), records.end(), record);
        lastByte = now;
    }
    const auto flushed = parser.flush();
    if (flushed)
        record(*flushed);
    require((!flushed || flushed->kind == CommandKind::Partial) && !parser.hasPending() &&
                recorded == input.size(),
            "what is pending at the end is flushed as partial, and every byte is in a record");
    return 0;
}
