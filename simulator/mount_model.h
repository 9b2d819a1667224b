// What the mount does with the commands it understands: where it points, how
// it gets to a goto target, its tracking and its clock. Motion is worked out
// from elapsed time whenever asked, so nothing here needs a timer; time comes
// from an injected clock so that tests can step it. Pure C++.
#pragma once

#include "simulator/parsed_command.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace morvane::sim {

class MountModel {
public:
    using Clock = std::function<std::chrono::milliseconds()>;

    static constexpr double kDefaultSlewRate = 5.0;  // degrees per second
    // Per-motor slow gotos crawl at this share of the slew rate.
    static constexpr double kSlowGotoShare = 0.25;
    // A motor move at rate n turns at n times the sidereal rate.
    static constexpr double kSiderealRate = 360.0 / 86164.0905;  // degrees per second

    enum class Axis { RightAscension, Declination };

    explicit MountModel(Clock clock);

    // The mount's answer to a well-formed command; nothing for anything else.
    std::string execute(const ParsedCommand& command);

    // Ignores rates that are not positive and finite.
    bool setSlewRate(double degreesPerSecond);
    double slewRate() const { return m_slewRate; }

    // Puts the mount at rest at these words, as after a sync.
    void setPosition(std::uint16_t raWord, std::uint16_t decWord);

    std::uint16_t rightAscensionWord() const;
    std::uint16_t declinationWord() const;
    bool gotoInProgress() const;
    bool tracking() const { return m_tracking; }
    // Signed degrees per second of a motor move, 0 when the axis is not moving
    // at a set rate.
    double moveRate(Axis axis) const;
    // The controller's clock, once it has been set.
    std::optional<std::chrono::sys_seconds> clock() const;

private:
    enum class Motion { Rest, Goto, Move };

    struct AxisState {
        double start = 0;  // in word units: 65536 per full turn
        std::chrono::milliseconds since{0};
        Motion motion = Motion::Rest;
        double target = 0;
        double speed = 0;  // units per second; signed for a move
        double restDrift = 0;

        double positionAt(std::chrono::milliseconds now) const;
        bool movingToTarget(std::chrono::milliseconds now) const;
    };

    void settle();
    void startGoto(AxisState& axis, double target, double degreesPerSecond);
    void runMotor(const MotorCommand& motor);
    std::chrono::milliseconds now() const { return m_clock(); }

    Clock m_clock;
    double m_slewRate = kDefaultSlewRate;
    // The mount starts out tracking, so a position it is put at stays put
    // until someone turns tracking off.
    bool m_tracking = true;
    AxisState m_ra;
    AxisState m_dec;
    std::optional<std::chrono::sys_seconds> m_clockValue;
    std::chrono::milliseconds m_clockSetAt{0};
};

}  // namespace morvane::sim
