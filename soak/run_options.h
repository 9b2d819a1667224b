// What every soak driver is told on its command line: how long to run and
// the seed of its random choices (a new one each run unless given, so that a
// run that found something can be repeated).
#pragma once

#include <QCommandLineParser>
#include <QRandomGenerator>
#include <QTextStream>

#include <chrono>
#include <optional>

namespace morvane::soak {

struct RunOptions {
    std::chrono::milliseconds length;
    quint32 seed;
};

inline void addRunOptions(QCommandLineParser& parser, const QString& minutesHelp,
                          const QString& defaultMinutes) {
    parser.addOptions(
        {{QStringLiteral("minutes"), minutesHelp, QStringLiteral("minutes"), defaultMinutes},
         {QStringLiteral("seed"), QStringLiteral("Seed of the random choices."),
          QStringLiteral("seed")}});
}

// None, said on standard error, when the minutes are not a positive number.
inline std::optional<RunOptions> readRunOptions(const QCommandLineParser& parser) {
    bool valid = false;
    const double minutes = parser.value(QStringLiteral("minutes")).toDouble(&valid);
    if (!valid || minutes <= 0) {
        QTextStream(stderr) << "--minutes wants a positive number\n";
        return std::nullopt;
    }
    const quint32 seed = parser.isSet(QStringLiteral("seed"))
                             ? parser.value(QStringLiteral("seed")).toUInt()
                             : QRandomGenerator::system()->generate();
    return RunOptions{std::chrono::milliseconds(qint64(minutes * 60'000)), seed};
}

}  // namespace morvane::soak
