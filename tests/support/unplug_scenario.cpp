#include "unplug_scenario.h"

#include "event_wait.h"
#include "live_panel.h"
#include "resident_memory.h"
#include "sim_process.h"

#include <QElapsedTimer>

#include <algorithm>
#include <csignal>

using namespace vx37;
using namespace vx37::testing;

UnplugFigures runUnplugCycles(int cycles, int comeBackMs, int retryMs)
{
    UnplugFigures figures;
    // Three commands a cycle reach the projector: the STATUS, the press and one repeat;
    // the line goes 100 ms after the third answer.
    const QByteArray options = "--power on --vanish-after 3 --come-back " +
                               QByteArray::number(comeBackMs) + " --cycles " +
                               QByteArray::number(cycles);
    SimProcess sim(options.constData());
    if (!sim.isServing()) {
        figures.failure = QStringLiteral("the simulator did not start: ") + sim.transcript();
        return figures;
    }
    LivePanel live(sim.link());
    live.comm.setRetryInterval(retryMs);
    if (!live.comm.deviceConnected()) {
        figures.failure = QStringLiteral("the port did not open");
        return figures;
    }

    QObject context;
    QObject::connect(&live.panel, &Panel::propertyChanged, &context, [&](FormProperty property) {
        if (property == FormProperty::StatusLine && live.status() == QLatin1String(" Power ON"))
            ++figures.answeredStatus;
    });
    const auto fail = [&](int cycle, const char* what) {
        figures.failure = QStringLiteral("cycle %1: %2 (warnings %3)")
                              .arg(cycle)
                              .arg(QLatin1String(what))
                              .arg(live.warnings.count());
        figures.warnings = static_cast<int>(live.warnings.count());
        return figures;
    };

    QElapsedTimer total;
    total.start();
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        QElapsedTimer thisCycle;
        thisCycle.start();
        if (!waitUntil([&] { return live.comm.deviceConnected(); }, 5000))
            return fail(cycle, "the port was not reopened");
        // The port is usable: a query is answered and decoded.
        const int answered = figures.answeredStatus;
        live.click("Command44");
        if (!waitUntil([&] { return figures.answeredStatus > answered; }, 5000))
            return fail(cycle, "STATUS not answered");
        if (live.warnings.count() != cycle - 1)
            return fail(cycle, "a loss reported more than once");

        // Held: the press and the repeats every 50 ms; the line goes after the first repeat.
        live.press("Command15"); // Brightness +
        runFor(20);
        live.click("Command44"); // a query among the repeats; its answer may be lost
        if (!waitUntil([&] { return live.warnings.count() == cycle; }, 5000))
            return fail(cycle, "the loss was not reported");
        runFor(60); // repeats into the lost device
        live.click("Command44");
        live.release("Command15");
        if (live.comm.deviceConnected() && live.warnings.count() != cycle)
            return fail(cycle, "connected, yet not reported once");

        figures.longestCycleMs = std::max<double>(figures.longestCycleMs, thisCycle.elapsed());
        figures.cycles = cycle;
        if (cycle == 1)
            figures.residentAfterFirstKiB = residentKiB();
    }
    // The last return, and a last query.
    if (!waitUntil([&] { return live.comm.deviceConnected(); }, 5000))
        return fail(cycles + 1, "the port was not reopened");
    const int answered = figures.answeredStatus;
    live.click("Command44");
    if (!waitUntil([&] { return figures.answeredStatus > answered; }, 5000))
        return fail(cycles + 1, "STATUS not answered");
    figures.seconds = total.elapsed() / 1000.0;
    figures.residentAfterLastKiB = residentKiB();
    figures.warnings = static_cast<int>(live.warnings.count());
    if (const int status = sim.stop(SIGTERM); status != 0)
        figures.failure = QStringLiteral("the simulator ended with status %1").arg(status);
    if (sim.linesWith(QStringLiteral("line back")) != cycles)
        figures.failure = QStringLiteral("the simulator came back %1 times, not %2")
                              .arg(sim.linesWith(QStringLiteral("line back")))
                              .arg(cycles);
    return figures;
}
