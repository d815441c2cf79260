#pragma once

#include "table_button.h"

#include "app/virtual_panel.h"

#include <QSignalSpy>

#include <string>

namespace vx37::testing {

// A panel on an in-memory port and virtual time, loaded as at start-up on a 1920 x 1080
// screen. Time moves only when a test advances the clock.
struct PanelFixture : VirtualPanel
{
    QSignalSpy warnings{&panel, &Panel::warning};

    static constexpr ScreenMetrics kScreen = kTestScreen;

    explicit PanelFixture(bool load = true)
    {
        if (load)
            panel.Form_Load(kScreen);
    }

    const PanelVariables& vars() const { return panel.variables(); }
    const FormState& form() const { return panel.form(); }

    static const ButtonRow& button(std::string_view control) { return tableButton(control); }
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
