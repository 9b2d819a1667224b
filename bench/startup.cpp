// Start to window shown: runs the real morvane-control with
// MORVANE_EXIT_WHEN_SHOWN set, so that it prints the monotonic clock once its
// window has painted its first frame and quits. The figure runs from just
// before the process is spawned to that moment, process start and library
// loading included. Resident memory is the process's peak (ru_maxrss), an
// upper bound of what it holds once shown.
//
//   bench_startup offscreen|xcb
//
// For xcb, DISPLAY must name a running X server (bench/run starts Xvfb).
#include "bench/support/report.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace bench = morvane::bench;

namespace {

struct Start {
    double milliseconds = -1;
    double residentMegabytes = -1;
    double processorMilliseconds = -1;  // user + system, to the exit
};

Start startOnce(const std::string& platform) {
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::strncmp(*variable, "QT_QPA_PLATFORM=", 16) != 0) {
            environment.emplace_back(*variable);
        }
    }
    environment.push_back("QT_QPA_PLATFORM=" + platform);
    environment.push_back("MORVANE_EXIT_WHEN_SHOWN=1");
    std::vector<char*> envp;
    for (std::string& variable : environment) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    char* const arguments[] = {const_cast<char*>(MORVANE_CONTROL), nullptr};

    const auto spawned = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int failed =
        posix_spawn(&pid, MORVANE_CONTROL, &actions, nullptr, arguments, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (failed != 0) {
        close(out[0]);
        return {};
    }

    std::string printed;
    pollfd readable{out[0], POLLIN, 0};
    while (printed.find('\n') == std::string::npos && poll(&readable, 1, 10'000) > 0) {
        char buffer[256];
        const ssize_t count = read(out[0], buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        printed.append(buffer, static_cast<std::size_t>(count));
    }
    close(out[0]);
    if (printed.find('\n') == std::string::npos) {
        kill(pid, SIGKILL);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);

    Start start;
    if (printed.find('\n') != std::string::npos && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        const long long shownAt = std::atoll(printed.c_str());
        start.milliseconds =
            static_cast<double>(shownAt - std::chrono::duration_cast<std::chrono::nanoseconds>(
                                              spawned.time_since_epoch())
                                              .count()) /
            1e6;
        const auto ms = [](const timeval& t) {
            return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
        };
        start.processorMilliseconds = ms(usage.ru_utime) + ms(usage.ru_stime);
        start.residentMegabytes = static_cast<double>(usage.ru_maxrss) * 1024.0 / 1e6;  // KiB to MB
    }
    return start;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string platform = argc > 1 ? argv[1] : "offscreen";
    const int samples = bench::environmentNumber("MORVANE_BENCH_SAMPLES", 100) / 5 + 1;
    constexpr int kWarmUp = 3;  // libraries and fonts into the page cache

    std::vector<double> times;
    std::vector<double> memory;
    std::vector<double> processor;
    for (int i = 0; i < kWarmUp + samples; ++i) {
        const Start start = startOnce(platform);
        if (start.milliseconds < 0) {
            std::fprintf(stderr, "startup (%s): the window was not shown\n", platform.c_str());
            return 1;
        }
        if (i >= kWarmUp) {
            times.push_back(start.milliseconds);
            memory.push_back(start.residentMegabytes);
            processor.push_back(start.processorMilliseconds);
        }
    }
    const bool x = platform == "xcb";
    const std::string where = x ? "Xvfb" : platform;
    bench::reportFigure(std::string(x ? "5b" : "5a") + ". Start to window shown, " + where,
                        bench::spreadOf(times), "ms", 250, "< 250 ms");
    bench::reportFigure(std::string(x ? "5d" : "5c") + ". Resident memory once shown, " + where,
                        bench::spreadOf(memory), "MB", 60, "< 60 MB");
    bench::note(
        "start-up, %s: the process used %s ms of processor time (user + system, to its "
        "exit), median",
        where.c_str(), bench::number(bench::spreadOf(processor).median).c_str());
    return 0;
}
