// The simulated mount's command parser on arbitrary bytes at arbitrary
// times. Whatever arrives, every byte ends up in exactly one record or still
// pending, records come out in arrival order, and none is longer than the
// longest command.
//
// Input: two bytes that choose the gaps between bytes, then the bytes.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "simulator/command_parser.h"

using namespace morvane::sim;
using morvane::fuzz::Choices;
using morvane::fuzz::escaped;
using std::chrono::milliseconds;

namespace {

// "R" + ten right-ascension digits + "," + four declination digits.
constexpr std::size_t kLongestCommand =
    1 + CommandParser::kMaxRightAscensionDigits + 1 + CommandParser::kDeclinationDigits;

// Gaps around the quiet gap's edge matter most; a long silence now and then.
milliseconds gap(Choices& choices) {
    static constexpr int kGaps[] = {0, 0, 0, 1, 10, 99, 100, 101, 5000};
    return milliseconds(kGaps[choices.upTo(std::size(kGaps) - 1)]);
}

template <typename What>
void checkRecord(const ParsedCommand& record, const What& what) {
    FUZZ_REQUIRE(!record.bytes.empty(), "no record is empty", what());
    FUZZ_REQUIRE(record.bytes.size() <= kLongestCommand, "no record is longer than a command",
                 what() + ": " + escaped(record.bytes));
    FUZZ_REQUIRE(!record.meaning.empty(), "every record is described", what());
    if (record.kind == CommandKind::Unknown) {
        FUZZ_REQUIRE(record.bytes.size() == 1, "an unknown lead byte is a record of its own",
                     what());
    }
    if (record.kind == CommandKind::Partial) {
        return;
    }
    // Anything but a partial command delimits itself: read again on its own,
    // it is the same one record.
    CommandParser again;
    std::vector<ParsedCommand> records;
    for (char byte : record.bytes) {
        for (auto& r : again.feed(std::uint8_t(byte), milliseconds(0))) {
            records.push_back(std::move(r));
        }
    }
    FUZZ_REQUIRE(records.size() == 1 && !again.hasPending() && records[0].kind == record.kind &&
                     records[0].bytes == record.bytes && records[0].meaning == record.meaning,
                 "a record reads the same on its own", what() + ": " + escaped(record.bytes));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    Choices choices(morvane::fuzz::takeNumber(input, 2));
    const auto what = [&] { return escaped(input); };

    CommandParser parser;
    std::string recorded;
    milliseconds now{1000};
    milliseconds lastByte{0};
    bool anyFed = false;
    const auto record = [&](const ParsedCommand& command) {
        checkRecord(command, what);
        recorded += command.bytes;
    };

    for (char byte : input) {
        now += gap(choices);
        // Sometimes the mount's timer looks in between bytes.
        if (choices.upTo(3) == 0) {
            const bool due = parser.hasPending() && now - lastByte >= CommandParser::kQuietGap;
            const auto expired = parser.expire(now);
            FUZZ_REQUIRE(expired.has_value() == due, "a pending command expires at its deadline",
                         what());
            if (expired) {
                FUZZ_REQUIRE(expired->kind == CommandKind::Partial, "an expired command is partial",
                             what());
                record(*expired);
            }
        }
        const bool stale =
            anyFed && parser.hasPending() && now - lastByte >= CommandParser::kQuietGap;
        const auto records = parser.feed(std::uint8_t(byte), now);
        FUZZ_REQUIRE(!stale || (!records.empty() && records.front().kind == CommandKind::Partial),
                     "a byte after the quiet gap first gives up what was pending", what());
        for (std::size_t i = 0; i < records.size(); ++i) {
            FUZZ_REQUIRE(i == 0 || !stale || records[i].kind != CommandKind::Partial,
                         "only the stale command is partial", what());
            record(records[i]);
        }
        FUZZ_REQUIRE(records.size() <= 2, "one byte completes at most two records", what());
        lastByte = now;
        anyFed = true;
        if (parser.hasPending()) {
            FUZZ_REQUIRE(parser.deadline() == now + CommandParser::kQuietGap,
                         "the deadline is the quiet gap after the last byte", what());
        } else {
            FUZZ_REQUIRE(!parser.deadline(), "no deadline without a pending command", what());
        }
    }

    std::size_t pending = 0;
    if (const auto flushed = parser.flush()) {
        FUZZ_REQUIRE(flushed->kind == CommandKind::Partial, "a flushed command is partial", what());
        pending = flushed->bytes.size();
        record(*flushed);
    }
    FUZZ_REQUIRE(!parser.hasPending() && !parser.flush(), "nothing pending after a flush", what());
    FUZZ_REQUIRE(recorded == input, "every byte is in exactly one record, in order",
                 what() + " came out as " + escaped(recorded) + " (" + std::to_string(pending) +
                     " pending at the end)");
    return 0;
}
