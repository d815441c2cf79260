// Figures of the robustness scenarios that tests/robustness checks with loose bounds: a
// flood of random bytes from the projector, and the device going and coming back while a
// button is held and status queries go out. Runs the panel's core on the real QSerialPort
// against vx37-sim.
//
// Usage: vx37-robustness-bench [--flood BYTES] [--cycles N] [--panel-retry]
//   --flood BYTES  size of the flood (default 1048576)
//   --cycles N     unplug cycles (default 100)
//   --panel-retry  look for the lost device every second, as the panel does, instead of
//                  every 50 ms (a hundred cycles then take about two minutes)
// Exits 1 when a scenario did not come about as it should.

#include "flood_scenario.h"
#include "link/serial/qt_serial_control.h"
#include "resident_memory.h"
#include "unplug_scenario.h"

#include <QCoreApplication>
#include <QMetaEnum>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qint64 floodBytes = 1 << 20;
    int cycles = 100;
    int retryMs = 50;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--flood") == 0 && i + 1 < argc) {
            floodBytes = std::atoll(argv[++i]);
        } else if (std::strcmp(argv[i], "--cycles") == 0 && i + 1 < argc) {
            cycles = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--panel-retry") == 0) {
            retryMs = vx37::QtSerialControl::kRetryIntervalMs;
        } else {
            std::fprintf(stderr, "usage: vx37-robustness-bench [--flood BYTES] [--cycles N] "
                                 "[--panel-retry]\n");
            return 2;
        }
    }
    bool allWell = true;

    std::printf("VX37 robustness, QSerialPort against vx37-sim%s\n\n",
                kAddressSanitizer ? " (AddressSanitizer build)" : "");
    const FloodFigures f = runFlood(floodBytes);
    std::printf("flood of %lld random bytes:\n", f.floodBytes);
    if (!f.failure.isEmpty()) {
        allWell = false;
        std::printf("    FAILED: %s\n", qPrintable(f.failure));
    } else {
        std::printf("    read in %.2f s by %lld receive events; accumulator at most %zu "
                    "characters\n"
                    "    longest event on the user-interface thread %.1f ms (%s), of %lld "
                    "events; %d beats of a 10 ms timer missed\n"
                    "    resident memory %ld KiB before, %ld KiB at most, %ld KiB after "
                    "(%+ld KiB)\n"
                    "    then STATUS: RXD line \"%s\", status line \"%s\"\n"
                    "    simulator: %s\n",
                    f.floodSeconds, f.receiveEvents, f.longestAccumulator, f.longestEventMs,
                    QMetaEnum::fromType<QEvent::Type>().valueToKey(f.longestEventType),
                    f.eventsTimed, f.heartbeatsMissed, f.residentBeforeKiB, f.residentHighestKiB,
                    f.residentAfterKiB, f.residentHighestKiB - f.residentBeforeKiB,
                    qPrintable(f.rxdAfter), qPrintable(f.statusAfter), qPrintable(f.floodEnd));
    }

    std::printf("\n%d unplug cycles, the device away 150 ms each time, looked for every %d ms:\n",
                cycles, retryMs);
    const UnplugFigures u = runUnplugCycles(cycles, 150, retryMs);
    if (!u.failure.isEmpty()) {
        allWell = false;
        std::printf("    FAILED: %s\n", qPrintable(u.failure));
    } else {
        const bool once = u.warnings == u.cycles;
        allWell &= once;
        std::printf("    %d cycles in %.1f s (longest %.0f ms); %d losses reported for %d "
                    "cycles%s; %d STATUS answered\n"
                    "    resident memory %ld KiB after the first cycle, %ld KiB after the last "
                    "(%+ld KiB)\n",
                    u.cycles, u.seconds, u.longestCycleMs, u.warnings, u.cycles,
                    once ? "" : " (NOT one each)", u.answeredStatus, u.residentAfterFirstKiB,
                    u.residentAfterLastKiB, u.residentAfterLastKiB - u.residentAfterFirstKiB);
    }
    std::printf("\n%s\n", allWell ? "all well" : "SOMETHING WENT WRONG");
    return allWell ? 0 : 1;
}
