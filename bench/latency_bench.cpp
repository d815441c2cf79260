// Latency of the panel's core on the real QSerialPort, against the projector simulator
// on a pseudo-terminal: click to wire, reply to status line, and the period of a held
// button's repeats. The simulator runs on a thread of this process so that both ends
// stamp their moments on the same clock (CLOCK_MONOTONIC).
//
// Usage: vx37-latency-bench [--quick] [--realtime]
//   --quick     a quarter of the samples
//   --realtime  both ends on real-time (FIFO) priority, where allowed: what the software
//               does when nothing else on the machine competes for its cores

#include "bench_support.h"

#include "app/panel.h"
#include "commands/button_table.h"
#include "link/qt_interval_timer.h"
#include "link/serial/qt_serial_control.h"
#include "sim/pty_server.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

using namespace vx37;
using namespace vx37::bench;
using sim::monotonicNanoseconds;

namespace {

// Real-time priority for the calling thread; false where the system does not allow it.
bool makeRealTime()
{
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

// Runs the event loop, without spinning, until a handler calls wake() and done() holds,
// or until timeoutMs pass.
class Waiter
{
public:
    Waiter()
    {
        deadline_.setSingleShot(true);
        QObject::connect(&deadline_, &QTimer::timeout, &loop_, &QEventLoop::quit);
    }

    void wake() { loop_.quit(); }

    bool wait(const std::function<bool()>& done, int timeoutMs)
    {
        deadline_.start(timeoutMs);
        while (!done() && deadline_.isActive())
            loop_.exec();
        deadline_.stop();
        return done();
    }

private:
    QEventLoop loop_;
    QTimer deadline_;
};

struct Bench
{
    WireLog& wire;
    Panel& panel;
    bool allMet = true;

    // Empties the accumulator as the reply time-out does, so that every sample starts
    // from the same state however fast the samples follow each other.
    void endAccumulation()
    {
        runEventLoopFor(2);
        panel.Timer2_Timer();
    }

    void clickToWire(int sends)
    {
        std::vector<double> ms;
        for (int i = 0; i < sends; ++i) {
            endAccumulation();
            const std::size_t index = wire.frameCount();
            const std::int64_t clicked = monotonicNanoseconds();
            panel.Command_Click(tableButton("Command17")); // ON
            const std::int64_t read = wire.waitForFrame(index, 1000);
            if (read < 0)
                qFatal("the simulator did not see frame %d", i);
            ms.push_back((read - clicked) / 1e6);
        }
        const double med = median(ms);
        const double p99 = percentile(ms, 0.99);
        const bool met = med <= 0.3 && p99 <= 2.0;
        allMet &= met;
        std::printf("click to wire, %d sends:\n"
                    "    median %.3f ms (target <= 0.3), 99th percentile %.3f ms (target <= 2)"
                    "   %s\n",
                    sends, med, p99, verdict(met));
    }

    void replyToStatusLine(int replies)
    {
        std::vector<double> ms;
        std::int64_t shownAt = 0;
        Waiter waiter;
        QObject context;
        QObject::connect(&panel, &Panel::propertyChanged, &context, [&](FormProperty property) {
            if (property == FormProperty::StatusLine && !shownAt &&
                panel.form().statusLine == " Power ON") {
                shownAt = monotonicNanoseconds();
                waiter.wake();
            }
        });
        for (int i = 0; i < replies; ++i) {
            endAccumulation();
            const std::size_t index = wire.writeCount();
            shownAt = 0;
            panel.Command_Click(tableButton("Command44")); // STATUS
            if (!waiter.wait([&] { return shownAt != 0; }, 1000))
                qFatal("no status line for reply %d", i);
            const std::int64_t written = wire.write(index);
            ms.push_back((shownAt - written) / 1e6);
        }
        const double med = median(ms);
        const bool met = med <= 1.0;
        allMet &= met;
        std::printf("reply to status line, %d replies:\n"
                    "    median %.3f ms (target <= 1), 99th percentile %.3f ms   %s\n",
                    replies, med, percentile(ms, 0.99), verdict(met));
    }

    struct Periods
    {
        std::size_t count = 0;
        double mean = 0;
        double offPercent = 0;
        double p99Deviation = 0;
    };

    static Periods periodsOf(const std::vector<std::int64_t>& stamps, int interval, int periods)
    {
        std::vector<double> gaps;
        for (std::size_t i = 1; i < stamps.size() && gaps.size() < std::size_t(periods); ++i)
            gaps.push_back((stamps[i] - stamps[i - 1]) / 1e6);
        std::vector<double> deviations;
        for (const double gap : gaps)
            deviations.push_back(std::abs(gap - interval));
        Periods result;
        result.count = gaps.size();
        result.mean = std::accumulate(gaps.begin(), gaps.end(), 0.0) / gaps.size();
        result.offPercent = (result.mean - interval) / interval * 100.0;
        result.p99Deviation = percentile(deviations, 0.99);
        return result;
    }

    // The same period from a precise QTimer that does nothing: how much of the jitter
    // the machine itself brings.
    static Periods bareTimer(int interval, int periods)
    {
        std::vector<std::int64_t> ticks;
        const auto enough = [&] { return ticks.size() > std::size_t(periods); };
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(interval);
        Waiter waiter;
        QObject::connect(&timer, &QTimer::timeout, &timer, [&] {
            ticks.push_back(monotonicNanoseconds());
            if (enough())
                waiter.wake();
        });
        timer.start();
        waiter.wait(enough, interval * (periods + 10) + 2000);
        return periodsOf(ticks, interval, periods);
    }

    void repeatPeriod(const char* what, std::string_view control, int interval, int periods)
    {
        endAccumulation();
        // When the panel handed each frame to the port, to tell the timer's share of the
        // jitter from the line's.
        std::vector<std::int64_t> sent;
        const ButtonRow& row = tableButton(control);
        const auto enough = [&] { return sent.size() > std::size_t(periods) + 1; };
        Waiter waiter;
        QObject context;
        QObject::connect(&panel, &Panel::propertyChanged, &context, [&](FormProperty property) {
            if (property == FormProperty::TxdLine && !panel.form().txdLine.empty()) {
                sent.push_back(monotonicNanoseconds());
                if (enough())
                    waiter.wake();
            }
        });
        const std::size_t index = wire.frameCount();
        panel.Command_MouseDown(row);
        waiter.wait(enough, interval * (periods + 10) + 2000);
        panel.Command_MouseUp(row);
        runEventLoopFor(50); // the last frames reach the simulator

        const Periods onWire = periodsOf(wire.framesFrom(index), interval, periods);
        const Periods atPanel = periodsOf(sent, interval, periods);
        const Periods bare = bareTimer(interval, periods);
        const bool met = std::abs(onWire.offPercent) <= 2.0 && onWire.p99Deviation <= 2.0;
        allMet &= met;
        std::printf(
            "repeat every %d ms (%s held), %zu periods on the wire:\n"
            "    mean %.3f ms (%+.2f %%, target within 2 %%), 99th-percentile deviation "
            "%.3f ms (target <= 2)   %s\n"
            "    (as the panel sent them: mean %.3f ms, 99th-percentile deviation %.3f ms;\n"
            "     a bare QTimer on this machine: mean %.3f ms, 99th-percentile deviation %.3f "
            "ms)\n",
            interval, what, onWire.count, onWire.mean, onWire.offPercent, onWire.p99Deviation,
            verdict(met), atPanel.mean, atPanel.p99Deviation, bare.mean, bare.p99Deviation);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bool quick = false;
    bool realTime = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--realtime") == 0) {
            realTime = true;
        } else {
            std::fprintf(stderr, "usage: vx37-latency-bench [--quick] [--realtime]\n");
            return 2;
        }
    }
    const int scale = quick ? 4 : 1;
    if (realTime && !makeRealTime()) {
        std::fprintf(stderr,
                     "vx37-latency-bench: real-time priority not allowed here (%s); "
                     "run it as root or with CAP_SYS_NICE\n",
                     std::strerror(errno));
        return 1;
    }

    QTemporaryDir dir;

    WireLog wire;
    sim::PtyServer server(quietSimOptions(dir));
    server.onRead = [&wire](std::int64_t ns, std::string_view bytes) { wire.frameRead(ns, bytes); };
    server.onWrite = [&wire](std::int64_t ns, std::string_view) { wire.replyWritten(ns); };
    std::string error;
    if (!server.open(&error)) {
        std::fprintf(stderr, "vx37-latency-bench: %s\n", error.c_str());
        return 1;
    }
    int stopPipe[2];
    if (::pipe2(stopPipe, O_CLOEXEC) != 0)
        return 1;
    std::thread serving([&] {
        if (realTime)
            makeRealTime();
        server.serve(stopPipe[0]);
    });

    qputenv("VX37_COM1", QByteArray::fromStdString(server.path()));
    QtSerialControl comm;
    QtIntervalTimer timer1(200), timer2(500), timer3(5000), timer4(1000);
    Panel panel(comm, PanelTimers{timer1, timer2, timer3, timer4});
    QObject::connect(&panel, &Panel::warning, &panel,
                     [](const QString& text) { qFatal("%s", qPrintable(text)); });
    panel.Form_Load({1920 * 15, 1080 * 15, 9615, 9180});

    std::printf("VX37 latency, QSerialPort against vx37-sim on %s%s%s\n\n",
                server.terminalPath().c_str(), quick ? ", quick run (fewer samples)" : "",
                realTime ? ", real-time priority" : "");
    Bench bench{wire, panel};
    bench.clickToWire(1000 / scale);
    bench.replyToStatusLine(1000 / scale);
    bench.repeatPeriod("VOL +", "Command1", 250, 60 / scale);
    bench.repeatPeriod("Brightness +", "Command15", 50, 300 / scale);
    // After a D.Zoom release the arrows repeat every 5 ms, time-outs 5 ms as well.
    panel.Command_MouseDown(tableButton("Command48"));
    panel.Command_MouseUp(tableButton("Command48"));
    bench.repeatPeriod("arrow up, after D.Zoom", "Command5", 5, 2000 / scale);
    std::printf("\n%s\n", bench.allMet ? "all targets met" : "some targets MISSED");

    panel.Command16_Click();
    [[maybe_unused]] const auto ignored = ::write(stopPipe[1], "s", 1);
    serving.join();
    return 0;
}
