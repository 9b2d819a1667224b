#include "remote/alpaca_telescope.h"

#include "mount/link.h"
#include "mount/target_entry.h"
#include "operations/arrival_watch.h"
#include "operations/coordinate_send.h"
#include "operations/mount_session.h"
#include "operations/position_readings.h"
#include "remote/alpaca_identity.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <chrono>
#include <cmath>

namespace morvane::remote {
namespace {

using Handler = std::function<void(AlpacaTelescope&, const Parameters&, const Reply&)>;

struct Member {
    QString name;  // as the standard writes it; the path has it in lower case
    QString path;  // lower case
    bool put;
    QJsonValue fallback;  // the Value of an error reply (GET and Action)
    Handler handle;
};

// Clients may wait on one reading together; beyond this many they are busy.
constexpr std::size_t kMaximumPositionWaiters = 256;

const QString kGotoEast = QStringLiteral("GotoEast");

// Every digit the value needs: a refused -90.0000000001 is not told as -90.
QString number(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

Handler constant(QJsonValue value) {
    return [value](AlpacaTelescope&, const Parameters&, const Reply& reply) {
        reply(Answer::ok(value));
    };
}

Handler notImplemented(const QString& name, const QString& what) {
    return [name, what](AlpacaTelescope&, const Parameters&, const Reply& reply) {
        reply(Answer::error(
            error::kNotImplemented,
            QStringLiteral("%1 is not implemented: this mount cannot %2.").arg(name, what)));
    };
}

// A number parameter within [least, most] (or [least, most) when `openTop`).
// On failure the reply has been given.
std::optional<double> numberIn(const Parameters& parameters, const char* name, double least,
                               double most, bool openTop, const QString& unit, const Reply& reply) {
    const Field<double> field = parameters.number(name);
    if (!field.present()) {
        reply(Answer::bad(QString::fromStdString(field.problem)));
        return std::nullopt;
    }
    const double v = field.value;
    if (v < least || (openTop ? v >= most : v > most)) {
        reply(Answer::error(
            error::kInvalidValue,
            QStringLiteral("%1 %2 is outside %3 to %4 %5%6.")
                .arg(QLatin1String(name), number(v), number(least), number(most), unit,
                     openTop ? QStringLiteral(" (%1 itself excluded)").arg(number(most))
                             : QString())));
        return std::nullopt;
    }
    return v;
}

// The Axis parameter of AxisRates and CanMoveAxis: 0, 1 or 2.
std::optional<int> axis(const Parameters& parameters, const Reply& reply) {
    const Field<double> field = parameters.number("Axis");
    if (!field.present()) {
        reply(Answer::bad(QString::fromStdString(field.problem)));
        return std::nullopt;
    }
    if (field.value != 0 && field.value != 1 && field.value != 2) {
        reply(Answer::error(error::kInvalidValue,
                            QStringLiteral("Axis %1 is not an axis of this mount (0, 1 or 2).")
                                .arg(number(field.value))));
        return std::nullopt;
    }
    return static_cast<int>(field.value);
}

QString utcNow() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

double siderealTime(const operations::Site& site) {
    return operations::localApparentSiderealTime(std::chrono::system_clock::now(), site.longitude);
}

// Where the mount points, in the site's sky as of now.
operations::Horizontal horizontalOf(const operations::PositionSample& sample,
                                    const operations::Site& site) {
    return operations::horizontalFromJ2000(
        {sample.rightAscensionHours(), sample.declinationDegrees()}, site,
        std::chrono::system_clock::now());
}

// The client a request comes from, by its ClientID.
operations::MountSession::ClientId clientOf(const Parameters& parameters) {
    const Field<std::uint32_t> id = parameters.unsigned32("ClientID");
    return id.present() ? operations::MountSession::ClientId(id.value) : std::nullopt;
}

}  // namespace

// The member table; a friend, so that its handlers reach the telescope's
// state.
struct TelescopeMembers {
    static const std::vector<Member>& all();
    static const Member* find(const QString& path, bool put) {
        for (const Member& member : all()) {
            if (member.put == put && member.path == path) {
                return &member;
            }
        }
        return nullptr;
    }

