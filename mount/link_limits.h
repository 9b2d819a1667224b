// Every wait on the serial line is bounded; the bounds live here and nowhere
// else.
#pragma once

#include <chrono>
#include <cstddef>

namespace morvane {

using namespace std::chrono_literals;

// Until a written command has left the program's output buffer.
inline constexpr std::chrono::milliseconds kDrainLimit = 2000ms;
// Until the "#" by which the mount acknowledges a command has come, once the
// command has left. Waiting for it keeps the next command's reply clean of it;
// a mount that stays silent costs this much per command and no more.
inline constexpr std::chrono::milliseconds kAcknowledgementLimit = 200ms;
// Until a counted reply (the position: ten characters) is complete.
inline constexpr std::chrono::milliseconds kCountedReplyLimit = 1000ms;
// Until a single short answer (to the status query) has arrived.
inline constexpr std::chrono::milliseconds kAnswerLimit = 500ms;
// An answer is taken as complete once the line has been quiet this long after
// its first character. USB adapters deliver in bursts up to 16 ms apart.
inline constexpr std::chrono::milliseconds kAnswerQuietGap = 25ms;
// How long a Goto East may take before the watch gives up.
inline constexpr std::chrono::milliseconds kArrivalWatchLimit = 180s;

// A hostile or broken device can send without end; one reply never holds
// more than this many bytes.
inline constexpr std::size_t kReplyCapacity = 4096;

// The bounds in force for one link; tests shorten them through this.
struct LinkLimits {
    std::chrono::milliseconds drain = kDrainLimit;
    std::chrono::milliseconds acknowledgement = kAcknowledgementLimit;
    std::chrono::milliseconds countedReply = kCountedReplyLimit;
    std::chrono::milliseconds answer = kAnswerLimit;
    std::chrono::milliseconds answerQuietGap = kAnswerQuietGap;
    std::chrono::milliseconds arrivalWatch = kArrivalWatchLimit;
};

}  // namespace morvane
