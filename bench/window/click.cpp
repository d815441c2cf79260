// Click to wire: "ON" released through the X server until the simulator reads its frame,
// beside the core's handler called directly.

#include "window/harness.h"

#include <cstdio>
#include <vector>

namespace vx37::bench {

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

} // namespace vx37::bench
