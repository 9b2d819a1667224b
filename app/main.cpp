#include "app/command_line.h"
#include "app/lasting_settings.h"
#include "app/remote_servers.h"
#include "operations/mount_session.h"
#include "ui/form1.h"
#include "ui/message_box_prompter.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

// For bench/run: with MORVANE_EXIT_WHEN_SHOWN set, the program prints the
// monotonic clock (ns) once the window has painted its first frame, and quits.
class ExitWhenShown : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Queued, so the frame has been flushed to the screen by then.
            QTimer::singleShot(0, this, [] {
                const auto now = std::chrono::steady_clock::now().time_since_epoch();
                std::printf("%lld\n", static_cast<long long>(now / std::chrono::nanoseconds(1)));
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }
};

void nameTheApplication() {
    // Message boxes carry this as their title. (A display name would also be
    // appended to the window's own caption on X11, which must stay as it is.)
    QCoreApplication::setApplicationName(QStringLiteral("Morvane Control"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.10"));
}

// --help and --version are answered without a window, and without needing a
// display.
bool answeredWithoutWindow(int argc, char* argv[]) {
    static const char* const kQuestions[] = {"-h", "-?", "--help", "--help-all", "-v", "--version"};
    bool asked = false;
    for (int i = 1; i < argc; ++i) {
        for (const char* question : kQuestions) {
            asked = asked || std::strcmp(argv[i], question) == 0;
        }
    }
    if (asked) {
        QCoreApplication core(argc, argv);
        nameTheApplication();
        QCommandLineParser parser;
        morvane::app::declareOptions(parser, morvane::app::settingsFilePath());
        parser.process(QCoreApplication::arguments());  // prints, and exits
    }
    return asked;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (answeredWithoutWindow(argc, argv)) {
        return 0;
    }
    // Qt takes its own options (-platform, -style, ...) out of the arguments
    // here; the rest are ours.
    QApplication app(argc, argv);
    nameTheApplication();
    const auto parsed = morvane::app::parseCommandLine(QCoreApplication::arguments());
    const auto* options = std::get_if<morvane::app::CommandLine>(&parsed);
    if (options == nullptr) {
        std::fprintf(stderr, "morvane-control: %s\nTry 'morvane-control --help'.\n",
                     qPrintable(std::get<QString>(parsed)));
        return 2;
    }
    // Ties the window to its desktop entry (icon, name in the task bar).
    QGuiApplication::setDesktopFileName(QStringLiteral("morvane-control"));
    QApplication::setStyle(QStringLiteral("Fusion"));

    // The one link to the mount, shared by the window and the remote servers.
    morvane::operations::MountSession session;
    morvane::Form1 window(nullptr, nullptr, &session);
    if (qEnvironmentVariableIsSet("MORVANE_EXIT_WHEN_SHOWN")) {
        window.installEventFilter(new ExitWhenShown(&window));
    }
    window.show();
    if (options->quitAfterSeconds > 0) {
        // Closed as a user would close it, and every event loop left, so that
        // an open message box cannot keep an unattended run alive.
        QTimer::singleShot(std::chrono::seconds(options->quitAfterSeconds), &window, [&window] {
            window.close();
            QCoreApplication::exit(0);
        });
    }

    // The site, the horizon limit and the servers, as kept from the last run.
    morvane::app::LastingSettings settings(morvane::app::settingsFilePath(), session, *options);
    for (const QString& problem : settings.problems()) {
        std::fprintf(stderr, "morvane-control: %s\n", qPrintable(problem));
    }
    morvane::app::RemoteServers servers(settings.serversForThisRun(), settings.setupContext(),
                                        session);
    morvane::MessageBoxPrompter startPrompter(&window);
    morvane::app::reportStartFailures(servers.start(), startPrompter);
    return QApplication::exec();
}
