// Start-up: vx37-panel launched again and again, from exec until its first frame is on
// the screen, in turn with the floors beneath it (a bare Qt window, the same with one word
// of text, the panel's start-up captions drawn in one widget) and any other programs given
// (another build of the panel, or another program to compare with).

#include "window/harness.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vx37::bench {

namespace {

struct Launch
{
    double mappedMs = 0;  // the window manager has put the window on the screen
    double paintedMs = 0; // the window's first frame is on the screen
};

// From exec to the window on the screen and painted: its corner shows something other than
// the black of the empty screen (the panel's grey, which the floors paint too, or any other
// program's own background). Until its first frame a window shows what lay beneath it.
std::optional<Launch> launch(XClient& x, const char* program, const char* option = nullptr)
{
    const std::vector<xcb_window_t> before = x.clients();
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(option), nullptr};
    // What the program prints would only break up the figures.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&quiet, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const std::int64_t start = monotonicNanoseconds();
    const int spawned = posix_spawn(&pid, program, &quiet, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0)
        qFatal("vx37-window-bench: cannot start %s", program);
    std::optional<Launch> result;
    Launch times;
    xcb_window_t window = 0;
    const timespec pause{0, 1'000'000};
    while (monotonicNanoseconds() - start < 20'000'000'000) {
        const std::int64_t now = monotonicNanoseconds();
        if (!window) {
            for (const xcb_window_t w : x.clients())
                if (std::find(before.begin(), before.end(), w) == before.end())
                    window = w;
        }
        if (window && !times.mappedMs && x.viewable(window))
            times.mappedMs = (now - start) / 1e6;
        if (times.mappedMs && x.pixel(window, 1, 1) > 0) {
            times.paintedMs = (monotonicNanoseconds() - start) / 1e6;
            result = times;
            break;
        }
        nanosleep(&pause, nullptr);
    }
    if (window)
        x.close(window);
    for (int i = 0; i < 500; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return result;
        const timespec tick{0, 10'000'000};
        nanosleep(&tick, nullptr);
    }
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return result;
}

} // namespace

void startUp(XClient& x, int rounds, const char* panel, const std::vector<const char*>& others)
{
    Simulator sim; // the panel opens COM1 at start-up
    qputenv("VX37_COM1", sim.path());
    struct Program
    {
        const char* name;
        const char* path;
        const char* option = nullptr;
        std::vector<double> painted = {}, mapped = {};
    };
    // The panel, the floors beneath it and the other programs launched in turn; the order
    // rotates from round to round.
    std::vector<Program> programs = {{"panel", panel},
                                     {"bare", VX37_BARE_WINDOW_PATH},
                                     {"bare with one word", VX37_BARE_WINDOW_PATH, "--text"},
                                     {"captions alone", VX37_CAPTIONS_WINDOW_PATH}};
    for (const char* other : others)
        programs.push_back({other, other});
    // Once each untimed: the libraries into the page cache.
    for (const Program& program : programs)
        launch(x, program.path, program.option);
    const int kinds = int(programs.size());
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < kinds; ++k) {
            Program& program = programs[std::size_t((r + k) % kinds)];
            const auto times = launch(x, program.path, program.option);
            if (!times)
                qFatal("vx37-window-bench: %s showed no window", program.path);
            program.painted.push_back(times->paintedMs);
            program.mapped.push_back(times->mappedMs);
        }
    }
    const auto painted = [&](int which) { return median(programs[std::size_t(which)].painted); };
    const auto mapped = [&](int which) { return median(programs[std::size_t(which)].mapped); };
    const double aboveCaptions = painted(0) - painted(3);
    std::printf("start-up, exec to the window painted on the screen, %d launches of each, "
                "interleaved (medians):\n"
                "    vx37-panel %.1f ms (mapped at %.1f)\n"
                "    floors: a bare Qt window %.1f ms, with one word of text %.1f ms, the "
                "panel's start-up captions drawn in one widget %.1f ms\n"
                "    the panel above the captions floor: %.1f ms (target <= 10)   %s\n",
                rounds, painted(0), mapped(0), painted(1), painted(2), painted(3), aboveCaptions,
                judge(aboveCaptions <= 10.0));
    for (std::size_t i = 4; i < programs.size(); ++i)
        std::printf("    %s: %.1f ms (mapped at %.1f); the panel takes %.2f of that\n",
                    programs[i].name, painted(int(i)), mapped(int(i)),
                    painted(0) / painted(int(i)));
    std::printf("    each launch,");
    for (const Program& program : programs) {
        std::printf("%s %s:", &program == &programs.front() ? "" : ";", program.name);
        for (const double ms : program.painted)
            std::printf(" %.0f", ms);
    }
    std::printf("\n");
}

} // namespace vx37::bench