    static Handler site(double operations::Site::*field, const char* name, double least,
                        double most, const QString& unit, bool put) {
        if (!put) {
            return [field](AlpacaTelescope& t, const Parameters&, const Reply& reply) {
                reply(Answer::ok(t.site().*field));
            };
        }
        // Kept: the session announces it, and the settings file keeps it.
        return [=](AlpacaTelescope& t, const Parameters& p, const Reply& reply) {
            if (const auto v = numberIn(p, name, least, most, false, unit, reply)) {
                operations::Site changed = t.site();
                changed.*field = *v;
                t.m_session.setSite(changed);
                reply(Answer::ok());
            }
        };
    }

    static Handler target(std::optional<double> AlpacaTelescope::*field, const char* name,
                          double least, double most, bool openTop, const QString& unit, bool put) {
        if (!put) {
            return [=](AlpacaTelescope& t, const Parameters&, const Reply& reply) {
                if (!(t.*field)) {
                    reply(Answer::error(error::kValueNotSet,
                                        QStringLiteral("%1 has not been set.").arg(name)));
                    return;
                }
                reply(Answer::ok(*(t.*field)));
            };
        }
        return [=](AlpacaTelescope& t, const Parameters& p, const Reply& reply) {
            if (const auto v = numberIn(p, name, least, most, openTop, unit, reply)) {
                t.*field = *v;
                reply(Answer::ok());
            }
        };
    }

    // SlewToCoordinatesAsync and SyncToCoordinates.
    static Handler toCoordinates(char letter) {
        return [letter](AlpacaTelescope& t, const Parameters& p, const Reply& reply) {
            const auto hours =
                numberIn(p, "RightAscension", 0, 24, true, QStringLiteral("hours"), reply);
            if (!hours) {
                return;
            }
            const auto degrees =
                numberIn(p, "Declination", -90, 90, false, QStringLiteral("degrees"), reply);
            if (degrees) {
                t.sendTarget(letter, {*hours, *degrees}, false, reply);
            }
        };
    }

