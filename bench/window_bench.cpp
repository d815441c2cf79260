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
//   --against PATH another build of vx37-panel launched in turn with the others, to
//                  compare two builds' start-up in one run

#include "bench_support.h"

#include "app/panel.h"
#include "commands/button_table.h"
#include "event_stopwatch.h"
#include "link/qt_interval_timer.h"
#include "link/qt_serial_control.h"
#include "panel/form1.h"
#include "sim/pty_server.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QMetaEnum>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace vx37;
using namespace vx37::bench;
using sim::monotonicNanoseconds;

namespace {

// ---------------------------------------------------------------------------------------
// Figures

bool allMet = true;

const char* judge(bool met)
{
    allMet &= met;
    return verdict(met);
}

// The processor time this thread has run.
std::int64_t threadCpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// ---------------------------------------------------------------------------------------
// Waiting on the event loop

// Runs the event loop, without spinning, until done() holds or timeoutMs pass: done() is
// checked whenever wake() is called, from any thread, or every pollMs when given.
class Waiter
{
public:
    Waiter()
    {
        deadline_.setSingleShot(true);
        QObject::connect(&deadline_, &QTimer::timeout, &loop_, &QEventLoop::quit);
        QObject::connect(&poll_, &QTimer::timeout, &loop_, &QEventLoop::quit);
    }

    void wake()
    {
        QMetaObject::invokeMethod(
            &loop_, [this] { loop_.quit(); }, Qt::QueuedConnection);
    }

    bool wait(const std::function<bool()>& done, int timeoutMs, int pollMs = 0)
    {
        deadline_.start(timeoutMs);
        if (pollMs > 0)
            poll_.start(pollMs);
        while (!done() && deadline_.isActive())
            loop_.exec();
        deadline_.stop();
        poll_.stop();
        return done();
    }

private:
    QEventLoop loop_;
    QTimer deadline_;
    QTimer poll_;
};

// ---------------------------------------------------------------------------------------
// The simulator's end of the line

// The wire log, with a wait that runs the event loop: the waiter on the user-interface
// thread is woken once, when the frame it waits for has come, so that waiting adds no
// events while the panel works.
class EventLoopWireLog final : public bench::WireLog
{
public:
    // Runs the event loop until count frames have been read, or timeoutMs pass.
    bool waitForFrames(std::size_t count, int timeoutMs)
    {
        Waiter waiter;
        {
            std::lock_guard lock(mutex_);
            if (frameCount() >= count)
                return true;
            target_ = count;
            waiter_ = &waiter;
        }
        const bool done = waiter.wait([&] { return frameCount() >= count; }, timeoutMs);
        std::lock_guard lock(mutex_);
        waiter_ = nullptr;
        return done;
    }

protected:
    void framesArrived(std::size_t count) override
    {
        Waiter* wake = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (waiter_ && count >= target_)
                wake = std::exchange(waiter_, nullptr);
        }
        if (wake)
            wake->wake();
    }

private:
    std::mutex mutex_; // guards the waiter
    Waiter* waiter_ = nullptr;
    std::size_t target_ = 0;
};

// Whether the simulators that take the figures read at real-time priority (below).
std::atomic<bool> receiverRealTime = true;

