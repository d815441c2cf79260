// Figures of vx37d against vx37-sim over a pseudo-terminal, PJLink on loopback:
// - POWR ? round trip answered from a fresh reading (target p50 <= 1 ms), and when the
//   projector must be asked (target p50 <= the projector's own CR0 reply + 1 ms), beside
//   the projector's reply taken on the line directly;
// - 200 clients at once, 10 queries each: every answer within 2 s, none dropped, the
//   bridge's resident memory <= 30 MB, and its CPU while idle afterwards (target 0 %);
// - a projector in stand-by answering 300 ms late, 24 clients mixing POWR 0, POWR ?,
//   AVMT ? and ERST ? for 12 s: no answer taken from another frame (each answer is one the
//   prompt projector gives, or ERR3), and every answer within 2 s.
//
// And the shared line's figures (vx37d_share.cpp).
//
// Usage: vx37d-bench [--quick] [--share]
//   --quick  a fifth of the samples
//   --share  the shared line's figures only
// Exits 1 when a figure could not be taken.

#include "bench_support.h"
#include "commands/command_frame.h"
#include "link/serial/qt_serial_control.h"
#include "sim_process.h"
#include "vx37d_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include <unistd.h>

using vx37::bench::Bridge;
using vx37::bench::client;
using vx37::bench::median;
using vx37::bench::msSince;
using vx37::bench::percentile;
using vx37::bench::verdict;

namespace {

constexpr int kClients = 200;
constexpr int kQueriesEach = 10;
const char* const kQueries[kQueriesEach] = {"POWR", "INPT", "AVMT", "LAMP", "ERST",
                                            "INST", "NAME", "INF1", "INF2", "CLSS"};

// One command's round trip in ms, or nullopt when no answer came.
std::optional<double> roundTrip(QTcpSocket& socket, const QByteArray& command)
{
    QElapsedTimer timer;
    timer.start();
    socket.write(command + '\r');
    socket.flush();
    while (!socket.peek(256).contains('\r')) {
        if (!socket.waitForReadyRead(3000))
            return std::nullopt;
    }
    socket.readLine(256);
    return msSince(timer);
}

constexpr int kStaleMs = 1100; // a reading older than a second

// The projector's own answer to CR0 on the line, without the bridge: back to back, and
// paced as the bridge's round trips that ask it (a processor that has idled may take
// milliseconds to wake).
std::vector<double> projectorReplies(const QString& link, int samples, int pauseMs)
{
    vx37::QtSerialControl port;
    port.setDevicePath(link);
    port.setSettings("19200,N,8,1");
    std::vector<double> replies;
    if (!port.open())
        return replies;
    const std::string frame = vx37::buildFrame({}, "CR0");
    for (int i = 0; i < samples; ++i) {
        QThread::msleep(static_cast<unsigned long>(pauseMs));
        port.input();
        QElapsedTimer timer;
        timer.start();
        port.output(frame);
        std::string reply;
        while (reply.find('\r') == std::string::npos && timer.elapsed() < 1000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
            reply += port.input();
        }
        replies.push_back(msSince(timer));
    }
    port.close();
    return replies;
}

struct Crowd
{
    int answered = 0;
    int dropped = 0;
    double longestMs = 0;
    std::vector<double> latencies;
};

// kClients clients at once, each asking kQueriesEach queries in turn.
Crowd crowd(quint16 port)
{
    Crowd result;
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int i = 0; i < kClients; ++i) {
        auto socket = client(port);
        if (!socket) {
            ++result.dropped;
            continue;
        }
        sockets.push_back(std::move(socket));
    }
    std::vector<int> next(sockets.size(), 0);
    std::vector<QElapsedTimer> sent(sockets.size());
    int finished = result.dropped * kQueriesEach;
    const auto ask = [&](std::size_t i) {
        sent[i].start();
        sockets[i]->write(QByteArray("%1") + kQueries[next[i]] + " ?\r");
    };
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        QTcpSocket* socket = sockets[i].get();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [&, i, socket] {
            while (socket->peek(256).contains('\r')) {
                socket->readLine(256);
                const double ms = msSince(sent[i]);
                result.latencies.push_back(ms);
                result.longestMs = std::max(result.longestMs, ms);
                ++result.answered;
                ++finished;
                if (++next[i] < kQueriesEach)
                    ask(i);
            }
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [&, i] {
            result.dropped += kQueriesEach - next[i];
            finished += kQueriesEach - next[i];
            next[i] = kQueriesEach;
        });
    }
    for (std::size_t i = 0; i < sockets.size(); ++i)
        ask(i);
    QElapsedTimer limit;
    limit.start();
    while (finished < kClients * kQueriesEach && !limit.hasExpired(60000))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    result.dropped += kClients * kQueriesEach - finished; // not answered in time
    for (const auto& socket : sockets)
        socket->disconnect(); // closing them is no drop
    return result;
}

