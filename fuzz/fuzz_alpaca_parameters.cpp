// Alpaca request parameters against references: the whole input as a form
// (query string or body), and each decoded value read as a number, a
// boolean and a transaction id.
#include <cmath>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "remote/alpaca_parameters.h"

using namespace morvane;

static bool isHex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// Every byte but letters and digits as %XX: decoding it gives the text back.
static std::string encode(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c)) {
            out += static_cast<char>(c);
        } else {
            out += {'%', kHex[c >> 4], kHex[c & 15]};
        }
    }
    return out;
}

static std::optional<double> referenceNumber(const std::string& s) {
    // Sign, digits with at most one point (at least one digit), exponent.
    std::size_t i = s.starts_with('+') || s.starts_with('-');
    const std::size_t start = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
        ++i;
    if (i < s.size() && s[i] == '.')
        ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
        ++i;
    if (s.find_first_of("0123456789", start) >= i)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1 + (i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-'));
        const std::size_t digits = j;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))
            ++j;
        i = j > digits ? j : s.size() + 1;
    }
    if (i != s.size())
        return std::nullopt;
    // strtod rounds correctly (a fuzzer runs in the "C" locale: its point is
    // '.'), subnormals and underflow to zero included. Its ERANGE says only
    // that the result is inexact near a limit, not that the text is no
    // number: a number is what has a finite nearest double.
    const double value = std::strtod(s.c_str(), nullptr);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

// A real request's parameters fit in a few hundred bytes; longer inputs only
// repeat the same states at a quadratic cost in the name checks below.
// libFuzzer reads its flags after this hook; -max_len on its command line wins.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<char*> args(*argv, *argv + *argc + 1);
    args.insert(args.begin() + 1, const_cast<char*>("-max_len=128"));
    *argv = args.data();
    *argc += 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    bool badEscape = false;
    for (std::size_t p = input.find('%'); p != input.npos; p = input.find('%', p + 1))
        badEscape |= p + 2 >= input.size() || !isHex(input[p + 1]) || !isHex(input[p + 2]);
    const auto form = remote::decodeForm(input);
    fuzz::require(form.has_value() == !badEscape, "a form fails exactly on a broken escape");
    if (!form)
        return 0;

    std::string again;
    for (const remote::Parameter& p : *form) {
        again += (again.empty() ? "" : "&") + encode(p.name) + "=" + encode(p.value);

        const auto number = remote::parseNumber(p.value);
        const auto want = referenceNumber(p.value);
        fuzz::require(
            number.has_value() == want.has_value() &&
                (!number || (*number == *want && std::signbit(*number) == std::signbit(*want))),
            "a number is a plain decimal with a finite nearest double, read as strtod "
            "does");
        std::string lower = p.value;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const auto boolean = remote::parseBoolean(p.value);
        fuzz::require(boolean.has_value() == (lower == "true" || lower == "false") &&
                          (!boolean || *boolean == (lower == "true")),
                      "a boolean is true or false in any case");
        const bool digits =
            !p.value.empty() && p.value.find_first_not_of("0123456789") == std::string::npos;
        const std::size_t first = digits ? p.value.find_first_not_of('0') : 0;
        const bool fits = digits && (first == std::string::npos || p.value.size() - first <= 10) &&
                          std::strtoull(p.value.c_str(), nullptr, 10) <= 0xFFFFFFFFull;
        const auto id = remote::parseUnsigned32(p.value);
        fuzz::require(
            id.has_value() == fits && (!id || *id == std::strtoull(p.value.c_str(), nullptr, 10)),
            "a transaction id is decimal digits up to 4294967295");
    }
    const auto back = remote::decodeForm(again);
    fuzz::require(back && back->size() == form->size(), "an encoded form decodes again");
    for (std::size_t i = 0; i < form->size(); ++i)
        fuzz::require((*back)[i].name == (*form)[i].name && (*back)[i].value == (*form)[i].value,
                      "to the same names and values");

    // GET finds names in any case, PUT exactly; the first of a name wins.
    const auto get = remote::Parameters::fromForm(input, remote::NameMatch::AnyCase);
    const auto put = remote::Parameters::fromForm(input, remote::NameMatch::Exact);
    for (const remote::Parameter& p : *form) {
        std::string upper = p.name;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const std::string* exact = put->find(p.name);
        fuzz::require(
            exact != nullptr && get->find(upper) != nullptr &&
                (upper == p.name || put->find(upper) == nullptr || put->find(upper) != exact),
            "names match exactly for PUT and in any case for GET");
    }
    return 0;
}