// vx37-sim's server on a thread of its own, on a pseudo-terminal linked into a private
// directory; the projector is on. It stands for the projector, which reads its line
// whatever the PC is busy with: on two cores shared with the window and the X server, a
// simulator thread waiting for a core stamped frames late that the panel had sent on time.
// So it reads at real-time priority where the system allows it, except when it floods,
// where it is the load and not the instrument.
class Simulator
{
public:
    explicit Simulator(std::int64_t floodBytes = 0)
    {
        sim::SimOptions options;
        options.link = dir_.filePath(QStringLiteral("vx37-com1")).toStdString();
        options.projector.power = sim::Power::On;
        options.faults.floodBytes = floodBytes;
        options.transcript = floodBytes > 0; // to hear the end of the flood
        server_ = std::make_unique<sim::PtyServer>(options);
        server_->onRead = [this](std::int64_t ns, std::string_view bytes) {
            wire.frameRead(ns, bytes);
        };
        server_->onWrite = [this](std::int64_t ns, std::string_view) { wire.replyWritten(ns); };
        server_->onTranscript = [this](std::string_view line) {
            if (line.find("flood done") != std::string_view::npos)
                floodDone = true;
        };
        std::string error;
        if (!server_->open(&error))
            qFatal("vx37-window-bench: the simulator did not start: %s", error.c_str());
        if (::pipe2(stopPipe_, O_CLOEXEC) != 0)
            qFatal("vx37-window-bench: no pipe");
        thread_ = std::thread([this, floodBytes] {
            if (floodBytes == 0) {
                sched_param param{};
                param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
                if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0)
                    receiverRealTime = false;
            }
            server_->serve(stopPipe_[0]);
        });
    }

    ~Simulator()
    {
        [[maybe_unused]] const auto ignored = ::write(stopPipe_[1], "s", 1);
        thread_.join();
        ::close(stopPipe_[0]);
        ::close(stopPipe_[1]);
    }

    QByteArray path() const { return QByteArray::fromStdString(server_->path()); }

    EventLoopWireLog wire;
    std::atomic<bool> floodDone = false;

private:
    QTemporaryDir dir_;
    std::unique_ptr<sim::PtyServer> server_;
    int stopPipe_[2] = {-1, -1};
    std::thread thread_;
};

// ---------------------------------------------------------------------------------------
// The panel, alone and with its window

// The panel's real serial control, with the moment the panel handed it each frame: when
// the panel wrote, beside when the simulator read.
class StampedSerialControl final : public SerialControl
{
public:
    StampedSerialControl()
    {
        connect(&port_, &SerialControl::comm, this, &SerialControl::comm);
        connect(&port_, &SerialControl::deviceLost, this, &SerialControl::deviceLost);
    }

    void setCommPort(int port) override { port_.setCommPort(port); }
    int commPort() const override { return port_.commPort(); }
    bool setSettings(const std::string& settings) override { return port_.setSettings(settings); }
    std::string settings() const override { return port_.settings(); }
    bool open() override { return port_.open(); }
    void close() override { port_.close(); }
    bool isOpen() const override { return port_.isOpen(); }
    QString failureText() const override { return port_.failureText(); }
    void output(const std::string& bytes) override
    {
        written.push_back(monotonicNanoseconds());
        port_.output(bytes);
    }
    std::string input() override { return port_.input(); }
    int commEvent() const override { return port_.commEvent(); }
    std::array<QString, 2> portDescriptions() const override { return port_.portDescriptions(); }

    std::vector<std::int64_t> written;

private:
    QtSerialControl port_;
};

// The panel's core on the real serial control and timers, without a window.
struct Core
{
    explicit Core(Simulator& sim) : sim(sim)
    {
        qputenv("VX37_COM1", sim.path());
        QObject::connect(&panel, &Panel::warning, &panel,
                         [](const QString& text) { qFatal("%s", qPrintable(text)); });
        panel.Form_Load({1920 * 15, 1080 * 15, 9495 + 2 * 60, 8730 + 450});
    }
    ~Core() { panel.Form_Unload(); }

    void press(std::string_view control) { panel.Command_MouseDown(tableButton(control)); }
    void release(std::string_view control) { panel.Command_MouseUp(tableButton(control)); }

    Simulator& sim;
    StampedSerialControl comm;
    QtIntervalTimer timer1{200}, timer2{500}, timer3{5000}, timer4{1000};
    Panel panel{comm, PanelTimers{timer1, timer2, timer3, timer4}};
};

