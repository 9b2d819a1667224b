#include "simulator/mount_model.h"

#include "mount/codec.h"

#include <cmath>

namespace morvane::sim {

namespace {

constexpr double kUnitsPerTurn = 65536.0;
constexpr double kUnitsPerDegree = kUnitsPerTurn / 360.0;
// A motor position is a 24-bit fraction of a turn; a word is 16 bits.
constexpr double kMotorStepsPerUnit = 256.0;
constexpr std::int64_t kMotorSignBit = 1 << 23;
constexpr std::int64_t kMotorSteps = 1 << 24;

double inSeconds(std::chrono::milliseconds span) {
    return std::chrono::duration<double>(span).count();
}

// The word a position rounds to, wrapped into sixteen bits (a negative
// declination comes out as its two's complement).
std::uint16_t toWord(double units) {
    const double wrapped = std::fmod(std::floor(units + 0.5), kUnitsPerTurn);
    return static_cast<std::uint16_t>(static_cast<std::int64_t>(wrapped) & 0xFFFF);
}

// The shorter way round from one position to another.
double shortestDelta(double from, double to) {
    double delta = std::fmod(to - from, kUnitsPerTurn);
    if (delta >= kUnitsPerTurn / 2) {
        delta -= kUnitsPerTurn;
    } else if (delta < -kUnitsPerTurn / 2) {
        delta += kUnitsPerTurn;
    }
    return delta;
}

}  // namespace

double MountModel::AxisState::positionAt(std::chrono::milliseconds now) const {
    const double elapsed = inSeconds(now - since);
    switch (motion) {
        case Motion::Rest:
            return start + restDrift * elapsed;
        case Motion::Move:
            return start + speed * elapsed;
        case Motion::Goto: {
            const double delta = shortestDelta(start, target);
            const double travelled = speed * elapsed;
            if (travelled < std::abs(delta)) {
                return start + std::copysign(travelled, delta);
            }
            const double sinceArrival = elapsed - std::abs(delta) / speed;
            return start + delta + restDrift * sinceArrival;
        }
    }
    return start;
}

bool MountModel::AxisState::movingToTarget(std::chrono::milliseconds now) const {
    return motion == Motion::Goto &&
           speed * inSeconds(now - since) < std::abs(shortestDelta(start, target));
}

MountModel::MountModel(Clock clock) : m_clock(std::move(clock)) {
    m_ra.since = m_dec.since = now();
}

std::string MountModel::execute(const ParsedCommand& command) {
    if (command.kind != CommandKind::Command) {
        return {};
    }
    switch (command.verb) {
        case Verb::PositionQuery:
            return codec::formatWord(rightAscensionWord()) + "," +
                   codec::formatWord(declinationWord()) + "#";
        case Verb::GotoStatusQuery:
            return gotoInProgress() ? "1#" : "0#";
        case Verb::Goto:
        case Verb::HomeGoto:
            settle();
            startGoto(m_ra, command.raWord, m_slewRate);
            startGoto(m_dec, std::int16_t(command.decWord), m_slewRate);
            break;
        case Verb::Sync:
            setPosition(command.raWord, command.decWord);
            break;
        case Verb::SetClock: {
            using namespace std::chrono;
            const ClockSetting& c = command.clock;
            const year_month_day date{year{2000 + c.yearInCentury}, month(unsigned(c.month)),
                                      day(unsigned(c.day))};
            m_clockValue = sys_days{date} + hours{c.hour} + minutes{c.minute} + seconds{c.second};
            m_clockSetAt = now();
            break;
        }
        case Verb::Tracking:
            settle();
            m_tracking = command.trackingOn;
            // An equatorial mount that stops tracking keeps its hour angle,
            // so the right ascension it points at runs on with the sky.
            m_ra.restDrift = m_tracking ? 0.0 : kSiderealRate * kUnitsPerDegree;
            break;
        case Verb::Motor:
            runMotor(command.motor);
            break;
        case Verb::None:
            return {};
    }
    return "#";
}

bool MountModel::setSlewRate(double degreesPerSecond) {
    if (!std::isfinite(degreesPerSecond) || degreesPerSecond <= 0) {
        return false;
    }
    settle();
    for (AxisState* axis : {&m_ra, &m_dec}) {
        if (axis->motion == Motion::Goto) {
            // A slow goto keeps its share of the new rate.
            axis->speed *= degreesPerSecond / m_slewRate;
        }
    }
    m_slewRate = degreesPerSecond;
    return true;
}

void MountModel::setPosition(std::uint16_t raWord, std::uint16_t decWord) {
    const auto at = now();
    for (AxisState* axis : {&m_ra, &m_dec}) {
        axis->since = at;
        axis->motion = Motion::Rest;
        axis->speed = 0;
    }
    m_ra.start = raWord;
    m_dec.start = std::int16_t(decWord);
}

std::uint16_t MountModel::rightAscensionWord() const {
    return toWord(m_ra.positionAt(now()));
}

std::uint16_t MountModel::declinationWord() const {
    return toWord(m_dec.positionAt(now()));
}

bool MountModel::gotoInProgress() const {
    const auto at = now();
    return m_ra.movingToTarget(at) || m_dec.movingToTarget(at);
}

double MountModel::moveRate(Axis axis) const {
    const AxisState& state = axis == Axis::RightAscension ? m_ra : m_dec;
    return state.motion == Motion::Move ? state.speed / kUnitsPerDegree : 0.0;
}

std::optional<std::chrono::sys_seconds> MountModel::clock() const {
    if (!m_clockValue) {
        return std::nullopt;
    }
    return *m_clockValue + std::chrono::floor<std::chrono::seconds>(now() - m_clockSetAt);
}

// Folds the motion so far into each axis's starting point, so that a new
// command starts from where the mount is now.
void MountModel::settle() {
    const auto at = now();
    for (AxisState* axis : {&m_ra, &m_dec}) {
        const double position = axis->positionAt(at);
        if (axis->motion == Motion::Goto && !axis->movingToTarget(at)) {
            axis->motion = Motion::Rest;
            axis->speed = 0;
        }
        axis->start = position;
        axis->since = at;
    }
}

void MountModel::startGoto(AxisState& axis, double target, double degreesPerSecond) {
    axis.motion = Motion::Goto;
    axis.target = target;
    axis.speed = degreesPerSecond * kUnitsPerDegree;
}

void MountModel::runMotor(const MotorCommand& motor) {
    settle();
    AxisState& axis = motor.motor == kRightAscensionMotor ? m_ra : m_dec;
    if (motor.function == kSlowGotoFunction) {
        std::int64_t steps = motor.position();
        if (&axis == &m_dec && steps >= kMotorSignBit) {
            steps -= kMotorSteps;  // southern declinations travel as two's complement
        }
        startGoto(axis, double(steps) / kMotorStepsPerUnit, m_slewRate * kSlowGotoShare);
        return;
    }
    const int rate = motor.data[0];
    if (rate == 0) {
        axis.motion = Motion::Rest;
        axis.speed = 0;
        return;
    }
    const double sense = motor.function == kMovePositiveFunction ? 1.0 : -1.0;
    axis.motion = Motion::Move;
    axis.speed = sense * rate * kSiderealRate * kUnitsPerDegree;
}

}  // namespace morvane::sim
