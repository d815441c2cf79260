// A flood of random bytes from the simulator: the longest event on the user-interface
// thread and the beats of a 10 ms timer missed, for the window and the core alone, beside
// a bare timer with nothing flooding.

#include "window/harness.h"

#include "event_stopwatch.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace vx37::bench {

namespace {

struct FloodFigures
{
    double longestMs = 0;
    QEvent::Type longestType = QEvent::None;
    int missedBeats = 0;
    double seconds = 0;
    qint64 receiveEvents = 0;
};

// A 10 ms heartbeat while something floods the user-interface thread, or while nothing
// does; every event on the thread timed. Ends when quiet() holds or after timeoutMs.
FloodFigures heartbeat(const std::function<bool()>& quiet, int timeoutMs)
{
    FloodFigures figures;
    EventStopwatch stopwatch;
    QElapsedTimer sinceBeat, elapsed;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    Waiter waiter;
    QObject::connect(&beat, &QTimer::timeout, &beat, [&] {
        figures.missedBeats += int(std::max<qint64>(0, sinceBeat.restart() / 10 - 1));
        if (quiet() || elapsed.elapsed() > timeoutMs)
            waiter.wake();
    });
    sinceBeat.start();
    elapsed.start();
    beat.start(10);
    waiter.wait([&] { return quiet() || elapsed.elapsed() > timeoutMs; }, timeoutMs + 1000);
    beat.stop();
    figures.longestMs = stopwatch.longestMs();
    figures.longestType = stopwatch.longestType();
    figures.seconds = elapsed.elapsed() / 1000.0;
    return figures;
}

// The projector floods the line once it has answered the first STATUS; the figures until
// the panel has read nothing for 300 ms.
template <typename Rig> FloodFigures flood(Rig& rig)
{
    QElapsedTimer lastRead;
    lastRead.start();
    qint64 events = 0;
    QObject context;
    QObject::connect(&rig.comm, &SerialControl::comm, &context, [&] {
        ++events;
        lastRead.restart();
    });
    rig.panel.Command_Click(tableButton("Command44"));
    FloodFigures figures = heartbeat(
        [&] { return rig.sim.floodDone && events > 0 && lastRead.elapsed() > 300; }, 60000);
    figures.receiveEvents = events;
    figures.seconds -= 0.3;
    if (!rig.sim.floodDone)
        qFatal("vx37-window-bench: the flood did not end");
    return figures;
}

} // namespace

void floods(XClient& x, std::int64_t bytes, int rounds)
{
    std::vector<FloodFigures> bare, alone, shown;
    for (int r = 0; r < rounds; ++r) {
        {
            Simulator sim(bytes);
            Core core(sim);
            alone.push_back(flood(core));
        }
        {
            Simulator sim(bytes);
            Window window(sim, x);
            shown.push_back(flood(window));
        }
        const double seconds = shown.back().seconds;
        bare.push_back(heartbeat([] { return false; }, int(seconds * 1000)));
    }
    const auto worst = [](const std::vector<FloodFigures>& runs) {
        return *std::max_element(runs.begin(), runs.end(), [](const auto& a, const auto& b) {
            return a.longestMs < b.longestMs;
        });
    };
    const auto missed = [](const std::vector<FloodFigures>& runs) {
        int sum = 0;
        for (const auto& run : runs)
            sum += run.missedBeats;
        return sum;
    };
    const FloodFigures w = worst(shown), a = worst(alone), b = worst(bare);
    std::printf("flood of %lld random bytes, %d rounds interleaved (worst round shown):\n"
                "    window shown: longest event on the user-interface thread %.2f ms (%s; "
                "target <= 16) %s; %d beats of a 10 ms timer missed in all; read in %.2f s "
                "by %lld receive events\n"
                "    core alone:   longest event %.2f ms (%s); %d beats missed; read in %.2f s\n"
                "    bare QTimer, nothing flooding, as long: longest event %.2f ms; "
                "%d beats missed\n",
                static_cast<long long>(bytes), rounds, w.longestMs, eventName(w.longestType),
                judge(w.longestMs <= 16.0), missed(shown), w.seconds,
                static_cast<long long>(w.receiveEvents), a.longestMs, eventName(a.longestType),
                missed(alone), a.seconds, b.longestMs, missed(bare));
}

} // namespace vx37::bench
