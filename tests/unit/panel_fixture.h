#pragma once

#include "app/panel.h"
#include "link/memory_serial_control.h"
#include "link/virtual_clock.h"

#include <QSignalSpy>

#include <string>

namespace vx37::testing {

// A panel on an in-memory port and virtual time, loaded as at start-up on a 1920 x 1080
// screen. Time moves only when a test advances the clock.
struct PanelFixture
{
    MemorySerialControl comm;
    VirtualClock clock;
    VirtualTimer& timer1 = clock.createTimer(200);
    VirtualTimer& timer2 = clock.createTimer(500);
    VirtualTimer& timer3 = clock.createTimer(5000);
    VirtualTimer& timer4 = clock.createTimer(1000);
    Panel panel{comm, PanelTimers{timer1, timer2, timer3, timer4}};
    QSignalSpy warnings{&panel, &Panel::warning};

    static constexpr ScreenMetrics kScreen{1920 * 15, 1080 * 15, 9495 + 2 * 60, 8730 + 450};

    explicit PanelFixture(bool load = true)
    {
        if (load)
            panel.Form_Load(kScreen);
    }

    const PanelVariables& vars() const { return panel.variables(); }
    const FormState& form() const { return panel.form(); }

    static const ButtonRow& button(std::string_view control)
    {
        const ButtonRow* row = findButton(control);
        if (!row)
            qFatal("no button %s in the table", std::string(control).c_str());
        return *row;
    }
    void click(std::string_view control) { panel.Command_Click(button(control)); }
    void press(std::string_view control) { panel.Command_MouseDown(button(control)); }
    void release(std::string_view control) { panel.Command_MouseUp(button(control)); }
    void reply(const std::string& bytes) { comm.receive(bytes); }
    void typeAndSend(const QString& text)
    {
        panel.setText1(text);
        panel.Command95_Click();
    }
};

} // namespace vx37::testing
