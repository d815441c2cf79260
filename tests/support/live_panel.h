#pragma once

#include "table_button.h"

#include "app/panel.h"
#include "link/any_port_control.h"
#include "link/qt_interval_timer.h"

#include <QSignalSpy>
#include <QTest>

#include <string>

namespace vx37::testing {

// The panel's core as the window runs it: its serial control, QTimer, real time. COM1 is the
// device at link; the panel loads as at start-up.
struct LivePanel
{
    explicit LivePanel(const QString& link)
    {
        qputenv("VX37_COM1", link.toLocal8Bit());
        panel.Form_Load(kScreen);
    }

    AnyPortControl comm;
    QtIntervalTimer timer1{200};
    QtIntervalTimer timer2{500};
    QtIntervalTimer timer3{5000};
    QtIntervalTimer timer4{1000};
    Panel panel{comm, PanelTimers{timer1, timer2, timer3, timer4}};
    QSignalSpy warnings{&panel, &Panel::warning};

    static constexpr ScreenMetrics kScreen = kTestScreen;

    const FormState& form() const { return panel.form(); }
    QString txd() const { return QString::fromStdString(form().txdLine); }
    QString rxd() const { return QString::fromStdString(form().rxdLine); }
    QString status() const { return QString::fromStdString(form().statusLine); }

    static const ButtonRow& button(std::string_view control) { return tableButton(control); }
    void click(std::string_view control) { panel.Command_Click(button(control)); }
    void press(std::string_view control) { panel.Command_MouseDown(button(control)); }
    void release(std::string_view control) { panel.Command_MouseUp(button(control)); }
    void typeAndSend(const QString& text)
    {
        panel.setText1(text);
        panel.Command95_Click();
    }
};

} // namespace vx37::testing
