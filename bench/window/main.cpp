// The whole program with its window shown, against the projector simulator, each figure
// beside the same figure for the panel's core alone (no window) and for a bare QTimer:
// click to wire, reply to the status line painted, held-button repeats, a flood; and the
// start-up of vx37-panel beside a bare Qt window.
//
// The benchmark starts its own X server (Xvfb) with a window manager (openbox) and stops
// them at the end. Clicks are real mouse events injected into the X server (XTest); the
// window they land on is Form1 with its Panel, QtSerialControl (each write stamped) and
// QtIntervalTimers, built as vx37-panel builds them. The simulator runs on threads of this
// process so that both ends stamp their moments on the same clock (CLOCK_MONOTONIC); the
// start-up figure launches the real vx37-panel, vx37-bare-window (with and without a word
// of text) and vx37-captions-window (the panel's start-up captions in one widget) and
// watches the screen for their first frame. It skips, saying so, where Xvfb or openbox is
// not installed.
//
// Usage: vx37-window-bench [--quick] [--startups N] [--only PART] [--panel PATH]
//                          [--against PATH]
//   --quick        a quarter of the samples, start-up median of 5
//   --startups N   launches of each program for the start-up figure (default 15)
//   --only PART    one part alone: click, reply, repeat, flood or startup
//   --panel PATH   the start-up figure of another build of vx37-panel
//   --against PATH another program launched in turn with the others for the start-up
//                  figure: another build of vx37-panel, or another program's window to
//                  compare with (/usr/bin/cutecom); may be given more than once

#include "window/harness.h"

#include <QApplication>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <signal.h>

using namespace vx37::bench;

int main(int argc, char** argv)
{
    bool quick = false;
    int startups = 15;
    QByteArray only;
    const char* panel = VX37_PANEL_PATH;
    std::vector<const char*> against;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
            startups = 5;
        } else if (std::strcmp(argv[i], "--panel") == 0 && i + 1 < argc) {
            panel = argv[++i];
        } else if (std::strcmp(argv[i], "--against") == 0 && i + 1 < argc) {
            against.push_back(argv[++i]);
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else if (std::strcmp(argv[i], "--startups") == 0 && i + 1 < argc) {
            startups = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: vx37-window-bench [--quick] [--startups N] "
                                 "[--only click|reply|repeat|flood|startup] [--panel PATH] "
                                 "[--against PATH]\n");
            return 2;
        }
    }
    for (const char* needed : {"Xvfb", "openbox"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(needed)).isEmpty()) {
            std::printf("vx37-window-bench: skipped: %s is not installed "
                        "(apt-get install xvfb openbox)\n",
                        needed);
            return 0;
        }
    }
    ::signal(SIGPIPE, SIG_IGN);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    XSession session;
    std::string error;
    if (!session.start(&error)) {
        std::fprintf(stderr, "vx37-window-bench: %s\n", error.c_str());
        return 1;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    XClient x;
    const int scale = quick ? 4 : 1;

    std::printf("VX37 with its window, under Xvfb %s with openbox, QSerialPort against "
                "vx37-sim%s\n\n",
                session.display.c_str(), quick ? ", quick run (fewer samples)" : "");
    std::fflush(stdout);
    const auto wanted = [&](const char* part) { return only.isEmpty() || only == part; };
    if (wanted("click") || wanted("reply") || wanted("repeat")) {
        Simulator coreSim, windowSim;
        Core core(coreSim);
        Window window(windowSim, x);
        if (wanted("click"))
            clickToWire(core, window, 400 / scale);
        if (wanted("reply"))
            replyToStatusLine(core, window, 400 / scale);
        if (wanted("repeat")) {
            BareRig bare;
            repeat(core, window, bare, "VOL +", "Command1", 250, 120 / std::size_t(scale), 6);
            repeat(core, window, bare, "Brightness +", "Command15", 50, 600 / std::size_t(scale),
                   10);
            repeat(core, window, bare, "arrow up, after D.Zoom", "Command5", 5,
                   4000 / std::size_t(scale), 10);
        }
    }
    if (wanted("flood"))
        floods(x, 1 << 20, quick ? 1 : 3);
    if (wanted("startup"))
        startUp(x, startups, panel, against);
    if (!readsAtRealTime)
        std::printf("\n(the simulators read at normal priority: real-time priority was not "
                    "allowed, so the figures on the wire include their waits for a core)\n");
    std::printf("\n%s\n", allTargetsMet() ? "all targets met" : "some targets MISSED");
    return 0;
}
