// Soak: "↑" held for a long time, repeating every 5 ms after a D.Zoom press, against the
// projector simulator on a pseudo-terminal. Checks that every frame the panel sent was
// read by the simulator as one whole frame (nothing lost, nothing merged), that resident
// memory does not grow, and that the repeat keeps its period over the whole run. The
// simulator runs on a thread of this process, so both ends stamp on CLOCK_MONOTONIC.
//
// Usage: vx37-soak-bench [--minutes M] [--warm-up S]
//   --minutes M  how long "↑" is held (default 15)
//   --warm-up S  seconds held before the first memory sample (default 30)
// Exits 0 when every target is met, 1 when one is missed.

#include "bench_support.h"
#include "resident_memory.h"

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
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

using namespace vx37;
using namespace vx37::bench;
using sim::monotonicNanoseconds;

namespace {

constexpr int kRepeatMs = 5;

// Gaps between successive moments, kept as running sums and a histogram of fixed size so
// that measuring does not itself grow the memory it watches.
class Periods
{
public:
    void add(std::int64_t ns)
    {
        if (last_ >= 0) {
            const double gapMs = (ns - last_) / 1e6;
            ++count_;
            maxGap_ = std::max(maxGap_, gapMs);
            const double deviation = std::abs(gapMs - kRepeatMs);
            const auto bin = static_cast<std::size_t>(deviation / kBinMs);
            ++histogram_[std::min(bin, histogram_.size() - 1)];
        } else {
            first_ = ns;
        }
        last_ = ns;
    }
    long count() const { return count_; }
    double meanMs() const { return count_ ? (last_ - first_) / 1e6 / count_ : NAN; }
    double maxGapMs() const { return maxGap_; }
    // The deviation from the period that this share of the gaps stays within.
    double deviationWithin(double share) const
    {
        const auto wanted = static_cast<long>(std::ceil(share * count_));
        long seen = 0;
        for (std::size_t bin = 0; bin < histogram_.size(); ++bin) {
            seen += histogram_[bin];
            if (seen >= wanted)
                return (bin + 1) * kBinMs;
        }
        return NAN;
    }

private:
    static constexpr double kBinMs = 0.05;
    std::array<long, 4000> histogram_{}; // 0 .. 200 ms of deviation
    std::int64_t first_ = -1;
    std::int64_t last_ = -1;
    long count_ = 0;
    double maxGap_ = 0;
};

// What the simulator's thread read: frames cut at CR, counted by their text.
class WireCount
{
public:
    void read(std::int64_t ns, std::string_view bytes)
    {
        std::lock_guard lock(mutex_);
        ++reads_;
        for (const char c : bytes) {
            partial_.push_back(c);
            if (c != '\r')
                continue;
            ++frames_[partial_];
            if (counting_)
                periods_.add(ns);
            partial_.clear();
        }
    }
    void written()
    {
        std::lock_guard lock(mutex_);
        ++writes_;
    }
    void startPeriods()
    {
        std::lock_guard lock(mutex_);
        counting_ = true;
    }
    void stopPeriods()
    {
        std::lock_guard lock(mutex_);
        counting_ = false;
    }
    template <typename F> void inspect(F&& f)
    {
        std::lock_guard lock(mutex_);
        f(frames_, partial_, periods_, reads_, writes_);
    }

private:
    std::mutex mutex_;
    std::map<std::string, long> frames_;
    std::string partial_;
    Periods periods_;
    bool counting_ = false;
    long reads_ = 0;
    long writes_ = 0;
};

std::string shown(const std::string& frame)
{
    std::string text;
    for (const char c : frame)
        text += c == '\r' ? std::string("<CR>") : std::string(1, c);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    double minutes = 15;
    int warmUpSeconds = 30;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--minutes") == 0 && i + 1 < argc) {
            minutes = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--warm-up") == 0 && i + 1 < argc) {
            warmUpSeconds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: vx37-soak-bench [--minutes M] [--warm-up S]\n");
            return 2;
        }
    }
    const qint64 heldMs = static_cast<qint64>(minutes * 60000);
    if (heldMs <= warmUpSeconds * 1000LL) {
        std::fprintf(stderr, "vx37-soak-bench: the run must outlast the warm-up\n");
        return 2;
    }

    QTemporaryDir dir;

    WireCount wire;
    sim::PtyServer server(quietSimOptions(dir));
    server.onRead = [&wire](std::int64_t ns, std::string_view bytes) { wire.read(ns, bytes); };
    server.onWrite = [&wire](std::int64_t, std::string_view) { wire.written(); };
    std::string error;
    if (!server.open(&error)) {
        std::fprintf(stderr, "vx37-soak-bench: %s\n", error.c_str());
        return 1;
    }
    int stopPipe[2];
    if (::pipe2(stopPipe, O_CLOEXEC) != 0)
        return 1;
    std::thread serving([&] { server.serve(stopPipe[0]); });

    qputenv("VX37_COM1", QByteArray::fromStdString(server.path()));
    QtSerialControl comm;
    QtIntervalTimer timer1(200), timer2(500), timer3(5000), timer4(1000);
    Panel panel(comm, PanelTimers{timer1, timer2, timer3, timer4});
    long warnings = 0;
    QObject::connect(&panel, &Panel::warning, &panel, [&warnings](const QString& text) {
        ++warnings;
        std::fprintf(stderr, "warning: %s\n", qPrintable(text));
    });
    long sends = 0;
    long timeOuts = 0;
    Periods sentPeriods;
    bool countingPeriods = false;
    QObject::connect(&panel, &Panel::propertyChanged, &panel, [&](FormProperty property) {
        if (property == FormProperty::TxdLine && !panel.form().txdLine.empty()) {
            ++sends;
            if (countingPeriods)
                sentPeriods.add(monotonicNanoseconds());
        } else if (property == FormProperty::RxdLine && panel.form().rxdLine == " X X X X") {
            ++timeOuts;
        }
    });
    panel.Form_Load({1920 * 15, 1080 * 15, 9615, 9180});
    if (!comm.isOpen()) {
        std::fprintf(stderr, "vx37-soak-bench: %s\n", qPrintable(comm.failureText()));
        return 1;
    }

    std::printf("VX37 soak: \"\u2191\" held %.1f min, repeating every %d ms, against vx37-sim on "
                "%s\n",
                minutes, kRepeatMs, server.terminalPath().c_str());
    std::fflush(stdout);

    // After a D.Zoom press and release the arrows repeat every 5 ms.
    panel.Command_MouseDown(tableButton("Command48"));
    runEventLoopFor(20);
    panel.Command_MouseUp(tableButton("Command48"));
    runEventLoopFor(200);

    const ButtonRow& up = tableButton("Command5");
    const std::int64_t pressedNs = monotonicNanoseconds();
    countingPeriods = true;
    wire.startPeriods();
    panel.Command_MouseDown(up);

    runEventLoopFor(warmUpSeconds * 1000);
    const long startKiB = residentKiB();
    long maxKiB = startKiB;
    const qint64 sampleMs = 10000;
    for (qint64 done = warmUpSeconds * 1000LL; done < heldMs;) {
        const qint64 step = std::min(sampleMs, heldMs - done);
        runEventLoopFor(static_cast<int>(step));
        done += step;
        maxKiB = std::max(maxKiB, residentKiB());
    }
    const long endKiB = residentKiB();
    panel.Command_MouseUp(up);
    countingPeriods = false;
    const std::int64_t releasedNs = monotonicNanoseconds();
    runEventLoopFor(500); // the last frames and answers cross the line
    wire.stopPeriods();

    panel.Command16_Click();
    [[maybe_unused]] const auto ignored = ::write(stopPipe[1], "s", 1);
    serving.join();

    bool allMet = true;
    wire.inspect([&](const std::map<std::string, long>& frames, const std::string& partial,
                     const Periods& onWire, long reads, long writes) {
        long framesRead = 0;
        long strangers = 0; // frames neither button sends: two run together, or cut short
        std::printf("\nheld %.1f s; frames the simulator read, by text:\n",
                    (releasedNs - pressedNs) / 1e9);
        for (const auto& [text, count] : frames) {
            std::printf("    %-8s %ld\n", shown(text).c_str(), count);
            framesRead += count;
            if (text != "C30\r" && text != "C3C\r")
                strangers += count;
        }
        const bool whole = framesRead == sends && partial.empty() && strangers == 0;
        allMet &= whole;
        std::printf("frames sent by the panel %ld, read by the simulator %ld in %ld reads, "
                    "answered %ld; other frames %ld, unfinished bytes %zu   %s\n",
                    sends, framesRead, reads, writes, strangers, partial.size(), verdict(whole));

        const double growthKiB = endKiB - startKiB;
        const bool bounded = growthKiB < 1024;
        allMet &= bounded;
        std::printf("resident memory after %d s warm-up %ld KiB, at the end %ld KiB, highest "
                    "%ld KiB: growth %+.0f KiB (target < 1024)   %s\n",
                    warmUpSeconds, startKiB, endKiB, maxKiB, growthKiB, verdict(bounded));

        const double wireOff = (onWire.meanMs() - kRepeatMs) / kRepeatMs * 100;
        const double sentOff = (sentPeriods.meanMs() - kRepeatMs) / kRepeatMs * 100;
        const bool steady = std::abs(wireOff) <= 2 && std::abs(sentOff) <= 2;
        allMet &= steady;
        std::printf("repeat period over %ld periods on the wire: mean %.4f ms (%+.3f %%, target "
                    "within 2 %%), 99 %% within %.2f ms, 99.9 %% within %.2f ms, longest gap "
                    "%.2f ms\n",
                    onWire.count(), onWire.meanMs(), wireOff, onWire.deviationWithin(0.99),
                    onWire.deviationWithin(0.999), onWire.maxGapMs());
        std::printf("  as the panel sent them, %ld periods: mean %.4f ms (%+.3f %%), 99 %% "
                    "within %.2f ms, longest gap %.2f ms   %s\n",
                    sentPeriods.count(), sentPeriods.meanMs(), sentOff,
                    sentPeriods.deviationWithin(0.99), sentPeriods.maxGapMs(), verdict(steady));
        std::printf("replies not in before their 5 ms time-out: %ld; warnings: %ld\n", timeOuts,
                    warnings);
    });
    allMet &= warnings == 0;
    std::printf("\n%s\n", allMet ? "all targets met" : "some targets MISSED");
    return allMet ? 0 : 1;
}