// A serial port, as the panel's control opens it, for the bare timer to write to.
struct BareRig
{
    BareRig() : port(QString::fromLocal8Bit(sim.path()))
    {
        if (!port.open(QIODevice::ReadWrite))
            qFatal("vx37-window-bench: %s", qPrintable(port.errorString()));
    }

    Simulator sim;
    QSerialPort port;
};

// Injects mouse events into the X server and reads the screen back, on a connection of
// its own beside the toolkit's.
class XClient
{
public:
    XClient()
    {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_))
            qFatal("vx37-window-bench: cannot connect to the X server");
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        clientList_ = atom("_NET_CLIENT_LIST");
        wmCheck_ = atom("_NET_SUPPORTING_WM_CHECK");
        protocols_ = atom("WM_PROTOCOLS");
        deleteWindow_ = atom("WM_DELETE_WINDOW");
    }
    ~XClient() { xcb_disconnect(connection_); }
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool hasWindowManager() { return !windowList(wmCheck_).empty(); }
    std::vector<xcb_window_t> clients() { return windowList(clientList_); }

    bool viewable(xcb_window_t window)
    {
        auto* reply = xcb_get_window_attributes_reply(
            connection_, xcb_get_window_attributes(connection_, window), nullptr);
        const bool result = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(reply);
        return result;
    }

    // The pixel as 0xRRGGBB, or -1 while the window shows nothing to read.
    std::int64_t pixel(xcb_window_t window, int x, int y)
    {
        auto* reply =
            xcb_get_image_reply(connection_,
                                xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window,
                                              std::int16_t(x), std::int16_t(y), 1, 1, ~0u),
                                nullptr);
        std::int64_t result = -1;
        if (reply && xcb_get_image_data_length(reply) >= 4) {
            std::uint32_t value = 0;
            std::memcpy(&value, xcb_get_image_data(reply), 4);
            result = value & 0xFFFFFF;
        }
        std::free(reply);
        return result;
    }

    void move(QPoint to) { fake(XCB_MOTION_NOTIFY, 0, to); }
    void press(QPoint at) { fake(XCB_BUTTON_PRESS, 1, at); }
    void release(QPoint at) { fake(XCB_BUTTON_RELEASE, 1, at); }

    // As the close box does.
    void close(xcb_window_t window)
    {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = protocols_;
        message.data.data32[0] = deleteWindow_;
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(connection_, false, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(connection_);
    }

private:
    xcb_atom_t atom(const char* name)
    {
        auto* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, std::uint16_t(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    }

    std::vector<xcb_window_t> windowList(xcb_atom_t property)
    {
        auto* reply = xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 0, root_, property, XCB_ATOM_WINDOW, 0, 1024), nullptr);
        std::vector<xcb_window_t> result;
        if (reply && reply->format == 32) {
            const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
            result.assign(windows, windows + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
        return result;
    }

    void fake(std::uint8_t type, std::uint8_t detail, QPoint at)
    {
        xcb_test_fake_input(connection_, type, detail, XCB_CURRENT_TIME, root_,
                            std::int16_t(at.x()), std::int16_t(at.y()), 0);
        xcb_flush(connection_);
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t clientList_ = 0;
    xcb_atom_t wmCheck_ = 0;
    xcb_atom_t protocols_ = 0;
    xcb_atom_t deleteWindow_ = 0;
};

// The program as vx37-panel runs it: Form1 over the panel, loaded and shown.
struct Window
{
    explicit Window(Simulator& sim, XClient& x) : sim(sim), x(x)
    {
        qputenv("VX37_COM1", sim.path());
        QObject::connect(&panel, &Panel::warning, &panel,
                         [](const QString& text) { qFatal("%s", qPrintable(text)); });
        form.load();
        form.show();
        // The service view: the monitor lines in view, drawn as they change.
        panel.Form_KeyDown(Qt::Key_K, Qt::ControlModifier);
        Waiter waiter;
        if (!waiter.wait([&] { return form.windowHandle() && form.windowHandle()->isExposed(); },
                         10000, 5))
            qFatal("vx37-window-bench: the window was not shown");
        // A click on the window's own background gives it the focus, as an operator's
        // first click does, so no activation comes in the middle of a measurement.
        const QPoint corner = form.mapToGlobal(QPoint(3, 3));
        x.move(corner);
        x.press(corner);
        x.release(corner);
        if (!waiter.wait([&] { return form.isActiveWindow(); }, 5000, 5))
            qFatal("vx37-window-bench: the window did not take the focus");
        runEventLoopFor(100);
    }

    QAbstractButton* control(std::string_view name)
    {
        return qobject_cast<QAbstractButton*>(form.control(name));
    }
    QPoint centre(std::string_view name)
    {
        QWidget* widget = form.control(name);
        return widget->mapToGlobal(widget->rect().center());
    }
    void press(std::string_view name)
    {
        x.move(centre(name));
        x.press(centre(name));
    }
    void release(std::string_view name) { x.release(centre(name)); }
    // Waits until the window has taken the press or release.
    void settle(std::string_view name, bool down)
    {
        Waiter waiter;
        QAbstractButton* button = control(name);
        QObject context;
        QObject::connect(button, down ? &QAbstractButton::pressed : &QAbstractButton::released,
                         &context, [&] { waiter.wake(); });
        if (!waiter.wait([&] { return button->isDown() == down; }, 2000))
            qFatal("vx37-window-bench: %s did not go %s", std::string(name).c_str(),
                   down ? "down" : "up");
    }

    Simulator& sim;
    XClient& x;
    StampedSerialControl comm;
    QtIntervalTimer timer1{200}, timer2{500}, timer3{5000}, timer4{1000};
    Panel panel{comm, PanelTimers{timer1, timer2, timer3, timer4}};
    Form1 form{panel};
};

// Stamps the moment an event of one type first reaches an object, before any handler.
class ArrivalStamp final : public QObject
{
public:
    ArrivalStamp(QObject* target, QEvent::Type type) : target_(target), type_(type)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~ArrivalStamp() override { QCoreApplication::instance()->removeEventFilter(this); }

    std::int64_t at = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!at && watched == target_ && event->type() == type_)
            at = monotonicNanoseconds();
        return false;
    }

private:
    QObject* target_;
    QEvent::Type type_;
};

