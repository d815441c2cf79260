// Reply to status line: "STATUS" answered by the simulator until the status line's paint
// is done, beside the core setting the line's text.

#include "window/harness.h"

#include <QObject>

#include <cstdio>
#include <string>
#include <vector>

namespace vx37::bench {

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

} // namespace vx37::bench
