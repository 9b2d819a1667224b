#include "remote/alpaca_parameters.h"

#include "mount/codec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace morvane::remote {
namespace {

std::optional<std::string> decodeComponent(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            decoded += ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size()) {
                return std::nullopt;
            }
            const int high = codec::hexDigitValue(text[i + 1]);
            const int low = codec::hexDigitValue(text[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            decoded += c;
        }
    }
    return decoded;
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b, NameMatch match) {
    if (match == NameMatch::Exact) {
        return a == b;
    }
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Of a well-formed decimal that no double can hold: whether it lies below the
// smallest one (rather than above the largest). Only the sign of its decimal
// exponent matters, and that is far from zero for such a number; a written
// exponent is capped so that no count of its digits can overflow.
bool tooSmallForADouble(std::string_view text) {
    const std::size_t e = std::min(text.find_first_of("eE"), text.size());
    const std::string_view mantissa = text.substr(0, e);
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = std::min(mantissa.find_first_of("123456789"), mantissa.size());
    long long scale = first < point ? static_cast<long long>(point - first)
                                    : -static_cast<long long>(first - point);
    std::string_view exponent = text.substr(std::min(e + 1, text.size()));
    const bool negative = exponent.starts_with('-');
    if (!exponent.empty() && (exponent.front() == '-' || exponent.front() == '+')) {
        exponent.remove_prefix(1);
    }
    constexpr long long kCap = 1'000'000'000'000LL;
    long long written = 0;
    for (const char c : exponent) {
        written = std::min(kCap, written * 10 + (c - '0'));
    }
    scale += negative ? -written : written;
    return scale <= 0;
}

}  // namespace

std::optional<std::vector<Parameter>> decodeForm(std::string_view text) {
    std::vector<Parameter> parameters;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('&'), text.size());
        const std::string_view piece = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (piece.empty()) {
            continue;
        }
        const std::size_t equals = std::min(piece.find('='), piece.size());
        auto name = decodeComponent(piece.substr(0, equals));
        auto value = decodeComponent(piece.substr(std::min(equals + 1, piece.size())));
        if (!name || !value) {
            return std::nullopt;
        }
        parameters.push_back({std::move(*name), std::move(*value)});
    }
    return parameters;
}

std::optional<double> parseNumber(std::string_view text) {
    std::string_view digits = text;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        digits.remove_prefix(1);
    }
    // from_chars would also take "inf", "nan" and a second sign.
    if (digits.empty() || !(isDigit(digits.front()) || digits.front() == '.')) {
        return std::nullopt;
    }
    if (text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (end != text.data() + text.size()) {
        return std::nullopt;
    }
    // A number is read to the nearest double, as the client's own parser
    // does: a subnormal such as 8E-317 is one, and one too small for any
    // double (1E-400) is zero. One too large (1E400) has no finite double.
    if (error == std::errc::result_out_of_range && tooSmallForADouble(text)) {
        return text.front() == '-' ? -0.0 : 0.0;
    }
    if (error != std::errc() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> parseBoolean(std::string_view text) {
    if (sameName(text, "true", NameMatch::AnyCase)) {
        return true;
    }
    if (sameName(text, "false", NameMatch::AnyCase)) {
        return false;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> parseUnsigned32(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (!isDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > 0xFFFFFFFFu) {
            return std::nullopt;
        }
    }
    return static_cast<std::uint32_t>(value);
}

std::string quotable(std::string_view value) {
    constexpr std::size_t kLongest = 40;
    std::string text;
    for (const char c : value.substr(0, kLongest)) {
        const auto byte = static_cast<unsigned char>(c);
        text += (byte >= 0x20 && byte < 0x7F) ? c : '?';
    }
    if (value.size() > kLongest) {
        text += "...";
    }
    return text;
}

std::optional<Parameters> Parameters::fromForm(std::string_view text, NameMatch match) {
    auto all = decodeForm(text);
    if (!all) {
        return std::nullopt;
    }
    Parameters parameters;
    parameters.m_all = std::move(*all);
    parameters.m_match = match;
    return parameters;
}

const std::string* Parameters::find(std::string_view name) const {
    for (const Parameter& parameter : m_all) {
        if (sameName(parameter.name, name, m_match)) {
            return &parameter.value;
        }
    }
    return nullptr;
}

template <class T, class Parse>
Field<T> Parameters::read(std::string_view name, const char* what, Parse parse) const {
    Field<T> field;
    const std::string* text = find(name);
    if (text == nullptr) {
        field.problem = "Missing parameter " + std::string(name) + ".";
        return field;
    }
    const std::optional<T> value = parse(*text);
    if (!value) {
        field.state = Field<T>::State::Malformed;
        field.problem = std::string(name) + "=\"" + quotable(*text) + "\" is not " + what + ".";
        return field;
    }
    field.state = Field<T>::State::Present;
    field.value = *value;
    return field;
}

Field<double> Parameters::number(std::string_view name) const {
    return read<double>(name, "a number (such as 12.5 or -3.25E-2)", parseNumber);
}

Field<bool> Parameters::boolean(std::string_view name) const {
    return read<bool>(name, "true or false", parseBoolean);
}

Field<std::uint32_t> Parameters::unsigned32(std::string_view name) const {
    return read<std::uint32_t>(name, "a whole number from 0 to 4294967295", parseUnsigned32);
}

Field<std::string> Parameters::text(std::string_view name) const {
    return read<std::string>(name, "text",
                             [](const std::string& s) { return std::optional<std::string>(s); });
}

}  // namespace morvane::remote
