#include "catalogue/characters.h"

namespace morvane::catalogue {

namespace {

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Byte count announced by a lead byte, and the range its second byte must lie
// in; the narrowed ranges exclude overlong forms, surrogates and code points
// beyond U+10FFFF.
struct LeadRule {
    std::size_t length;
    unsigned char secondLow;
    unsigned char secondHigh;
};

LeadRule leadRule(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return {2, 0x80, 0xBF};
    if (lead == 0xE0)
        return {3, 0xA0, 0xBF};
    if (lead == 0xED)
        return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF)
        return {3, 0x80, 0xBF};
    if (lead == 0xF0)
        return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3)
        return {4, 0x80, 0xBF};
    if (lead == 0xF4)
        return {4, 0x80, 0x8F};
    return {1, 0, 0};
}

}  // namespace

std::size_t characterLength(std::string_view text) {
    if (text.empty())
        return 0;
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80)
        return 1;
    const LeadRule rule = leadRule(lead);
    if (rule.length == 1 || text.size() < rule.length)
        return 1;
    const auto second = static_cast<unsigned char>(text[1]);
    if (second < rule.secondLow || second > rule.secondHigh)
        return 1;
    for (std::size_t i = 2; i < rule.length; ++i) {
        if (!isContinuation(static_cast<unsigned char>(text[i])))
            return 1;
    }
    return rule.length;
}

std::size_t prefixBytes(std::string_view text, std::size_t characters) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < characters && bytes < text.size(); ++i)
        bytes += characterLength(text.substr(bytes));
    return bytes;
}

std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t bytes = 0; bytes < text.size(); ++count)
        bytes += characterLength(text.substr(bytes));
    return count;
}

}  // namespace morvane::catalogue