// Every client sends its next command as soon as its answer comes, for the time given;
// the answers each command got, and the longest wait.
struct Mix
{
    std::map<QByteArray, std::map<QByteArray, int>> answers; // how often each
    int count = 0;
    double longestMs = 0;
};

Mix mixedClients(quint16 port, int clients, int seconds)
{
    static const QByteArray kMix[] = {"%1POWR 0", "%1POWR ?", "%1AVMT ?", "%1ERST ?"};
    Mix mix;
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    std::vector<int> next(static_cast<std::size_t>(clients), 0);
    std::vector<QElapsedTimer> sent(static_cast<std::size_t>(clients));
    QElapsedTimer running;
    running.start();
    for (int i = 0; i < clients; ++i) {
        auto socket = client(port);
        if (!socket)
            continue;
        const std::size_t n = sockets.size();
        QTcpSocket* s = socket.get();
        const auto ask = [&, n, s] {
            next[n] = (next[n] + 1) % 4;
            sent[n].start();
            s->write(kMix[next[n]] + '\r');
        };
        QObject::connect(s, &QTcpSocket::readyRead, s, [&, n, s, ask] {
            while (s->peek(256).contains('\r')) {
                const QByteArray answer = s->readLine(256).trimmed();
                mix.longestMs = std::max(mix.longestMs, msSince(sent[n]));
                ++mix.answers[kMix[next[n]]][answer];
                ++mix.count;
                if (!running.hasExpired(seconds * 1000))
                    ask();
            }
        });
        next[n] = i % 4 - 1;
        ask();
        sockets.push_back(std::move(socket));
    }
    while (!running.hasExpired(seconds * 1000 + 3000))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    for (const auto& socket : sockets)
        socket->disconnect();
    return mix;
}

