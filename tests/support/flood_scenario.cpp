#include "flood_scenario.h"

#include "event_stopwatch.h"
#include "event_wait.h"
#include "live_panel.h"
#include "resident_memory.h"
#include "sim_process.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <csignal>

using namespace vx37;
using namespace vx37::testing;

FloodFigures runFlood(qint64 bytes, const PortBridge& bridge)
{
    FloodFigures figures;
    figures.floodBytes = bytes;
    SimProcess sim(("--power on --flood " + QByteArray::number(bytes)).constData());
    if (!sim.isServing()) {
        figures.failure = QStringLiteral("the simulator did not start: ") + sim.transcript();
        return figures;
    }
    LivePanel live(bridge ? bridge(sim.link()) : sim.link());
    if (!waitUntil([&] { return live.comm.deviceConnected(); }, 5000)) {
        figures.failure = QStringLiteral("the port did not open");
        return figures;
    }

    QObject context;
    QObject::connect(&live.panel, &Panel::propertyChanged, &context, [&](FormProperty property) {
        if (property == FormProperty::RxdLine)
            figures.longestAccumulator =
                std::max(figures.longestAccumulator, live.panel.variables().rxBuffer.size());
    });
    QElapsedTimer lastRead;
    lastRead.start();
    QObject::connect(&live.comm, &SerialControl::comm, &context, [&] {
        ++figures.receiveEvents;
        lastRead.restart();
    });
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &context, [&] {
        figures.residentHighestKiB = std::max(figures.residentHighestKiB, residentKiB());
    });

    // Warm up with one ordinary query, so the baseline holds what a running panel holds.
    live.click("Command44");
    if (!waitUntil([&] { return live.status() == QLatin1String(" Power ON"); }, 5000)) {
        figures.failure = QStringLiteral("no answer before the flood");
        return figures;
    }
    figures.residentBeforeKiB = figures.residentHighestKiB = residentKiB();
    sampler.start(50);

    // The flood follows that answer. A 10 ms heartbeat shows whether the loop keeps up.
    EventStopwatch stopwatch;
    QElapsedTimer sinceBeat;
    sinceBeat.start();
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, &context, [&] {
        figures.heartbeatsMissed += std::max<qint64>(0, sinceBeat.restart() / 10 - 1);
    });
    heartbeat.start(10);
    QElapsedTimer flooded;
    flooded.start();
    const qint64 eventsBefore = figures.receiveEvents;
    // A query amid the noise reaches the projector, and its answer joins the stream.
    QObject::connect(&live.comm, &SerialControl::comm, &context, [&] {
        if (figures.receiveEvents == eventsBefore + 50)
            live.click("Command44");
    });
    // Done when the simulator has written it all and the panel has read nothing for 500 ms.
    const bool quiet = waitUntil(
        [&] {
            return sim.linesWith(QStringLiteral("flood done")) == 1 &&
                   figures.receiveEvents > eventsBefore && lastRead.elapsed() > 500;
        },
        60000);
    figures.floodSeconds = (flooded.elapsed() - lastRead.elapsed()) / 1000.0;
    heartbeat.stop();
    figures.longestEventMs = stopwatch.longestMs();
    figures.longestEventType = stopwatch.longestType();
    figures.eventsTimed = stopwatch.events();
    figures.receiveEvents -= eventsBefore;
    if (!quiet) {
        figures.failure = QStringLiteral("the flood did not end within 60 s");
        return figures;
    }

    // What the flood left in the accumulator goes at the next reply time-out, and the
    // display-clear step empties the status line; then a query starts afresh. On a busy
    // machine this query's answer may come after its time-out: it must have been read
    // before the fresh query goes, or both answers show.
    const int answersBefore = sim.linesWith(QStringLiteral("VX37>PC  0 0 CR"));
    live.click("Command44");
    if (!waitUntil(
            [&] {
                return sim.linesWith(QStringLiteral("VX37>PC  0 0 CR")) > answersBefore &&
                       lastRead.elapsed() > 200;
            },
            5000) ||
        !waitUntil([&] { return live.panel.variables().rxBuffer.empty(); }, 5000) ||
        !waitUntil([&] { return live.status().isEmpty(); }, 5000)) {
        figures.failure = QStringLiteral("the accumulator or the status line was not emptied");
        return figures;
    }
    live.click("Command44");
    if (!waitUntil([&] { return live.status() == QLatin1String(" Power ON"); }, 5000))
        figures.failure = QStringLiteral("the query after the flood was not decoded");
    figures.rxdAfter = live.rxd();
    figures.statusAfter = live.status();
    sampler.stop();
    figures.residentAfterKiB = residentKiB();
    figures.queriesHeard = sim.linesWith(QStringLiteral("PC>VX37  C R 0 CR"));
    for (const QString& line : sim.transcript().split(QLatin1Char('\n'))) {
        if (line.contains(QLatin1String("flood done")))
            figures.floodEnd = line.simplified();
    }
    // It ends cleanly (and, in a sanitizer build, without a leak of its own).
    if (const int status = sim.stop(SIGTERM); status != 0 && figures.failure.isEmpty())
        figures.failure = QStringLiteral("the simulator ended with status %1").arg(status);
    figures.residentHighestKiB = std::max(figures.residentHighestKiB, figures.residentAfterKiB);
    return figures;
}
