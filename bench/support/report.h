// What every benchmark program prints: one tab-separated FIGURE line per
// measured figure (median, spread, goal, ratio), which bench/run gathers into
// one table, and NOTE lines for figures kept for the record.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace morvane::bench {

struct Spread {
    double median = 0;
    double min = 0;
    double max = 0;
    double q1 = 0;
    double q3 = 0;
    std::size_t count = 0;
};

// Linear interpolation between the closest ranks.
inline double quantile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) {
        return 0;
    }
    const double position = q * static_cast<double>(sorted.size() - 1);
    const auto low = static_cast<std::size_t>(position);
    const std::size_t high = std::min(low + 1, sorted.size() - 1);
    return sorted[low] + (sorted[high] - sorted[low]) * (position - static_cast<double>(low));
}

inline Spread spreadOf(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    Spread s;
    s.count = samples.size();
    if (samples.empty()) {
        return s;
    }
    s.min = samples.front();
    s.max = samples.back();
    s.median = quantile(samples, 0.5);
    s.q1 = quantile(samples, 0.25);
    s.q3 = quantile(samples, 0.75);
    return s;
}

// Three significant digits, never an exponent.
inline std::string number(double value) {
    char text[64];
    const double magnitude = value < 0 ? -value : value;
    if (magnitude >= 100) {
        std::snprintf(text, sizeof text, "%.0f", value);
    } else if (magnitude >= 10) {
        std::snprintf(text, sizeof text, "%.1f", value);
    } else if (magnitude >= 1) {
        std::snprintf(text, sizeof text, "%.2f", value);
    } else if (magnitude >= 0.1) {
        std::snprintf(text, sizeof text, "%.3f", value);
    } else if (magnitude >= 0.01) {
        std::snprintf(text, sizeof text, "%.4f", value);
    } else {
        std::snprintf(text, sizeof text, "%.5f", value);
    }
    return text;
}

// One row of the table. `goal` is the upper bound the median must stay
// under, in the figure's unit; 0 means the figure is kept for the record.
inline void reportFigure(const std::string& name, const Spread& s, const std::string& unit,
                         double goal, const std::string& goalText) {
    const std::string ratio = goal > 0 ? number(s.median / goal) : std::string("-");
    const char* verdict = goal <= 0 ? "record" : (s.median <= goal ? "ok" : "MISSED");
    std::printf("FIGURE\t%s\t%s %s\t%s-%s\t%s-%s\t%zu\t%s\t%s\t%s\n", name.c_str(),
                number(s.median).c_str(), unit.c_str(), number(s.min).c_str(),
                number(s.max).c_str(), number(s.q1).c_str(), number(s.q3).c_str(), s.count,
                goalText.c_str(), ratio.c_str(), verdict);
    std::fflush(stdout);
}

// A line for the record, printf-style.
inline void note(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline void note(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::printf("NOTE\t");
    std::vprintf(format, arguments);
    std::printf("\n");
    va_end(arguments);
    std::fflush(stdout);
}

inline int environmentNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    const int value = std::atoi(text);
    return value > 0 ? value : fallback;
}

inline double millisecondsBetween(std::chrono::steady_clock::time_point from,
                                  std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace morvane::bench
