#include "simulator/termination_signals.h"

#include <QSocketNotifier>
#include <QString>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace morvane::sim {

namespace {

// A signal handler may only do async-signal-safe work: it writes the signal
// number into a pipe whose other end the event loop watches.
int g_pipe[2] = {-1, -1};

void onSignal(int signalNumber) {
    const int savedErrno = errno;
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t ignored = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

constexpr int kHandledSignals[] = {SIGINT, SIGTERM};

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {}

TerminationSignals::~TerminationSignals() {
    if (!m_notifier) {
        return;
    }
    for (int signalNumber : kHandledSignals) {
        std::signal(signalNumber, SIG_DFL);
    }
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

bool TerminationSignals::install(QString* error) {
    if (m_notifier) {
        return true;
    }
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error) {
            *error = QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        }
        return false;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::drain);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kHandledSignals) {
        ::sigaction(signalNumber, &action, nullptr);
    }
    return true;
}

void TerminationSignals::drain() {
    char bytes[16];
    ssize_t count = 0;
    while ((count = ::read(g_pipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i) {
            emit received(bytes[i]);
        }
    }
}

}  // namespace morvane::sim