// Calls back when an object has handled an event of one type (a widget's paint event done,
// its paintEvent() returned), with the moment it began: the event is delivered once more
// from inside the filter, and the filter stands aside.
class HandledStamp final : public QObject
{
public:
    HandledStamp(QObject* target, QEvent::Type type, std::function<void(std::int64_t)> handled)
        : target_(target), type_(type), handled_(std::move(handled))
    {
        target_->installEventFilter(this);
    }
    ~HandledStamp() override { target_->removeEventFilter(this); }

    // This thread's processor time when the event being handled began.
    std::int64_t cpuAtBegin = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != type_ || delivering_)
            return false;
        const std::int64_t began = monotonicNanoseconds();
        cpuAtBegin = threadCpuNanoseconds();
        delivering_ = true;
        QCoreApplication::sendEvent(watched, event);
        delivering_ = false;
        handled_(began);
        return true;
    }

private:
    QObject* target_;
    QEvent::Type type_;
    std::function<void(std::int64_t)> handled_;
    bool delivering_ = false;
};

// The window's paint passes (each a window update request: every widget that changed is
// drawn and the result goes to the X server) while it is alive.
struct DrawingTime
{
    explicit DrawingTime(QWidget* window)
        : stamp(window, QEvent::UpdateRequest, [this](std::int64_t began) {
              const double ms = (monotonicNanoseconds() - began) / 1e6;
              ++passes;
              totalMs += ms;
              if (ms > longestMs) {
                  longestMs = ms;
                  longestCpuMs = (threadCpuNanoseconds() - stamp.cpuAtBegin) / 1e6;
              }
          })
    {
    }