    // SlewToTargetAsync and SyncToTarget.
    static Handler toTarget(char letter) {
        return [letter](AlpacaTelescope& t, const Parameters&, const Reply& reply) {
            if (!t.m_targetRightAscension || !t.m_targetDeclination) {
                reply(Answer::error(
                    error::kValueNotSet,
                    QStringLiteral("%1 has not been set.")
                        .arg(!t.m_targetRightAscension ? QStringLiteral("TargetRightAscension")
                                                       : QStringLiteral("TargetDeclination"))));
                return;
            }
            t.sendTarget(letter, {*t.m_targetRightAscension, *t.m_targetDeclination}, false, reply);
        };
    }
};

const std::vector<Member>& TelescopeMembers::all() {
    static const std::vector<Member> members = [] {
        const bool get = false;
        const bool put = true;
        std::vector<Member> m;
        const auto add = [&m](const char* name, bool isPut, QJsonValue fallback, Handler h) {
            const QString n = QString::fromLatin1(name);
            if (fallback.isNull()) {
                fallback = QJsonValue::Undefined;  // a PUT's reply has no Value
            }
            m.push_back({n, n.toLower(), isPut, std::move(fallback), std::move(h)});
        };
        const auto cannot = [&add](const char* name, bool isPut, QJsonValue fallback,
                                   const char* what) {
            add(name, isPut, std::move(fallback),
                notImplemented(QString::fromLatin1(name), QString::fromLatin1(what)));
        };
        const QString hours = QStringLiteral("hours");
        const QString degrees = QStringLiteral("degrees");

        // Common to every device.
        add("Connected", get, false, [](AlpacaTelescope& t, const Parameters& p, const Reply& r) {
            r(Answer::ok(t.m_session.isOpenFor(clientOf(p))));
        });
        add("Connected", put, {}, [](AlpacaTelescope& t, const Parameters& p, const Reply& r) {
            const Field<bool> on = p.boolean("Connected");
            if (!on.present()) {
                r(Answer::bad(QString::fromStdString(on.problem)));
                return;
            }
            t.putConnected(on.value, p, r);
        });
        // Opening a serial port takes moments: connect finishes before it answers.
        add("Connect", put, {}, [](AlpacaTelescope& t, const Parameters& p, const Reply& r) {
            t.putConnected(true, p, r);
        });
        add("Disconnect", put, {}, [](AlpacaTelescope& t, const Parameters& p, const Reply& r) {
            t.putConnected(false, p, r);
        });
        add("Connecting", get, false, constant(false));
        add("Description", get, QString(),
            [](AlpacaTelescope& t, const Parameters&, const Reply& r) {
                r(Answer::ok(QStringLiteral("Computerised equatorial mount on %1")
                                 .arg(t.portDescription())));
            });
        add("DriverInfo", get, QString(),
            constant(QStringLiteral("%1 %2: the mount on its serial line as ASCOM Alpaca "
                                    "Telescope 0.")
                         .arg(serverName(), programVersion())));
        add("DriverVersion", get, QString(), constant(programVersion()));
        add("InterfaceVersion", get, 0, constant(kInterfaceVersion));
        add("Name", get, QString(), constant(serverName()));
        add("SupportedActions", get, QJsonArray(), constant(QJsonArray{kGotoEast}));
        add("Action", put, QString(), [](AlpacaTelescope& t, const Parameters& p, const Reply& r) {
            const Field<std::string> action = p.text("Action");
            if (!action.present()) {
                r(Answer::bad(QString::fromStdString(action.problem)));
                return;
            }
            const QString name = QString::fromStdString(quotable(action.value));
            if (name.compare(kGotoEast, Qt::CaseInsensitive) != 0) {
                r(Answer::error(error::kActionNotImplemented,
                                QStringLiteral("Action \"%1\" is not implemented; this mount "
                                               "offers %2.")
                                    .arg(name, kGotoEast)));
                return;
            }
            t.gotoEast(r);
        });
        cannot("CommandBlind", put, {}, "take raw commands");
        cannot("CommandBool", put, false, "take raw commands");
        cannot("CommandString", put, QString(), "take raw commands");
        add("DeviceState", get, QJsonArray(),
            [](AlpacaTelescope& t, const Parameters&, const Reply& r) { t.deviceState(r); });

        // What this mount can and cannot do.
        for (const char* can :
             {"CanFindHome", "CanPark", "CanPulseGuide", "CanSetDeclinationRate",
              "CanSetGuideRates", "CanSetPark", "CanSetPierSide", "CanSetRightAscensionRate",
              "CanSlew", "CanSlewAltAz", "CanSyncAltAz", "CanUnpark"}) {
            add(can, get, false, constant(false));
        }
        for (const char* can : {"CanSetTracking", "CanSlewAltAzAsync", "CanSlewAsync", "CanSync"}) {
            add(can, get, false, constant(true));
        }
        add("CanMoveAxis", get, false, [](AlpacaTelescope&, const Parameters& p, const Reply& r) {
            if (axis(p, r)) {
                r(Answer::ok(false));
            }
        });
        add("AxisRates", get, QJsonArray(),
            [](AlpacaTelescope&, const Parameters& p, const Reply& r) {
                if (axis(p, r)) {
                    r(Answer::ok(QJsonArray()));
                }
            });

        // Where it points and whether it moves.
        add("RightAscension", get, 0.0, [](AlpacaTelescope& t, const Parameters&, const Reply& r) {
            t.readPosition(r, [](const operations::PositionSample& s) {
                return QJsonValue(s.rightAscensionHours());
            });
        });
        add("Declination", get, 0.0, [](AlpacaTelescope& t, const Parameters&, const Reply& r) {
            t.readPosition(r, [](const operations::PositionSample& s) {
                return QJsonValue(s.declinationDegrees());
            });
        });
        add("Slewing", get, false, [](AlpacaTelescope& t, const Parameters&, const Reply& r) {
            if (t.requireOpen(r)) {
                r(Answer::ok(t.slewing()));
            }
        });
        add("AtHome", get, false, constant(false));
        add("AtPark", get, false, constant(false));
        add("EquatorialSystem", get, 0, constant(2));  // J2000, as the catalogue and the window
        add("RightAscensionRate", get, 0.0, constant(0.0));
        add("DeclinationRate", get, 0.0, constant(0.0));
        cannot("RightAscensionRate", put, {}, "offset its right ascension rate");
        cannot("DeclinationRate", put, {}, "offset its declination rate");
        add("Altitude", get, 0.0, [](AlpacaTelescope& t, const Parameters&, const Reply& r) {
            t.readPosition(r, [site = t.site()](const operations::PositionSample& s) {
                return QJsonValue(horizontalOf(s, site).altitude);
            });
        });
        add("Azimuth", get, 0.0, [](AlpacaTelescope& t, const Parameters&, const Reply& r) {
            t.readPosition(r, [site = t.site()](const operations::PositionSample& s) {
                return QJsonValue(horizontalOf(s, site).azimuth);
            });
        });
        cannot("AlignmentMode", get, 0, "report its alignment mode");
        cannot("ApertureArea", get, 0.0, "report its aperture");
        cannot("ApertureDiameter", get, 0.0, "report its aperture");
        cannot("FocalLength", get, 0.0, "report its focal length");
        // Altitude and azimuth are the geometric ones: no refraction.
        add("DoesRefraction", get, false, constant(false));
        cannot("DoesRefraction", put, {}, "correct for refraction");
        cannot("GuideRateDeclination", get, 0.0, "pulse guide");
        cannot("GuideRateDeclination", put, {}, "pulse guide");
        cannot("GuideRateRightAscension", get, 0.0, "pulse guide");
        cannot("GuideRateRightAscension", put, {}, "pulse guide");
        cannot("IsPulseGuiding", get, false, "pulse guide");
        cannot("SideOfPier", get, 0, "report its side of pier");
        cannot("SideOfPier", put, {}, "change its side of pier");
        cannot("DestinationSideOfPier", get, 0, "report its side of pier");
        cannot("SlewSettleTime", get, 0, "wait for a slew to settle");
        cannot("SlewSettleTime", put, {}, "wait for a slew to settle");

        // Tracking.
        add("Tracking", get, false, [](AlpacaTelescope& t, const Parameters&, const Reply& r) {
            if (t.requireOpen(r)) {
                r(Answer::ok(t.m_session.tracking()));
            }
        });
        add("Tracking", put, {},
            [](AlpacaTelescope& t, const Parameters& p, const Reply& r) { t.setTracking(p, r); });
        add("TrackingRate", get, 0, constant(0));  // sidereal, the only one
        add("TrackingRate", put, {}, [](AlpacaTelescope&, const Parameters& p, const Reply& r) {
            const Field<double> rate = p.number("TrackingRate");
            if (!rate.present()) {
                r(Answer::bad(QString::fromStdString(rate.problem)));
            } else if (rate.value != 0) {
                r(Answer::error(error::kInvalidValue,
                                QStringLiteral("TrackingRate %1 is not offered: this mount "
                                               "tracks at the sidereal rate (0) only.")
                                    .arg(number(rate.value))));
            } else {
                r(Answer::ok());
            }
        });
        add("TrackingRates", get, QJsonArray(), constant(QJsonArray{0}));

        // Site and time.
        add("SiteLatitude", get, 0.0,
            site(&operations::Site::latitude, "SiteLatitude", -90, 90, degrees, get));
        add("SiteLatitude", put, {},
            site(&operations::Site::latitude, "SiteLatitude", -90, 90, degrees, put));
        add("SiteLongitude", get, 0.0,
            site(&operations::Site::longitude, "SiteLongitude", -180, 180, degrees, get));
        add("SiteLongitude", put, {},
            site(&operations::Site::longitude, "SiteLongitude", -180, 180, degrees, put));
        add("SiteElevation", get, 0.0,
            site(&operations::Site::elevation, "SiteElevation", -300, 10000, QStringLiteral("m"),
                 get));
        add("SiteElevation", put, {},
            site(&operations::Site::elevation, "SiteElevation", -300, 10000, QStringLiteral("m"),
                 put));
        add("SiderealTime", get, 0.0, [](AlpacaTelescope& t, const Parameters&, const Reply& r) {
            r(Answer::ok(siderealTime(t.site())));
        });
        add("UTCDate", get, QString(),
            [](AlpacaTelescope&, const Parameters&, const Reply& r) { r(Answer::ok(utcNow())); });
        add("UTCDate", put, {}, [](AlpacaTelescope&, const Parameters&, const Reply& r) {
            r(Answer::error(error::kNotImplemented,
                            QStringLiteral("Setting UTCDate is not offered: the mount's clock is "
                                           "set from the window (Date/Time Set).")));
        });

        // Targets, gotos and syncs.
        add("TargetRightAscension", get, 0.0,
            target(&AlpacaTelescope::m_targetRightAscension, "TargetRightAscension", 0, 24, true,
                   hours, get));
        add("TargetRightAscension", put, {},
            target(&AlpacaTelescope::m_targetRightAscension, "TargetRightAscension", 0, 24, true,
                   hours, put));
        add("TargetDeclination", get, 0.0,
            target(&AlpacaTelescope::m_targetDeclination, "TargetDeclination", -90, 90, false,
                   degrees, get));
        add("TargetDeclination", put, {},
            target(&AlpacaTelescope::m_targetDeclination, "TargetDeclination", -90, 90, false,
                   degrees, put));
        add("SlewToCoordinatesAsync", put, {}, toCoordinates(operations::kGotoLetter));
        add("SlewToTargetAsync", put, {}, toTarget(operations::kGotoLetter));
        add("SyncToCoordinates", put, {}, toCoordinates(operations::kSyncLetter));
        add("SyncToTarget", put, {}, toTarget(operations::kSyncLetter));
        cannot("SlewToCoordinates", put, {}, "slew synchronously (use SlewToCoordinatesAsync)");
        cannot("SlewToTarget", put, {}, "slew synchronously (use SlewToTargetAsync)");
        cannot("SlewToAltAz", put, {}, "slew synchronously (use SlewToAltAzAsync)");
        add("SlewToAltAzAsync", put, {},
            [degrees](AlpacaTelescope& t, const Parameters& p, const Reply& r) {
                const auto azimuth = numberIn(p, "Azimuth", 0, 360, true, degrees, r);
                const auto altitude =
                    azimuth ? numberIn(p, "Altitude", -90, 90, false, degrees, r) : std::nullopt;
                if (altitude) {
                    t.sendTarget(operations::kGotoLetter,
                                 operations::j2000FromHorizontal({*azimuth, *altitude}, t.site(),
                                                                 std::chrono::system_clock::now()),
                                 true, r);
                }
            });
        cannot("SyncToAltAz", put, {}, "sync on altitude and azimuth");
        cannot("AbortSlew", put, {}, "abort a slew");
        cannot("FindHome", put, {}, "find its home position");
        cannot("MoveAxis", put, {}, "move an axis at a given rate");
        cannot("Park", put, {}, "park");
        cannot("Unpark", put, {}, "park");
        cannot("SetPark", put, {}, "park");
        cannot("PulseGuide", put, {}, "pulse guide");
        return m;
    }();
    return members;
}

AlpacaTelescope::AlpacaTelescope(operations::MountSession& session, QObject* parent)
    : QObject(parent), m_session(session) {}

const operations::Site& AlpacaTelescope::site() const {
    return m_session.site();
}

bool AlpacaTelescope::hasMember(const QString& member, bool put) {
    return TelescopeMembers::find(member, put) != nullptr;
}

void AlpacaTelescope::call(const QString& member, bool put, const Parameters& parameters,
                           const Reply& reply) {
    const Member* found = TelescopeMembers::find(member, put);
    if (found == nullptr) {
        reply(Answer::bad(QStringLiteral("Telescope has no member \"%1\" to %2.")
                              .arg(member, put ? QStringLiteral("PUT") : QStringLiteral("GET"))));
        return;
    }
    m_session.heardFrom(clientOf(parameters));
    // An error reply still carries a Value of the member's type.
    const QJsonValue fallback = found->fallback;
    found->handle(*this, parameters, [reply, fallback](const Answer& answer) {
        if (answer.value.isUndefined() && !fallback.isUndefined() && answer.badRequest.isEmpty() &&
            answer.errorNumber != 0) {
            Answer filled = answer;
            filled.value = fallback;
            reply(filled);
            return;
        }
        reply(answer);
    });
}

bool AlpacaTelescope::slewing() const {
    return m_slewsBeingSent > 0 || m_session.arrivalWatch().isSlewing();
}

QString AlpacaTelescope::portDescription() const {
    return m_session.link().portDescription();
}

bool AlpacaTelescope::requireOpen(const Reply& reply) const {
    if (m_session.isOpen()) {
        return true;
    }
    reply(Answer::error(error::kNotConnected, m_session.link().notOpenMessage()));
    return false;
}

bool AlpacaTelescope::admit(const Reply& reply) {
    if (m_waitingExchanges >= kMaximumWaitingExchanges) {
        reply(Answer::error(error::kBusy,
                            QStringLiteral("The mount is busy: %1 commands from remote clients "
                                           "are waiting on %2. Try again shortly.")
                                .arg(m_waitingExchanges)
                                .arg(portDescription())));
        return false;
    }
    ++m_waitingExchanges;
    return true;
}

// The reply of an admitted exchange: frees its place first.
Reply AlpacaTelescope::releasing(const Reply& reply) {
    QPointer<AlpacaTelescope> self(this);
    return [self, reply](const Answer& answer) {
        if (self) {
            --self->m_waitingExchanges;
        }
        reply(answer);
    };
}

Answer AlpacaTelescope::failure(ExchangeStatus status, const QString& text) {
    switch (status) {
        case ExchangeStatus::NotOpen:
        case ExchangeStatus::Closed:
            return Answer::error(error::kNotConnected, text);
        default:
            return Answer::error(error::kMountFailed, text);
    }
}

Answer AlpacaTelescope::outcome(const ExchangeResult& result) {
    return result.ok() ? Answer::ok() : failure(result.status, result.error);
}

void AlpacaTelescope::putConnected(bool on, const Parameters& parameters, const Reply& reply) {
    const auto client = clientOf(parameters);
    if (!on) {
        m_session.letGo(client);
        reply(Answer::ok());
        return;
    }
    if (const auto error = m_session.openFor(client)) {
        reply(Answer::error(error::kOpenFailed, *error));
        return;
    }
    reply(Answer::ok());
}

void AlpacaTelescope::readPosition(
    const Reply& reply, std::function<QJsonValue(const operations::PositionSample&)> valueOf) {
    if (!requireOpen(reply)) {
        return;
    }
    const auto answer = [reply, valueOf](const operations::PositionSample& sample) {
        reply(sample.ok() ? Answer::ok(valueOf(sample)) : failure(sample.status, sample.error));
    };
    // A reading fresh enough answers at once, without a place on the link.
    operations::PositionReadings& readings = m_session.readings();
    if (const auto usable = readings.usable()) {
        answer(*usable);
        return;
    }
    if (m_positionWaiters.size() >= kMaximumPositionWaiters) {
        reply(Answer::error(error::kBusy, QStringLiteral("Too many clients are waiting for the "
                                                         "position. Try again shortly.")));
        return;
    }
    if (m_positionWaiters.empty()) {
        if (!admit(reply)) {
            return;
        }
        QPointer<AlpacaTelescope> self(this);
        readings.request([self](const operations::PositionSample& sample) {
            if (!self) {
                return;
            }
            --self->m_waitingExchanges;
            auto waiters = std::move(self->m_positionWaiters);
            self->m_positionWaiters.clear();
            for (auto& waiter : waiters) {
                waiter(sample);
            }
        });
    }
    m_positionWaiters.push_back(answer);
}

void AlpacaTelescope::sendTarget(char letter, operations::Equatorial target, bool altAz,
                                 const Reply& reply) {
    if (!requireOpen(reply)) {
        return;
    }
    const bool slew = letter == operations::kGotoLetter;
    const QString verb = slew ? QStringLiteral("slew") : QStringLiteral("sync");
    if (altAz && m_session.tracking()) {
        reply(Answer::error(error::kInvalidOperation,
                            QStringLiteral("Tracking is on: a slew to altitude and azimuth is "
                                           "for a mount that stays there. Set Tracking to false "
                                           "first.")));
        return;
    }
    if (!altAz && !m_session.tracking()) {
        reply(Answer::error(error::kInvalidOperation,
                            QStringLiteral("Tracking is off: the mount cannot %1 to equatorial "
                                           "coordinates. Set Tracking to true first.")
                                .arg(verb)));
        return;
    }
    const auto words = codec::wordsForAngles(target.rightAscension, target.declination);
    if (!words) {
        reply(Answer::error(error::kInvalidValue,
                            QStringLiteral("RightAscension %1 and Declination %2 cannot be "
                                           "sent to the mount.")
                                .arg(number(target.rightAscension), number(target.declination))));
        return;
    }
    if (!admit(reply)) {
        return;
    }
    QPointer<AlpacaTelescope> self(this);
    const Reply done = releasing(reply);
    const auto refusal =
        m_session.sendTarget(letter, *words, [self, slew, done](const ExchangeResult& result) {
            if (self && slew) {
                --self->m_slewsBeingSent;
            }
            done(outcome(result));
        });
    if (refusal) {
        // Below the horizon limit: nothing was sent, the targets stay.
        done(Answer::error(error::kInvalidOperation, *refusal));
        return;
    }
    if (!altAz) {
        m_targetRightAscension = target.rightAscension;
        m_targetDeclination = target.declination;
    }
    if (slew) {
        ++m_slewsBeingSent;  // Slewing reads true from now on
    }
}

void AlpacaTelescope::setTracking(const Parameters& parameters, const Reply& reply) {
    const Field<bool> on = parameters.boolean("Tracking");
    if (!on.present()) {
        reply(Answer::bad(QString::fromStdString(on.problem)));
        return;
    }
    if (!requireOpen(reply) || !admit(reply)) {
        return;
    }
    const Reply done = releasing(reply);
    m_session.setTracking(on.value,
                          [done](const ExchangeResult& result) { done(outcome(result)); });
}

void AlpacaTelescope::gotoEast(const Reply& reply) {
    if (!requireOpen(reply) || !admit(reply)) {
        return;
    }
    const Reply done = releasing(reply);
    m_session.arrivalWatch().start([done](const ExchangeResult& result) {
        Answer answer = outcome(result);
        if (answer.errorNumber == 0) {
            answer.value = QString();
        }
        done(answer);
    });
}

void AlpacaTelescope::deviceState(const Reply& reply) {
    if (!requireOpen(reply)) {
        return;
    }
    QPointer<AlpacaTelescope> self(this);
    // The position is left out when it cannot be read; the rest is known.
    readPosition(
        [self, reply](const Answer& position) {
            if (!self) {
                return;
            }
            const auto item = [](const char* name, const QJsonValue& value) {
                return QJsonObject{{QLatin1String("Name"), QLatin1String(name)},
                                   {QLatin1String("Value"), value}};
            };
            QJsonArray state{item("AtHome", false), item("AtPark", false)};
            const QJsonArray place = position.value.toArray();
            if (position.errorNumber == 0) {
                state.append(item("Altitude", place.at(2)));
                state.append(item("Azimuth", place.at(3)));
                state.append(item("Declination", place.at(1)));
                state.append(item("RightAscension", place.at(0)));
            }
            state.append(item("SiderealTime", siderealTime(self->site())));
            state.append(item("Slewing", self->slewing()));
            state.append(item("Tracking", self->m_session.tracking()));
            state.append(item("UTCDate", utcNow()));
            state.append(item("TimeStamp", utcNow()));
            reply(Answer::ok(state));
        },
        [site = site()](const operations::PositionSample& s) {
            const operations::Horizontal sky = horizontalOf(s, site);
            return QJsonArray{s.rightAscensionHours(), s.declinationDegrees(), sky.altitude,
                              sky.azimuth};
        });
}

}  // namespace morvane::remote
