// The parameters of an Alpaca request: a GET's query string or a PUT's form
// body, both application/x-www-form-urlencoded, and the typed values read
// from them. Names are matched exactly for PUT and without regard to case
// for GET. Pure C++: no Qt, no I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::remote {

struct Parameter {
    std::string name;
    std::string value;
};

enum class NameMatch {
    Exact,    // PUT bodies
    AnyCase,  // GET query strings (ASCII letters only)
};

// "+" is a blank, "%XX" one byte; empty pieces between "&" are skipped, a
// piece without "=" is a name with an empty value. Empty when a "%" is not
// followed by two hexadecimal digits.
std::optional<std::vector<Parameter>> decodeForm(std::string_view text);

// A decimal number with a point, an optional sign and exponent: "12", "-0.5",
// "1.5E-3", read to the nearest double (subnormals included; a number below
// the smallest double is zero). Nothing else: no blanks, no comma, no
// hexadecimal, no infinity or NaN, nothing above the largest double.
std::optional<double> parseNumber(std::string_view text);

// "true" or "false" in any case.
std::optional<bool> parseBoolean(std::string_view text);

// Decimal digits only, at most 4294967295.
std::optional<std::uint32_t> parseUnsigned32(std::string_view text);

// One typed parameter as read from a request.
template <class T>
struct Field {
    enum class State { Absent, Malformed, Present };
    State state = State::Absent;
    T value{};
    std::string problem;  // for Absent and Malformed: one line saying what is wrong
    bool present() const { return state == State::Present; }
};

class Parameters {
public:
    // Empty when the text is not valid form encoding.
    static std::optional<Parameters> fromForm(std::string_view text, NameMatch match);

    // The first parameter of that name, if any.
    const std::string* find(std::string_view name) const;

    Field<double> number(std::string_view name) const;
    Field<bool> boolean(std::string_view name) const;
    Field<std::uint32_t> unsigned32(std::string_view name) const;
    Field<std::string> text(std::string_view name) const;

    const std::vector<Parameter>& all() const { return m_all; }

private:
    template <class T, class Parse>
    Field<T> read(std::string_view name, const char* what, Parse parse) const;

    std::vector<Parameter> m_all;
    NameMatch m_match = NameMatch::Exact;
};

// A value as it may be quoted in a one-line message: control bytes and bytes
// beyond ASCII become "?", and a long value is cut short with "...".
std::string quotable(std::string_view value);

}  // namespace morvane::remote
