// The coordinate codec over every one of the 65536 position words, for the
// record: typed text to the wire and the wire back to the readout.
#include "mount/codec.h"
#include "bench/support/report.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace codec = morvane::codec;
namespace bench = morvane::bench;

namespace {

constexpr int kWords = 65536;

double degreesOf(int word) {
    return codec::decodeField(codec::formatWord(static_cast<std::uint16_t>(word)));
}

// What a user would type for each word: its readout, box by box.
const std::vector<codec::SexagesimalEntry>& typedEntries() {
    static const std::vector<codec::SexagesimalEntry> entries = [] {
        std::vector<codec::SexagesimalEntry> all;
        all.reserve(kWords);
        for (int word = 0; word < kWords; ++word) {
            const auto ra = codec::splitRightAscension(degreesOf(word));
            const auto dec = codec::splitDeclination(degreesOf(word) / 2);
            all.push_back({std::to_string(ra.hours), std::to_string(ra.minutes),
                           std::to_string(ra.seconds), std::string(1, dec.sign),
                           std::to_string(dec.degrees), std::to_string(dec.arcminutes)});
        }
        return all;
    }();
    return entries;
}

// The position reply for each word, "RRRR,DDDD#".
const std::vector<std::string>& replies() {
    static const std::vector<std::string> all = [] {
        std::vector<std::string> texts;
        texts.reserve(kWords);
        for (int word = 0; word < kWords; ++word) {
            texts.push_back(codec::formatWord(static_cast<std::uint16_t>(word)) + "," +
                            codec::formatWord(static_cast<std::uint16_t>(kWords - 1 - word)) + "#");
        }
        return texts;
    }();
    return all;
}

void EncodeTypedText(benchmark::State& state) {
    const auto& entries = typedEntries();
    for (auto _ : state) {
        for (const auto& entry : entries) {
            benchmark::DoNotOptimize(codec::coordinatePair('R', entry));
        }
    }
    state.SetItemsProcessed(state.iterations() * kWords);
}

void EncodeNumbers(benchmark::State& state) {
    for (auto _ : state) {
        for (int word = 0; word < kWords; ++word) {
            const double hours = word * 24.0 / kWords;
            benchmark::DoNotOptimize(codec::encodeRightAscension(hours, 0, 0));
            benchmark::DoNotOptimize(
                codec::encodeDeclination(word % 2 ? "-" : "+", (word % 5400) / 60.0, 0));
        }
    }
    state.SetItemsProcessed(state.iterations() * kWords);
}

void DecodeReply(benchmark::State& state) {
    const auto& texts = replies();
    for (auto _ : state) {
        for (const auto& reply : texts) {
            benchmark::DoNotOptimize(codec::positionTextFromReply(reply));
        }
    }
    state.SetItemsProcessed(state.iterations() * kWords);
}

void DecodeFieldsAndSplit(benchmark::State& state) {
    const auto& texts = replies();
    for (auto _ : state) {
        for (const auto& reply : texts) {
            const std::string_view text(reply);
            benchmark::DoNotOptimize(
                codec::splitRightAscension(codec::decodeField(text.substr(0, 4))));
            benchmark::DoNotOptimize(
                codec::splitDeclination(codec::decodeField(text.substr(5, 4))));
        }
    }
    state.SetItemsProcessed(state.iterations() * kWords);
}

// Keeps every repetition's time, in milliseconds per sweep of all words.
class Collector : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                const double seconds =
                    run.real_accumulated_time / static_cast<double>(run.iterations);
                times[run.run_name.function_name].push_back(seconds * 1e3);
            }
        }
    }
    std::map<std::string, std::vector<double>> times;
};

}  // namespace

int main(int argc, char* argv[]) {
    const int repetitions = bench::environmentNumber("MORVANE_BENCH_REPETITIONS", 10);
    const std::pair<const char*, void (*)(benchmark::State&)> all[] = {
        {"6a. Codec: encode typed text, 65536 words", EncodeTypedText},
        {"6b. Codec: encode numbers, 65536 words", EncodeNumbers},
        {"6c. Codec: decode reply to readout, 65536 words", DecodeReply},
        {"6d. Codec: decode fields and split, 65536 words", DecodeFieldsAndSplit},
    };
    for (const auto& [name, function] : all) {
        benchmark::RegisterBenchmark(name, function)
            ->Repetitions(repetitions)
            ->MinTime(0.2)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    for (const auto& [name, function] : all) {
        const bench::Spread spread = bench::spreadOf(collector.times[name]);
        bench::reportFigure(name, spread, "ms", 0, "(for the record)");
        bench::note("%s: %s ns a word", name, bench::number(spread.median * 1e6 / kWords).c_str());
    }
    return 0;
}
