// Held-button repeats: the periods on the wire, as the panel wrote the frames and each
// frame's way from the write to the simulator, for the window, the core alone and a bare
// QTimer, held in turn; with the window's paint passes meanwhile.

#include "window/harness.h"

#include "event_stopwatch.h"

#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

namespace vx37::bench {

namespace {

struct Periods
{
    std::vector<double> gaps;

    void add(const std::vector<std::int64_t>& stamps, std::size_t periods)
    {
        for (std::size_t i = 1; i < stamps.size() && i <= periods; ++i)
            gaps.push_back((stamps[i] - stamps[i - 1]) / 1e6);
    }
    double mean() const { return std::accumulate(gaps.begin(), gaps.end(), 0.0) / gaps.size(); }
    double offPercent(int interval) const { return (mean() - interval) / interval * 100.0; }
    double p99Deviation(int interval) const
    {
        std::vector<double> deviations;
        for (const double gap : gaps)
            deviations.push_back(std::abs(gap - interval));
        return percentile(deviations, 0.99);
    }
    double longest() const { return percentile(gaps, 1.0); }
};

// Each frame from its write to the simulator reading it: the write, the pseudo-terminal,
// the kernel worker that carries the bytes across and the simulator's thread waking.
struct Delivery
{
    std::vector<double> ms;

