// The send path: Hyouji, the buttons of the table, held-button repeat and manual entry.

#include "app/panel.h"

#include "commands/command_frame.h"
#include "commands/manual_entry.h"
#include "commands/monitor_text.h"
#include "link/interval_timer.h"
#include "link/serial_control.h"

namespace vx37 {

void Panel::send(std::string_view code)
{
    vars_.lastFrame = buildFrame(vars_.commandPrefix, code);
    Hyouji(vars_.lastFrame, kDirectionSend);
}

void Panel::Hyouji(const std::string& text, std::uint8_t direction)
{
    // The frame is on the wire before anything shows it. A closed port or an absent
    // device takes nothing; the rest of the send goes on, so " X X X X" follows.
    if (direction == kDirectionSend)
        comm_.output(text);

    std::string monitorText = renderMonitorText(text);
    if (direction == kDirectionSend) {
        replyStart_ = vars_.rxBuffer.size();
        setTxdLine(std::move(monitorText));
        timers_.timer2.start();
        vars_.awaitingReply = 1;
        timers_.timer4.start();
        return;
    }
    showReceived(text, monitorText);
}

void Panel::Command_Click(const ButtonRow& button)
{
    if (button.kind == ButtonKind::H)
        return; // a held button sends on its press only: no click, no keyboard send
    if (const SendTimeouts* timeouts = clickTimeoutsFor(button.kind)) {
        timers_.timer2.setInterval(timeouts->replyTimeout);
        timers_.timer4.setInterval(timeouts->displayClear);
    }
    send(button.code);
    if (button.kind == ButtonKind::M) {
        timers_.timer1.setInterval(kDesignRepeatInterval);
        vars_.arrowMode = 1;
    }
}

void Panel::Command_MouseDown(const ButtonRow& button)
{
    if (button.kind != ButtonKind::H)
        return;
    const HoldSettings& hold = button.hold;
    if (hold.arrow) {
        if (const SendTimeouts* timeouts = arrowTimeoutsFor(vars_.arrowMode)) {
            timers_.timer2.setInterval(timeouts->replyTimeout);
            timers_.timer4.setInterval(timeouts->displayClear);
        }
        vars_.repeatCode = hold.repeatCode;
        send(button.code);
    } else {
        vars_.repeatCode = hold.repeatCode;
        send(button.code);
        timers_.timer1.setInterval(hold.repeatInterval);
        timers_.timer2.setInterval(hold.replyTimeout);
        timers_.timer4.setInterval(hold.displayClear);
    }
    timers_.timer1.start();
}

void Panel::Command_MouseUp(const ButtonRow& button)
{
    if (button.kind == ButtonKind::H)
        releaseStep(button);
}

void Panel::releaseStep(const ButtonRow& button)
{
    vars_.repeatCode = 0;
    timers_.timer1.stop();
    timers_.timer2.stop(); // the last repeat's time-out is dropped; awaitingReply stays
    timers_.timer4.start();
    setTxdLine({});
    setRxdLine({});
    timers_.timer2.setInterval(kDesignReplyTimeout);
    timers_.timer4.setInterval(kDesignDisplayClear);
    emptyAccumulator();

    if (button.group == "D.Zoom") {
        timers_.timer1.setInterval(5);
        vars_.arrowMode = 3;
    }
}

const ButtonRow* Panel::heldButton() const
{
    return findHeldButton(vars_.repeatCode);
}

void Panel::Timer1_Timer()
{
    const ButtonRow* held = heldButton();
    if (!held)
        return;
    // Rebuilt from the table: another send meanwhile may have changed lastFrame.
    send(held->code);
    // Already running: switching it on again must not restart its period, or every
    // repeat would come late by the time this handler took.
    if (!timers_.timer1.isActive())
        timers_.timer1.start();
}

void Panel::setText1(const QString& text)
{
    if (form_.text1 == text)
        return;
    form_.text1 = text;
    emit propertyChanged(FormProperty::Text1);
}

void Panel::Command95_Click()
{
    timers_.timer2.setInterval(kTypedReplyTimeout);
    timers_.timer4.setInterval(kTypedDisplayClear);
    vars_.manualCommand = encodeEntryText(form_.text1);
    send(vars_.manualCommand);
}

void Panel::Command96_Click()
{
    setText1({});
}

} // namespace vx37
