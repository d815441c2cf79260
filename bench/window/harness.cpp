#include "window/harness.h"

#include <QMetaEnum>
#include <QWindow>

#include <ctime>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace vx37::bench {

namespace {

bool allMet = true;

} // namespace

const char* judge(bool met)
{
    allMet &= met;
    return verdict(met);
}

bool allTargetsMet()
{
    return allMet;
}

std::int64_t threadCpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::atomic<bool> readsAtRealTime = true;

Simulator::Simulator(std::int64_t floodBytes)
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
                readsAtRealTime = false;
        }
        server_->serve(stopPipe_[0]);
    });
}

Simulator::~Simulator()
{
    [[maybe_unused]] const auto ignored = ::write(stopPipe_[1], "s", 1);
    thread_.join();
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

Window::Window(Simulator& sim, XClient& x) : sim(sim), x(x)
{
    qputenv("VX37_COM1", sim.path());
    QObject::connect(&panel, &Panel::warning, &panel,
                     [](const QString& text) { qFatal("%s", qPrintable(text)); });
    form.load();
    form.show();
    // The service view: the monitor lines in view, drawn as they change.
    panel.Form_KeyDown(Qt::Key_K, Qt::ControlModifier);
    Waiter waiter;
    if (!waiter.wait([&] { return form.windowHandle() && form.windowHandle()->isExposed(); }, 10000,
                     5))
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

// Waits until the window has taken the press or release.
void Window::settle(std::string_view name, bool down)
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

const char* eventName(QEvent::Type type)
{
    const char* name = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
    return name ? name : "waking";
}

void endAccumulation(Panel& panel)
{
    runEventLoopFor(2);
    panel.Timer2_Timer();
}

} // namespace vx37::bench