    void add(const std::vector<std::int64_t>& written, const std::vector<std::int64_t>& read,
             std::size_t frames)
    {
        for (std::size_t i = 0; i < written.size() && i < read.size() && i <= frames; ++i)
            ms.push_back((read[i] - written[i]) / 1e6);
    }
    double p99() const { return percentile(ms, 0.99); }
    double longest() const { return percentile(ms, 1.0); }
};

// A precise QTimer writing the arrow's frame to a serial port each beat, its periods taken
// on the far end as the panel's are: the floor of the stack for a period on the wire (the
// timer, QSerialPort, the pseudo-terminal and the simulator's thread waking). Its own
// handler stamps each beat too: how much of that the machine's timers alone bring.
void bareTimer(Simulator& sim, QSerialPort& port, Periods& onTheWire, Periods& inHandler,
               Delivery& delivery, int interval, std::size_t periods)
{
    std::vector<std::int64_t> ticks;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(interval);
    QObject::connect(&timer, &QTimer::timeout, &port, [&] {
        ticks.push_back(monotonicNanoseconds());
        port.write("C3C\r", 4);
        port.flush();
    });
    const std::size_t index = sim.wire.frameCount();
    timer.start();
    sim.wire.waitForFrames(index + periods + 1, int(interval * (periods + 10) + 2000));
    timer.stop();
    runEventLoopFor(50); // the last frames reach the simulator
    const auto read = sim.wire.framesFrom(index);
    onTheWire.add(read, periods);
    inHandler.add(ticks, periods);
    delivery.add(ticks, read, periods);
}

// Holds the button until periods repeats have reached the wire; the periods on the wire
// and as the panel wrote them.
template <typename Rig>
void hold(Rig& rig, std::string_view control, int interval, std::size_t periods, Periods& onTheWire,
          Periods& handedOver, Delivery& delivery)
{
    endAccumulation(rig.panel);
    const std::size_t index = rig.sim.wire.frameCount();
    rig.comm.written.clear();
    rig.press(control);
    rig.sim.wire.waitForFrames(index + periods + 1, int(interval * (periods + 10) + 2000));
    rig.release(control);
    runEventLoopFor(50); // the last frames reach the simulator
    const auto read = rig.sim.wire.framesFrom(index);
    onTheWire.add(read, periods);
    handedOver.add(rig.comm.written, periods);
    delivery.add(rig.comm.written, read, periods);
}

void printPeriods(const char* rig, const Periods& periods, int interval)
{
    std::printf("    %-34s mean %.3f ms (%+.2f %%), 99th-percentile deviation %.3f ms, "
                "longest %.2f ms\n",
                rig, periods.mean(), periods.offPercent(interval), periods.p99Deviation(interval),
                periods.longest());
}

} // namespace

// The bare timer, the core and the window hold in turn, block after block, so that what
// the machine does meanwhile falls on all three alike.
void repeat(Core& core, Window& window, BareRig& bareRig, const char* what,
            std::string_view control, int interval, std::size_t periods, int blocks)
{
    Periods bare, bareHandler, alone, aloneHanded, shown, shownHanded;
    Delivery bareDelivery, aloneDelivery, shownDelivery;
    const std::size_t each = periods / std::size_t(blocks);
    int passes = 0;
    double drawingMs = 0, longestPassMs = 0, longestPassCpuMs = 0;
    double longestEventMs = 0; // on the user-interface thread, the window shown
    QEvent::Type longestEvent = QEvent::None;
    for (int b = 0; b < blocks; ++b) {
        bareTimer(bareRig.sim, bareRig.port, bare, bareHandler, bareDelivery, interval, each);
        if (tableButton(control).hold.arrow) {
            // After a D.Zoom release the arrows repeat every 5 ms, time-outs 5 ms as well.
            core.press("Command48");
            core.release("Command48");
            window.press("Command48");
            window.settle("Command48", true);
            window.release("Command48");
            window.settle("Command48", false);
        }
        hold(core, control, interval, each, alone, aloneHanded, aloneDelivery);
        const DrawingTime drawing(&window.form);
        const EventStopwatch stopwatch;
        hold(window, control, interval, each, shown, shownHanded, shownDelivery);
        if (stopwatch.longestMs() > longestEventMs) {
            longestEventMs = stopwatch.longestMs();
            longestEvent = stopwatch.longestType();
        }
        passes += drawing.passes;
        drawingMs += drawing.totalMs;
        if (drawing.longestMs > longestPassMs) {
            longestPassMs = drawing.longestMs;
            longestPassCpuMs = drawing.longestCpuMs;
        }
    }
    const bool meanMet = std::abs(shown.offPercent(interval)) <= 2.0;
    const bool jitterMet = shown.p99Deviation(interval) <= bare.p99Deviation(interval) + 0.5;
    std::printf("repeat every %d ms (%s held), %zu periods on the wire in %d blocks, "
                "interleaved:\n"
                "    window shown: mean %.3f ms (%+.2f %%, target within 2 %%) %s; "
                "99th-percentile deviation %.3f ms (target <= bare QTimer + 0.5) %s; "
                "longest %.2f ms",
                interval, what, shown.gaps.size(), blocks, shown.mean(), shown.offPercent(interval),
                judge(meanMet), shown.p99Deviation(interval), judge(jitterMet), shown.longest());
    if (interval == 5)
        std::printf(" (target <= 15) %s", judge(shown.longest() <= 3.0 * interval));
    std::printf("\n      the window's drawing meanwhile: %d paint passes, %.3f ms each on "
                "average, longest %.2f ms (%.2f ms of it running), %.1f %% of the time held; "
                "longest event on the user-interface thread %.2f ms (%s)\n",
                passes, passes ? drawingMs / passes : 0.0, longestPassMs, longestPassCpuMs,
                100.0 * drawingMs / std::accumulate(shown.gaps.begin(), shown.gaps.end(), 0.0),
                longestEventMs, eventName(longestEvent));
    std::printf("      as the panel wrote them: 99th-percentile deviation "
                "%.3f ms, longest %.2f ms; the core alone's %.3f and %.2f ms\n",
                shownHanded.p99Deviation(interval), shownHanded.longest(),
                aloneHanded.p99Deviation(interval), aloneHanded.longest());
    std::printf("      on the way (from the write to the simulator's read): 99th percentile "
                "%.3f ms, longest %.2f ms; the core alone's %.3f and %.2f ms, the bare "
                "QTimer's %.3f and %.2f ms\n",
                shownDelivery.p99(), shownDelivery.longest(), aloneDelivery.p99(),
                aloneDelivery.longest(), bareDelivery.p99(), bareDelivery.longest());
    printPeriods("core alone:", alone, interval);
    printPeriods("bare QTimer writing to a port:", bare, interval);
    printPeriods("  the same, in its own handler:", bareHandler, interval);
}

} // namespace vx37::bench
