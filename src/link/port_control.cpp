// Port and speed choices, "COM", and the timers of the serial link: reply time-out,
// display clear and the port option frame.

#include "app/panel.h"

#include "link/interval_timer.h"
#include "link/serial_control.h"

namespace vx37 {

void Panel::Option1_Click()
{
    form_.option1Selected = true;
    form_.option2Selected = false;
    emit propertyChanged(FormProperty::OptionSelection);
    portChange(1);
}

void Panel::Option2_Click()
{
    form_.option1Selected = false;
    form_.option2Selected = true;
    emit propertyChanged(FormProperty::OptionSelection);
    portChange(2);
}

void Panel::Option9_Click()
{
    speedChange("19200,N,8,1", true);
}

void Panel::Option10_Click()
{
    speedChange("9600,N,8,1", false);
}

void Panel::portChange(int port)
{
    if (comm_.isOpen())
        comm_.close();
    comm_.setCommPort(port);
    if (portWanted_ && !comm_.open()) {
        // The port stays closed, numbered as the other port, and the frame stays shown.
        emit warning(comm_.failureText());
        comm_.setCommPort(3 - port);
        return;
    }
    setFrame8Visible(false);
}

void Panel::speedChange(const std::string& settings, bool nineteenTwoHundred)
{
    form_.option9Selected = nineteenTwoHundred;
    form_.option10Selected = !nineteenTwoHundred;
    emit propertyChanged(FormProperty::OptionSelection);
    vars_.commSettings = settings;
    comm_.setSettings(vars_.commSettings);
    setFrame8Visible(false);
}

void Panel::Command33_Click()
{
    setFrame8Visible(true);
    timers_.timer3.start();
}

void Panel::Timer2_Timer()
{
    if (vars_.awaitingReply == 1)
        setRxdLine(std::string(kNoReplyMark));
    timers_.timer2.stop();
    emptyAccumulator();
    vars_.awaitingReply = 0;
}

void Panel::Timer3_Timer()
{
    setFrame8Visible(false);
    timers_.timer3.stop();
}

void Panel::Timer4_Timer()
{
    setTxdLine({});
    setRxdLine({});
    setStatusLine({});
    timers_.timer4.stop();
}

} // namespace vx37
