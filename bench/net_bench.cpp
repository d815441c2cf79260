// A network port through a real ser2net on loopback, beside the local pseudo-terminal in
// the same run: a click on "ON" to the frame read at the simulator, and a 1 MiB flood from
// the projector, each way. The panel's core switches between COM1 (the simulator's
// pseudo-terminal) and COM2 (socket:// to ser2net on the same pseudo-terminal, then to
// vx37d's shared line) in blocks, so every way shares the machine's state. vx37d holds its
// line for its whole life, so it has a simulator of its own. The simulator runs on a thread of this
// process, so both ends stamp their moments on the same clock.
//
// Usage: vx37-net-bench [--quick]
//   --quick  a quarter of the clicks
// Needs ser2net (Debian package ser2net) and vx37d.

#include "bench_support.h"

#include "app/panel.h"
#include "flood_scenario.h"
#include "link/any_port_control.h"
#include "link/qt_interval_timer.h"
#include "ser2net_process.h"
#include "sim/pty_server.h"
#include "vx37d_process.h"

#include <QCoreApplication>
#include <QMetaEnum>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

using namespace vx37;
using namespace vx37::bench;
using sim::monotonicNanoseconds;
using vx37::bench::Bridge;

namespace {

void printClicks(const char* what, const std::vector<double>& ms)
{
    std::printf("    %-34s median %.3f ms, 90th percentile %.3f ms, 99th %.3f ms (%zu clicks)\n",
                what, median(ms), percentile(ms, 0.9), percentile(ms, 0.99), ms.size());
}

// Click on "ON" to the frame read at the simulator: local, through ser2net and through
// vx37d in turn.
bool clickToWire(int blocks, int clicksPerBlock)
{
    QTemporaryDir dir;
    WireLog wire;
    sim::PtyServer server(quietSimOptions(dir));
    server.onRead = [&wire](std::int64_t ns, std::string_view bytes) { wire.frameRead(ns, bytes); };
    std::string error;
    int stopPipe[2];
    if (!server.open(&error) || ::pipe2(stopPipe, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "vx37-net-bench: %s\n", error.c_str());
        return false;
    }
    std::thread serving([&] { server.serve(stopPipe[0]); });
    QTemporaryDir sharedDir;
    sim::PtyServer sharedSim(quietSimOptions(sharedDir));
    sharedSim.onRead = server.onRead;
    if (!sharedSim.open(&error))
        std::fprintf(stderr, "vx37-net-bench: %s\n", error.c_str());
    std::thread sharing([&] { sharedSim.serve(stopPipe[0]); });
    // No poll: every frame on its line is a click's.
    const Bridge daemon(QString::fromStdString(sharedSim.path()), {"--poll", "3600"});
    const QByteArray sharedLine = "socket://127.0.0.1:" + QByteArray::number(daemon.sharePort());
    const QString link = QString::fromStdString(server.path());
    Ser2netProcess bridge(link, 19200);
    bool done = bridge.start() && daemon.sharePort() != 0;

    qputenv("VX37_COM1", link.toLocal8Bit());
    AnyPortControl comm;
    QtIntervalTimer timer1(200), timer2(500), timer3(5000), timer4(1000);
    Panel panel(comm, PanelTimers{timer1, timer2, timer3, timer4});
    QObject::connect(&panel, &Panel::warning, &panel,
                     [](const QString& text) { qFatal("%s", qPrintable(text)); });
    panel.Form_Load({1920 * 15, 1080 * 15, 9615, 9180});

    std::vector<double> local, network, shared;
    for (int block = 0; done && block < blocks; ++block) {
        for (const int way : {1, 2, 3}) {
            qputenv("VX37_COM2", way == 2 ? bridge.socketName().toLocal8Bit() : sharedLine);
            way == 1 ? panel.Option1_Click() : panel.Option2_Click();
            for (int wait = 0; !comm.deviceConnected() && wait < 2500; ++wait)
                runEventLoopFor(2);
            runEventLoopFor(20);
            for (int i = 0; comm.deviceConnected() && i < clicksPerBlock; ++i) {
                runEventLoopFor(2);
                panel.Timer2_Timer(); // every sample starts from an empty accumulator
                const std::size_t index = wire.frameCount();
                const std::int64_t clicked = monotonicNanoseconds();
                panel.Command_Click(tableButton("Command17")); // ON
                const std::int64_t read = wire.waitForFrame(index, 1000);
                if (read < 0)
                    break;
                (way == 1 ? local : way == 2 ? network : shared).push_back((read - clicked) / 1e6);
            }
        }
        done = local.size() + network.size() + shared.size() ==
               std::size_t(3 * (block + 1) * clicksPerBlock);
    }
    panel.Command16_Click();
    [[maybe_unused]] const auto ignored = ::write(stopPipe[1], "s", 1);
    serving.join();
    sharing.join();
    if (!done) {
        std::printf("click to wire: FAILED (ser2net or vx37d did not start, or a frame did not "
                    "arrive)\n");
        return false;
    }
    const double more = median(network) - median(local);
    std::printf("click on \"ON\" to wire, %d blocks of %d clicks each way:\n", blocks,
                clicksPerBlock);
    printClicks("local pseudo-terminal:", local);
    printClicks("socket:// through ser2net:", network);
    printClicks("socket:// to vx37d's shared line:", shared);
    std::printf("    through ser2net the median is %.3f ms more (target <= 1)   %s\n", more,
                verdict(more <= 1.0));
    const double moreShared = median(shared) - median(local);
    std::printf("    through vx37d the median is %.3f ms more (target <= 0.5)   %s\n", moreShared,
                verdict(moreShared <= 0.5));
    return true;
}

bool flood(const char* what, const PortBridge& bridge)
{
    const FloodFigures f = runFlood(1 << 20, bridge);
    std::printf("1 MiB flood, %s:\n", what);
    if (!f.failure.isEmpty()) {
        std::printf("    FAILED: %s\n", qPrintable(f.failure));
        return false;
    }
    std::printf("    read in %.2f s by %lld receive events; longest user-interface event %.2f "
                "ms (%s, target <= 16)   %s; %d beats of a 10 ms timer missed\n",
                f.floodSeconds, f.receiveEvents, f.longestEventMs,
                QMetaEnum::fromType<QEvent::Type>().valueToKey(f.longestEventType),
                verdict(f.longestEventMs <= 16), f.heartbeatsMissed);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else {
            std::fprintf(stderr, "usage: vx37-net-bench [--quick]\n");
            return 2;
        }
    }
    std::printf("VX37 network port, socket:// through ser2net on 127.0.0.1, beside the local "
                "pseudo-terminal\n\n");
    bool allWell = clickToWire(10, quick ? 25 : 100);
    std::unique_ptr<Ser2netProcess> server;
    allWell &= flood("local pseudo-terminal", {});
    allWell &= flood("socket:// through ser2net", [&server](const QString& link) {
        server = std::make_unique<Ser2netProcess>(link, 19200);
        server->start();
        return server->socketName();
    });
    std::printf("\n%s\n", allWell ? "all ran" : "SOMETHING WENT WRONG");
    return allWell ? 0 : 1;
}