    int passes = 0;
    double totalMs = 0;
    double longestMs = 0;
    double longestCpuMs = 0; // of the longest pass, the time this thread ran
    HandledStamp stamp;
};

const char* eventName(QEvent::Type type)
{
    const char* name = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
    return name ? name : "waking";
}

// ---------------------------------------------------------------------------------------
// Click to wire, reply to status line

// Empties the accumulator as the reply time-out does, so that every sample starts from
// the same state however fast the samples follow each other.
void endAccumulation(Panel& panel)
{
    runEventLoopFor(2);
    panel.Timer2_Timer();
}

void clickToWire(Core& core, Window& window, int clicks)
{
    std::vector<double> coreMs, windowMs, arrivalMs;
    const QPoint on = window.centre("Command17");
    window.x.move(on);
    for (int i = 0; i < clicks; ++i) {
        endAccumulation(core.panel);
        std::size_t index = core.sim.wire.frameCount();
        std::int64_t clicked = monotonicNanoseconds();
        core.panel.Command_Click(tableButton("Command17")); // ON
        if (!core.sim.wire.waitForFrames(index + 1, 1000))
            qFatal("the simulator did not see frame %d of the core", i);
        coreMs.push_back((core.sim.wire.frame(index) - clicked) / 1e6);

        // The press first, drawn and done with; the button sends on its release.
        endAccumulation(window.panel);
        window.x.press(on);
        window.settle("Command17", true);
        runEventLoopFor(3);
        index = window.sim.wire.frameCount();
        const ArrivalStamp arrival(window.control("Command17"), QEvent::MouseButtonRelease);
        clicked = monotonicNanoseconds();
        window.x.release(on);
        if (!window.sim.wire.waitForFrames(index + 1, 1000))
            qFatal("the simulator did not see frame %d of the window", i);
        windowMs.push_back((window.sim.wire.frame(index) - clicked) / 1e6);
        arrivalMs.push_back((arrival.at - clicked) / 1e6);
        window.settle("Command17", false);
    }
    const double med = median(windowMs);
    std::printf("click to wire (\"ON\": its release, injected into the X server, to the frame "
                "read by the simulator), %d clicks:\n"
                "    window shown: median %.3f ms (target <= 0.5), 99th percentile %.3f ms   "
                "%s\n"
                "      of which the X server and the toolkit until the release reaches the "
                "button: median %.3f ms\n"
                "    core alone (the handler called): median %.3f ms, 99th percentile %.3f ms\n",
                clicks, med, percentile(windowMs, 0.99), judge(med <= 0.5), median(arrivalMs),
                median(coreMs), percentile(coreMs, 0.99));
}

void replyToStatusLine(Core& core, Window& window, int replies)
{
    const std::string shown = " Power ON";
    std::vector<double> coreMs, windowMs;
    std::int64_t at = 0;
    Waiter waiter;
    QObject context;
    QObject::connect(&core.panel, &Panel::propertyChanged, &context, [&](FormProperty property) {
        if (property == FormProperty::StatusLine && !at && core.panel.form().statusLine == shown) {
            at = monotonicNanoseconds();
            waiter.wake();
        }
    });
    QWidget* statusLine = window.form.control("Label22");
    const HandledStamp stamp(statusLine, QEvent::Paint, [&](std::int64_t) {
        if (!at && window.panel.form().statusLine == shown) {
            at = monotonicNanoseconds();
            waiter.wake();
        }
    });
    const auto sample = [&](Panel& panel, Simulator& sim, std::vector<double>& ms) {
        endAccumulation(panel);
        panel.Timer4_Timer(); // the lines emptied, as the display-clear timer does,
        runEventLoopFor(20);  // and drawn so a frame before the query, as in use
        const std::size_t index = sim.wire.writeCount();
        at = 0;
        panel.Command_Click(tableButton("Command44")); // STATUS
        if (!waiter.wait([&] { return at != 0; }, 1000))
            qFatal("no status line");
        ms.push_back((at - sim.wire.write(index)) / 1e6);
    };
    for (int i = 0; i < replies; ++i) {
        sample(core.panel, core.sim, coreMs);
        sample(window.panel, window.sim, windowMs);
    }
    const double med = median(windowMs);
    std::printf("reply to status line (\"STATUS\": reply written by the simulator to the "
                "status line's paint event done; the line quiet for a frame before), %d "
                "replies:\n"
                "    window shown: median %.3f ms (target <= 2), 99th percentile %.3f ms   %s\n"
                "    core alone (to the status line's text set): median %.3f ms, "
                "99th percentile %.3f ms\n",
                replies, med, percentile(windowMs, 0.99), judge(med <= 2.0), median(coreMs),
                percentile(coreMs, 0.99));
}

