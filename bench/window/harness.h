#pragma once

// What every figure of the window benchmark runs on: the simulator on a thread of this
// process (both ends stamp the same clock), the panel's core alone and the program as
// vx37-panel builds it (Form1 over the panel, shown on the X server), a bare port for a
// bare QTimer, waits on the event loop and stamps on the window's events.

#include "bench_support.h"
#include "window/x_session.h"

#include "app/panel.h"
#include "link/qt_interval_timer.h"
#include "link/serial/qt_serial_control.h"
#include "panel/form1.h"
#include "sim/pty_server.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace vx37::bench {

using sim::monotonicNanoseconds;

// The verdict on a target, remembered for the benchmark's last line.
const char* judge(bool met);
bool allTargetsMet();

// The processor time this thread has run.
std::int64_t threadCpuNanoseconds();

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

// Whether the simulators that take the figures could read at real-time priority (below).
extern std::atomic<bool> readsAtRealTime;

// vx37-sim's server on a thread of its own, on a pseudo-terminal linked into a private
// directory; the projector is on. It stands for the projector, which reads its line
// whatever the PC is busy with: on two cores shared with the window and the X server, a
// simulator thread waiting for a core stamped frames late that the panel had sent on time.
// So it reads at real-time priority where the system allows it, except when it floods,
// where it is the load and not the instrument.
class Simulator
{
public:
    explicit Simulator(std::int64_t floodBytes = 0);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

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

struct Window
{
    Window(Simulator& sim, XClient& x);

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
    void settle(std::string_view name, bool down);

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

// The name of an event type; "waking" for the dispatcher's own work between events.
const char* eventName(QEvent::Type type);

// Empties the accumulator as the reply time-out does, so that every sample starts from
// the same state however fast the samples follow each other.
void endAccumulation(Panel& panel);

// ---------------------------------------------------------------------------------------
// The figures, one file each: each prints its lines and judges its targets.

void clickToWire(Core& core, Window& window, int clicks);
void replyToStatusLine(Core& core, Window& window, int replies);
void repeat(Core& core, Window& window, BareRig& bare, const char* what, std::string_view control,
            int interval, std::size_t periods, int blocks);
void floods(XClient& x, std::int64_t bytes, int rounds);
void startUp(XClient& x, int rounds, const char* panel, const std::vector<const char*>& others);

} // namespace vx37::bench
