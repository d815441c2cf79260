// vx37-panel: the panel on the serial port, in its window.

#include "app/panel.h"
#include "link/qt_interval_timer.h"
#include "link/qt_serial_control.h"
#include "panel/form1.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Ties the window to its desktop entry (icon and name in the dock, on Wayland too).
    QGuiApplication::setDesktopFileName(QStringLiteral("vx37-panel"));

    vx37::QtSerialControl comm;
    vx37::QtIntervalTimer timer1(200);  // auto-repeat of a held button
    vx37::QtIntervalTimer timer2(500);  // reply time-out
    vx37::QtIntervalTimer timer3(5000); // hides the port option frame
    vx37::QtIntervalTimer timer4(1000); // empties the monitor lines
    vx37::Panel panel(comm, vx37::PanelTimers{timer1, timer2, timer3, timer4});
    vx37::Form1 form(panel);

    form.load();
    form.show();
    return app.exec();
}