// ---------------------------------------------------------------------------------------
// Held-button repeats

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

// ---------------------------------------------------------------------------------------
// Flood

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

// ---------------------------------------------------------------------------------------
// Start-up

struct Launch
{
    double mappedMs = 0;  // the window manager has put the window on the screen
    double paintedMs = 0; // the window's first frame is on the screen
};

// From exec to the window on the screen and painted: the window's corner shows the panel's
// colour (#C0C0C0), which the bare window paints too.
std::optional<Launch> launch(XClient& x, const char* program, const char* option = nullptr)
{
    const std::vector<xcb_window_t> before = x.clients();
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(option), nullptr};
    pid_t pid = -1;
    const std::int64_t start = monotonicNanoseconds();
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0)
        qFatal("vx37-window-bench: cannot start %s", program);
    std::optional<Launch> result;
    Launch times;
    xcb_window_t window = 0;
    const timespec pause{0, 1'000'000};
    while (monotonicNanoseconds() - start < 20'000'000'000) {
        const std::int64_t now = monotonicNanoseconds();
        if (!window) {
            for (const xcb_window_t w : x.clients())
                if (std::find(before.begin(), before.end(), w) == before.end())
                    window = w;
        }
        if (window && !times.mappedMs && x.viewable(window))
            times.mappedMs = (now - start) / 1e6;
        if (times.mappedMs && x.pixel(window, 1, 1) == 0xC0C0C0) {
            times.paintedMs = (monotonicNanoseconds() - start) / 1e6;
            result = times;
            break;
        }
        nanosleep(&pause, nullptr);
    }
    if (window)
        x.close(window);
    for (int i = 0; i < 500; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return result;
        const timespec tick{0, 10'000'000};
        nanosleep(&tick, nullptr);
    }
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return result;
}

