#pragma once

// The panel: the one object that holds the panel variables and every handler.
//
//   serial control (link/) ──► MSComm1_OnComm ──► rxBuffer ──► Hyouji(direction 2)
//                                                               ├─► RXD line
//                                                               └─► status decoder (replies/)
//   window events ──► Command_Click / Command_MouseDown / ... ──► lastFrame ──► Hyouji(1)
//                                                               ├─► serial output
//                                                               └─► TXD line, Timer2, Timer4
//   interval timers (link/) ──► Timer1..Timer4 steps
//
// The window (Form1) only draws FormState and forwards its events here; it never decides
// anything. Each handler runs to completion on the user-interface thread, and none
// re-enters another through the event loop.

#include "app/form_state.h"
#include "app/panel_variables.h"
#include "commands/button_table.h"

#include <QObject>

#include <string>

namespace vx37 {

class IntervalTimer;
class SerialControl;

struct PanelTimers
{
    IntervalTimer& timer1; // auto-repeat of a held button
    IntervalTimer& timer2; // reply time-out
    IntervalTimer& timer3; // hides the port option frame
    IntervalTimer& timer4; // empties the monitor lines
};

class Panel : public QObject
{
    Q_OBJECT

public:
    // The longest string Hyouji takes; the receive accumulator never grows past it.
    static constexpr std::size_t kMaxTextLength = 32767;
    static constexpr std::uint8_t kDirectionSend = 1;
    static constexpr std::uint8_t kDirectionReceive = 2;

    Panel(SerialControl& comm, PanelTimers timers, QObject* parent = nullptr);

    const PanelVariables& variables() const { return vars_; }
    const FormState& form() const { return form_; }
    const PanelTimers& timers() const { return timers_; }

    // Start and end of a run.
    void Form_Load(const ScreenMetrics& screen);
    void Form_Unload(); // the window goes away: release the port
    void Command16_Click(); // "END"

    // Port and speed choices, and "COM".
    void Option1_Click();
    void Option2_Click();
    void Option9_Click();
    void Option10_Click();
    void Command33_Click();

    // The one procedure every send and every receive passes through.
    void Hyouji(const std::string& text, std::uint8_t direction);

    // The buttons of the table: one handler per event, the control given by its row.
    void Command_Click(const ButtonRow& button);     // kinds P, G, S, M
    void Command_MouseDown(const ButtonRow& button); // kind H
    void Command_MouseUp(const ButtonRow& button);   // kind H
    // The held button being repeated, or nullptr.
    const ButtonRow* heldButton() const;

    // Manual command entry.
    void setText1(const QString& text); // typed by the operator
    void Command95_Click();             // "SEND"
    void Command96_Click();             // "CLS"

    // Receive event.
    void MSComm1_OnComm();

    // Timer steps.
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void Timer4_Timer();

    // Views.
    void Form_KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void Image1_DblClick();
    void Command34_Click();

signals:
    void propertyChanged(vx37::FormProperty property);
    // The port failure warning: a modal box captioned kWarningCaption with this text.
    void warning(const QString& text);
    // "END": the window closes and the program ends.
    void ended();

private:
    void send(std::string_view code);
    void showReceived(const std::string& received, const std::string& monitorText);
    void emptyAccumulator();
    void portChange(int port);
    void speedChange(const std::string& settings, bool nineteenTwoHundred);
    void releaseStep(const ButtonRow& button);

    void setHeight(int height);
    void setTxdLine(std::string text);
    void setRxdLine(std::string text);
    void setStatusLine(std::string text);
    void setFrame8Visible(bool visible);
    void setCommand34(bool visible, const QString& caption);

    SerialControl& comm_;
    PanelTimers timers_;
    PanelVariables vars_;
    FormState form_;
    // The port is meant to be open from start-up until "END": every port choice then
    // opens the chosen port, whether the last opening worked or not, so that the
    // warning's advice (plug the adapter in, choose the port again) works.
    bool portWanted_ = false;
    // Where the reply to the last send begins in rxBuffer: a query's decoder reads only
    // what came after its own frame went out, not the tail of an earlier reply.
    std::size_t replyStart_ = 0;
};

} // namespace vx37
