// vx37-panel: the panel on the serial port, in its window.

#include "app/panel.h"
#include "link/any_port_control.h"
#include "link/qt_interval_timer.h"
#include "panel/form1.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Ties the window to its desktop entry (icon and name in the dock, on Wayland too).
    QGuiApplication::setDesktopFileName(QStringLiteral("vx37-panel"));

    vx37::AnyPortControl comm;          // a device, or a device server's port over the network
    vx37::QtIntervalTimer timer1(200);  // auto-repeat of a held button
    vx37::QtIntervalTimer timer2(500);  // reply time-out
    vx37::QtIntervalTimer timer3(5000); // hides the port option frame
    vx37::QtIntervalTimer timer4(1000); // empties the monitor lines
    vx37::Panel panel(comm, vx37::PanelTimers{timer1, timer2, timer3, timer4});
    // A device server that would not take the line settings is said in the same box.
    QObject::connect(&comm, &vx37::AnyPortControl::notice, &panel, &vx37::Panel::warning);
    vx37::Form1 form(panel);

    form.load();
    form.show();
    return app.exec();
}