void startUp(XClient& x, int rounds, const char* panel, const char* against)
{
    Simulator sim; // the panel opens COM1 at start-up
    qputenv("VX37_COM1", sim.path());
    struct Program
    {
        const char* name;
        const char* path;
        const char* option = nullptr;
        std::vector<double> painted = {}, mapped = {};
    };
    // The panel, the floors beneath it and the other build, if any, launched in turn; the
    // order rotates from round to round.
    std::vector<Program> programs = {{"panel", panel},
                                     {"bare", VX37_BARE_WINDOW_PATH},
                                     {"bare with one word", VX37_BARE_WINDOW_PATH, "--text"},
                                     {"captions alone", VX37_CAPTIONS_WINDOW_PATH}};
    if (against)
        programs.push_back({"the other build", against});
    // Once each untimed: the libraries into the page cache.
    for (const Program& program : programs)
        launch(x, program.path, program.option);
    const int kinds = int(programs.size());
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < kinds; ++k) {
            Program& program = programs[std::size_t((r + k) % kinds)];
            const auto times = launch(x, program.path, program.option);
            if (!times)
                qFatal("vx37-window-bench: %s showed no window", program.path);
            program.painted.push_back(times->paintedMs);
            program.mapped.push_back(times->mappedMs);
        }
    }
    const auto painted = [&](int which) { return median(programs[std::size_t(which)].painted); };
    const auto mapped = [&](int which) { return median(programs[std::size_t(which)].mapped); };
    const double own = painted(0) - painted(1);
    std::printf("start-up, exec to the window painted on the screen, %d launches of each, "
                "interleaved (medians):\n"
                "    vx37-panel %.1f ms (mapped at %.1f), bare Qt window %.1f ms (mapped at "
                "%.1f)\n"
                "    the panel's own cost above the bare window: %.1f ms (target <= 15)   %s\n"
                "    floors: the bare window with one word of text %.1f ms (the panel %.1f above "
                "it);\n"
                "            the panel's start-up captions drawn in one widget %.1f ms (the "
                "panel %.1f above it)\n",
                rounds, painted(0), mapped(0), painted(1), mapped(1), own, judge(own <= 15.0),
                painted(2), painted(0) - painted(2), painted(3), painted(0) - painted(3));
    if (against)
        std::printf("    %s: %.1f ms (mapped at %.1f), its own cost %.1f ms\n", against,
                    painted(4), mapped(4), painted(4) - painted(1));
    std::printf("    each launch,");
    for (const Program& program : programs) {
        std::printf("%s %s:", &program == &programs.front() ? "" : ";", program.name);
        for (const double ms : program.painted)
            std::printf(" %.0f", ms);
    }
    std::printf("\n");
}

// ---------------------------------------------------------------------------------------
// The X server and the window manager

// A helper program that ends with this one, even when this one is killed.
pid_t startHelper(const std::vector<std::string>& args, int keepFd = -1)
{
    const pid_t pid = fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (keepFd >= 0)
            ::fcntl(keepFd, F_SETFD, 0);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

void stopHelper(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        const timespec tick{0, 10'000'000};
        nanosleep(&tick, nullptr);
    }
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

struct XSession
{
    pid_t server = -1;
    pid_t windowManager = -1;
    std::string display;

    ~XSession()
    {
        stopHelper(windowManager);
        stopHelper(server);
    }

    // Xvfb on a free display number, which it writes to a pipe once it takes clients.
    bool start(std::string* error)
    {
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0)
            return false;
        server = startHelper({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
                              "1920x1080x24", "-nolisten", "tcp", "-br", "-noreset"},
                             ready[1]);
        ::close(ready[1]);
        std::string number;
        pollfd wait{ready[0], POLLIN, 0};
        char c = 0;
        while (::poll(&wait, 1, 10000) > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(ready[0]);
        if (number.empty()) {
            *error = "Xvfb did not start";
            return false;
        }
        display = ":" + number;
        ::setenv("DISPLAY", display.c_str(), 1);

        windowManager = startHelper({"openbox", "--sm-disable"});
        XClient x;
        for (int i = 0; i < 1000 && !x.hasWindowManager(); ++i) {
            const timespec tick{0, 10'000'000};
            nanosleep(&tick, nullptr);
        }
        if (!x.hasWindowManager()) {
            *error = "openbox did not start";
            return false;
        }
        return true;
    }
};

} // namespace

int main(int argc, char** argv)
{
    bool quick = false;
    int startups = 15;
    QByteArray only;
    const char* panel = VX37_PANEL_PATH;
    const char* against = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
            startups = 5;
        } else if (std::strcmp(argv[i], "--panel") == 0 && i + 1 < argc) {
            panel = argv[++i];
        } else if (std::strcmp(argv[i], "--against") == 0 && i + 1 < argc) {
            against = argv[++i];
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
    if (!receiverRealTime)
        std::printf("\n(the simulators read at normal priority: real-time priority was not "
                    "allowed, so the figures on the wire include their waits for a core)\n");
    std::printf("\n%s\n", allMet ? "all targets met" : "some targets MISSED");
    return 0;
}
