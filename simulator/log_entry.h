// One line of the simulator's record of what it received.
#pragma once

#include "simulator/parsed_command.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>

#include <chrono>

namespace morvane::sim {

struct LogEntry {
    std::chrono::milliseconds time{0};  // since the simulator started
    QByteArray bytes;
    CommandKind kind = CommandKind::Command;
    QString meaning;

    // "   1234 ms  52 33 42 ...  goto RA ...": one line for the console.
    QString toLine() const;
};

}  // namespace morvane::sim

Q_DECLARE_METATYPE(morvane::sim::LogEntry)