// A late projector: the answers of a mix of clients, against those of a prompt one.
bool lateProjector(int seconds)
{
    std::map<QByteArray, std::map<QByteArray, int>> prompt;
    {
        SimProcess sim("--quiet");
        Bridge bridge(sim.link(), {});
        if (!sim.isServing() || !bridge.port())
            return false;
        prompt = mixedClients(bridge.port(), 4, 2).answers;
    }
    SimProcess sim("--quiet --late 300");
    Bridge bridge(sim.link(), {"--max-per-address", "32"});
    if (!sim.isServing() || !bridge.port())
        return false;
    const Mix late = mixedClients(bridge.port(), 24, seconds);
    int foreign = 0;
    QByteArrayList seen;
    for (const auto& [command, answers] : late.answers) {
        for (const auto& [answer, times] : answers) {
            seen << answer + " x" + QByteArray::number(times);
            if (!prompt[command].count(answer) && !answer.endsWith("=ERR3"))
                foreign += times;
        }
    }
    std::printf("\nstand-by, replies 300 ms late, 24 clients mixing POWR 0, POWR ?, AVMT ?, "
                "ERST ? for %d s:\n    %d answers (%s); %d the prompt projector never gives "
                "(target 0: %s); longest %.0f ms (target 2 s: %s)\n",
                seconds, late.count, seen.join(", ").constData(), foreign, verdict(foreign == 0),
                late.longestMs, verdict(late.longestMs <= 2000));
    return late.count > 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bool quick = false;
    bool shareOnly = false;
    for (int i = 1; i < argc; ++i) {
        quick |= std::strcmp(argv[i], "--quick") == 0;
        shareOnly |= std::strcmp(argv[i], "--share") == 0;
    }
    if (shareOnly)
        return vx37::bench::shareFigures(quick) ? 0 : 1;
    const int scale = quick ? 5 : 1;
    SimProcess sim("--quiet --power on");
    if (!sim.isServing()) {
        std::fprintf(stderr, "vx37d-bench: vx37-sim did not start\n");
        return 1;
    }
    std::printf("vx37d against vx37-sim, PJLink on loopback\n\n");

    const int askedSamples = 30 / scale;
    const std::vector<double> projector = projectorReplies(sim.link(), 200 / scale, 0);
    const std::vector<double> paced = projectorReplies(sim.link(), askedSamples, kStaleMs);
    std::optional<double> fresh;
    std::optional<double> asked;
    {
        // No poll during the round trips: a reading is fresh only after a query took it.
        Bridge bridge(sim.link(), {"--poll", "3600"});
        const auto socket = bridge.port() ? client(bridge.port()) : nullptr;
        if (!socket || projector.empty()) {
            std::fprintf(stderr, "vx37d-bench: no bridge, client or projector\n");
            return 1;
        }
        std::vector<double> freshTimes;
        std::vector<double> askedTimes;
        for (int i = 0; i < 2000 / scale; ++i) {
            if (const auto ms = roundTrip(*socket, "%1POWR ?"))
                freshTimes.push_back(*ms);
        }
        for (int i = 0; i < askedSamples; ++i) {
            QThread::msleep(kStaleMs);
            if (const auto ms = roundTrip(*socket, "%1POWR ?"))
                askedTimes.push_back(*ms);
        }
        fresh = median(freshTimes);
        asked = median(askedTimes);
        std::printf("POWR ? round trip, %zu back to back (all but about one a second from a "
                    "fresh reading):\n    median %.3f ms, 99th percentile %.3f ms "
                    "(target median 1 ms: %s)\n",
                    freshTimes.size(), *fresh, percentile(freshTimes, 0.99),
                    verdict(*fresh <= 1.0));
        std::printf("POWR ? round trip, %zu asked of the projector (1.1 s apart):\n"
                    "    median %.3f ms; the projector's own CR0 reply on the line: median %.3f ms "
                    "back to back (%zu samples), %.3f ms as far apart (%zu)\n"
                    "    (target: at most the reply back to back + 1 ms: %s)\n",
                    askedTimes.size(), *asked, median(projector), projector.size(), median(paced),
                    paced.size(), verdict(*asked <= median(projector) + 1.0));
    }

    Bridge bridge(sim.link(), {"--max-connections", QString::number(kClients + 10),
                               "--max-per-address", QString::number(kClients + 10)});
    if (!bridge.port()) {
        std::fprintf(stderr, "vx37d-bench: the bridge did not start\n");
        return 1;
    }
    const Crowd c = crowd(bridge.port());
    const long residentKiB = bridge.statusKiB("VmRSS:");
    const long peakKiB = bridge.statusKiB("VmHWM:");
    std::printf(
        "\n%d clients at once, %d queries each (POWR, INPT, AVMT, LAMP, ERST, INST, "
        "NAME, INF1, INF2, CLSS ?), default poll:\n"
        "    %d answered, %d dropped; median %.3f ms, 99th percentile %.3f ms, longest "
        "%.3f ms (target: all within 2 s, none dropped: %s)\n"
        "    resident memory %ld KiB, at most %ld KiB (target 30 MB: %s)\n",
        kClients, kQueriesEach, c.answered, c.dropped, median(c.latencies),
        percentile(c.latencies, 0.99), c.longestMs,
        verdict(c.dropped == 0 && c.answered == kClients * kQueriesEach && c.longestMs <= 2000),
        residentKiB, peakKiB, verdict(peakKiB <= 30 * 1024));

    if (!lateProjector(quick ? 4 : 12)) {
        std::fprintf(stderr, "vx37d-bench: the late projector's figures were not taken\n");
        return 1;
    }
    if (!vx37::bench::shareFigures(quick)) {
        std::fprintf(stderr, "vx37d-bench: the shared line's figures were not taken\n");
        return 1;
    }

    const int idleSeconds = quick ? 10 : 60;
    QThread::sleep(1);
    const double before = bridge.cpuSeconds();
    QThread::sleep(static_cast<unsigned long>(idleSeconds));
    const double used = bridge.cpuSeconds() - before;
    std::printf("idle for %d s, the clients gone, polling every 5 s: CPU %.4f s, %.4f %% "
                "(target 0 %%: %s)\n",
                idleSeconds, used, 100.0 * used / idleSeconds, verdict(used / idleSeconds < 0.005));
    return 0;
}
