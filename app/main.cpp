#include "operations/mount_session.h"
#include "ui/form1.h"

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>

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

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Message boxes carry this as their title. (A display name would also be
    // appended to the window's own caption on X11, which must stay as it is.)
    QApplication::setApplicationName(QStringLiteral("Morvane Control"));
    QApplication::setApplicationVersion(QStringLiteral("1.10"));
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
    return QApplication::exec();
}
