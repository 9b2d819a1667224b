// One command sent to the mount and the rule by which its exchange is
// complete.
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>

namespace morvane {

enum class ReplyRule {
    Settle,   // done once the command has left the output buffer and, for a command the
              // mount acknowledges, its "#" has come (or a short bound passed); input dropped
    Counted,  // done once at least `count` characters have arrived, stray "#" ahead not counted
    Answer,   // done once an answer has arrived and the line has gone quiet
};

struct Exchange {
    QByteArray command;
    ReplyRule rule = ReplyRule::Settle;
    int count = 0;
    // Within a sequence: how long the link stays held, idle, after this step.
    std::chrono::milliseconds pauseAfter{0};

    static Exchange settle(QByteArray command) { return {std::move(command), ReplyRule::Settle}; }
    static Exchange counted(QByteArray command, int count) {
        return {std::move(command), ReplyRule::Counted, count};
    }
    static Exchange answer(QByteArray command) { return {std::move(command), ReplyRule::Answer}; }
};

enum class ExchangeStatus {
    Done,
    NotOpen,      // the port was not open when the exchange's turn came
    Closed,       // the user closed the port before the exchange ended
    Lost,         // the device went away
    TimedOut,     // the exchange's time limit passed
    WriteFailed,  // the command could not be handed to the port whole
};

struct ExchangeResult {
    ExchangeStatus status = ExchangeStatus::Done;
    QByteArray reply;  // what arrived (for a sequence: the last step's)
    QString error;     // what went wrong and what to do, for the user
    bool ok() const { return status == ExchangeStatus::Done; }
};

using ExchangeCallback = std::function<void(const ExchangeResult&)>;

}  // namespace morvane
