// morvane-mount-sim: a mount on a pseudo-terminal for trying the control
// panel without the hardware. Prints the device to open, then what it hears.

#include "simulator/fault.h"
#include "simulator/simulated_mount.h"
#include "simulator/termination_signals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

using namespace morvane::sim;

namespace {

QString faultList() {
    QStringList names;
    for (const std::string& name : faultNames()) {
        names << QString::fromStdString(name);
    }
    return names.join(QStringLiteral(", "));
}

int fail(const QString& message) {
    QTextStream(stderr) << "morvane-mount-sim: " << message << Qt::endl;
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morvane-mount-sim"));

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("A simulated telescope mount on a pseudo-terminal. Prints the device "
                       "path, then one line per command received."));
    options.addHelpOption();
    const QCommandLineOption linkOption(QStringLiteral("link"),
                                        QStringLiteral("Also make a symbolic link to the device "
                                                       "at PATH (removed on exit)."),
                                        QStringLiteral("PATH"));
    const QCommandLineOption rateOption(
        QStringLiteral("rate"), QStringLiteral("Slew rate in degrees per second (default 5)."),
        QStringLiteral("DEG_PER_S"));
    const QCommandLineOption faultOption(QStringLiteral("fault"),
                                         QStringLiteral("Misbehave: %1.").arg(faultList()),
                                         QStringLiteral("MODE"));
    const QCommandLineOption delayOption(QStringLiteral("reply-delay"),
                                         QStringLiteral("Answer MS milliseconds late."),
                                         QStringLiteral("MS"));
    const QCommandLineOption vanishOption(
        QStringLiteral("vanish-after"),
        QStringLiteral("Vanish, as if unplugged, on the N-th command (left unanswered)."),
        QStringLiteral("N"));
    const QCommandLineOption quietOption(QStringLiteral("quiet"),
                                         QStringLiteral("Print only the device path."));
    options.addOptions(
        {linkOption, rateOption, faultOption, delayOption, vanishOption, quietOption});
    options.process(app);
    if (!options.positionalArguments().isEmpty()) {
        return fail(QStringLiteral("unexpected argument %1").arg(options.positionalArguments()[0]));
    }

    SimulatedMount mount;
    if (options.isSet(rateOption)) {
        bool ok = false;
        const double rate = options.value(rateOption).toDouble(&ok);
        if (!ok || !mount.setSlewRate(rate)) {
            return fail(QStringLiteral("--rate wants a positive number of degrees per second"));
        }
    }
    if (options.isSet(faultOption)) {
        const auto fault = faultFromName(options.value(faultOption).toStdString());
        if (!fault) {
            return fail(QStringLiteral("--fault wants one of: %1").arg(faultList()));
        }
        mount.setFault(*fault);
    }
    if (options.isSet(delayOption)) {
        bool ok = false;
        const int delay = options.value(delayOption).toInt(&ok);
        if (!ok || delay < 0) {
            return fail(QStringLiteral("--reply-delay wants milliseconds, 0 or more"));
        }
        mount.setReplyDelay(std::chrono::milliseconds(delay));
    }
    if (options.isSet(vanishOption)) {
        bool ok = false;
        const int count = options.value(vanishOption).toInt(&ok);
        if (!ok || count < 1) {
            return fail(QStringLiteral("--vanish-after wants a count of 1 or more"));
        }
        mount.setVanishAfterCommands(count);
    }

    TerminationSignals termination;
    QString error;
    if (!termination.install(&error)) {
        return fail(error);
    }
    if (!mount.start(&error)) {
        return fail(QStringLiteral("cannot open a pseudo-terminal: %1").arg(error));
    }
    if (options.isSet(linkOption) && !mount.makeLink(options.value(linkOption), &error)) {
        mount.stop();
        return fail(QStringLiteral("cannot make the link: %1").arg(error));
    }

    QTextStream out(stdout);
    // Whoever started us reads this line to know what to open: flush it now.
    out << mount.devicePath() << Qt::endl;

    if (!options.isSet(quietOption)) {
        QObject::connect(&mount, &SimulatedMount::commandReceived, &app,
                         [&out](const LogEntry& entry) { out << entry.toLine() << Qt::endl; });
    }
    QObject::connect(&mount, &SimulatedMount::vanished, &app, &QCoreApplication::quit);
    QObject::connect(&termination, &TerminationSignals::received, &mount, &SimulatedMount::stop);
    QObject::connect(&termination, &TerminationSignals::received, &app, &QCoreApplication::quit);
    return app.exec();
}
