#include "app/panel.h"

#include "link/interval_timer.h"
#include "link/serial_control.h"

namespace vx37 {

namespace {

constexpr const char* kStartSettings = "19200,N,8,1";

} // namespace

Panel::Panel(SerialControl& comm, PanelTimers timers, QObject* parent)
    : QObject(parent), comm_(comm), timers_(timers)
{
    timers_.timer1.setTickHandler([this] { Timer1_Timer(); });
    timers_.timer2.setTickHandler([this] { Timer2_Timer(); });
    timers_.timer3.setTickHandler([this] { Timer3_Timer(); });
    timers_.timer4.setTickHandler([this] { Timer4_Timer(); });
    connect(&comm_, &SerialControl::comm, this, &Panel::MSComm1_OnComm);
    connect(&comm_, &SerialControl::deviceLost, this, &Panel::warning);
}

void Panel::Form_Load(const ScreenMetrics& screen)
{
    vars_.commSettings = kStartSettings;
    vars_.commandPrefix.clear();

    // Centred with the designed size; the cut to the compact view keeps the top edge,
    // so the window sits above the centre and may start above the screen's top.
    form_.left = (screen.screenWidth - screen.outerWidth) / 2;
    form_.top = (screen.screenHeight - screen.outerHeight) / 2;
    form_.height = kCompactHeight;
    emit propertyChanged(FormProperty::Geometry);

    vars_.repeatCode = 0;
    vars_.awaitingReply = 0;
    emptyAccumulator();

    comm_.setCommPort(1);
    comm_.setSettings(vars_.commSettings);
    const bool opened = comm_.open();
    if (!opened)
        emit warning(comm_.failureText());

    // Without COM1 the panel runs with the port closed, warned once: selecting COM1 does
    // not try again, but every later port choice opens the chosen port. A failed reopen
    // here warns once as well, through the port change.
    portWanted_ = opened;
    Option1_Click();
    portWanted_ = true;
}

void Panel::Form_Unload()
{
    portWanted_ = false;
    timers_.timer1.stop();
    timers_.timer2.stop();
    timers_.timer3.stop();
    timers_.timer4.stop();
    comm_.close();
}

void Panel::Command16_Click()
{
    Form_Unload(); // closes the port
    emit ended();
}

void Panel::setHeight(int height)
{
    if (form_.height == height)
        return;
    form_.height = height;
    emit propertyChanged(FormProperty::Geometry);
}

void Panel::setTxdLine(std::string text)
{
    form_.txdLine = std::move(text);
    emit propertyChanged(FormProperty::TxdLine);
}

void Panel::setRxdLine(std::string text)
{
    form_.rxdLine = std::move(text);
    emit propertyChanged(FormProperty::RxdLine);
}

void Panel::setStatusLine(std::string text)
{
    form_.statusLine = std::move(text);
    emit propertyChanged(FormProperty::StatusLine);
}

void Panel::setFrame8Visible(bool visible)
{
    if (form_.frame8Visible == visible)
        return;
    form_.frame8Visible = visible;
    // The ports present may have changed since the frame was last shown.
    if (visible)
        form_.portDescriptions = comm_.portDescriptions();
    emit propertyChanged(FormProperty::Frame8Visible);
}

void Panel::setCommand34(bool visible, const QString& caption)
{
    form_.command34Visible = visible;
    form_.command34Caption = caption;
    emit propertyChanged(FormProperty::Command34);
}

} // namespace vx37
