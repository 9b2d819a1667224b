#include "simulator/fault.h"

#include <array>
#include <cctype>

namespace morvane::sim {

namespace {

struct NamedFault {
    Fault fault;
    std::string_view name;
};

constexpr std::array kFaultNames{
    NamedFault{Fault::None, "none"},
    NamedFault{Fault::Silent, "silent"},
    NamedFault{Fault::Garbage, "garbage"},
    NamedFault{Fault::Split, "split"},
    NamedFault{Fault::Paced, "paced"},
    NamedFault{Fault::NeverArrives, "never-arrives"},
    NamedFault{Fault::LateAcknowledgement, "late-ack"},
};

std::string junkAlphabet() {
    std::string alphabet;
    for (int c = 0x21; c < 0x7F; ++c) {
        if (!std::isxdigit(c) && c != ',' && c != '#') {
            alphabet.push_back(char(c));
        }
    }
    return alphabet;
}

}  // namespace

std::optional<Fault> faultFromName(std::string_view name) {
    for (const auto& entry : kFaultNames) {
        if (entry.name == name) {
            return entry.fault;
        }
    }
    return std::nullopt;
}

std::string faultName(Fault fault) {
    for (const auto& entry : kFaultNames) {
        if (entry.fault == fault) {
            return std::string(entry.name);
        }
    }
    return "none";
}

std::vector<std::string> faultNames() {
    std::vector<std::string> names;
    for (const auto& entry : kFaultNames) {
        names.emplace_back(entry.name);
    }
    return names;
}

std::string garbageOfLength(std::size_t length, std::mt19937& random) {
    static const std::string alphabet = junkAlphabet();
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string junk(length, ' ');
    for (char& c : junk) {
        c = alphabet[pick(random)];
    }
    return junk;
}

std::vector<std::string> splitIntoPieces(const std::string& reply) {
    if (reply.size() < 2) {
        return {reply};
    }
    if (reply.size() == 2) {
        return {reply.substr(0, 1), reply.substr(1)};
    }
    // "34AB,12CE#" goes as "34A", "B,12", "CE#": each cut lands inside a field.
    const std::size_t first = reply.size() / 3;
    const std::size_t second = reply.size() - first;
    return {reply.substr(0, first), reply.substr(first, second - first), reply.substr(second)};
}

}  // namespace morvane::sim
