// The cost of one receive event at a full receive accumulator, drawing included: the
// panel renders the whole accumulator (about 65,000 characters) at every piece, and the
// window must show it without falling behind a fast stream (target: 1 ms an event).
//
// Usage: QT_QPA_PLATFORM=offscreen vx37-rxd-line-bench [events]
//
// Runs on an in-memory serial control and virtual time, so nothing clears the lines
// meanwhile. A plain QLabel with the same text is timed for comparison.

#include "app/panel.h"
#include "link/memory_serial_control.h"
#include "link/virtual_clock.h"
#include "panel/form1.h"
#include "panel/monitor_line.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

using namespace vx37;

struct Timing
{
    double median;
    double p99;
    double worst;
};

template <typename Step> Timing timeEach(int events, Step step)
{
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(events));
    QElapsedTimer elapsed;
    for (int i = 0; i < events; ++i) {
        elapsed.start();
        step();
        micros.push_back(static_cast<double>(elapsed.nsecsElapsed()) / 1000.0);
    }
    std::sort(micros.begin(), micros.end());
    return {micros[micros.size() / 2], micros[micros.size() * 99 / 100], micros.back()};
}

QTextStream& operator<<(QTextStream& out, const Timing& t)
{
    return out << "median " << t.median << " us, 99th percentile " << t.p99 << " us, worst "
               << t.worst << " us\n";
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int events = argc > 1 ? std::max(QByteArray(argv[1]).toInt(), 1) : 2000;

    MemorySerialControl comm;
    VirtualClock clock;
    Panel panel{comm, PanelTimers{clock.createTimer(200), clock.createTimer(500),
                                  clock.createTimer(5000), clock.createTimer(1000)}};
    Form1 form{panel};
    form.load();
    panel.Form_KeyDown(Qt::Key_K, Qt::ControlModifier);
    panel.Image1_DblClick();
    form.show();
    auto* rxd = qobject_cast<MonitorLine*>(form.control("Label12"));
    auto* status = qobject_cast<MonitorLine*>(form.control("Label22"));

    const auto fill = [&](const QString& typed) {
        panel.setText1(typed);
        qobject_cast<QAbstractButton*>(form.control("Command95"))->click();
        // Every byte a two-character token: the longest monitor text there is.
        comm.receive(std::string(Panel::kMaxTextLength, 'A'));
        QApplication::processEvents();
    };
    // One more piece arrives: the whole accumulator is rendered, shown and drawn again.
    const auto receiveEvent = [&] {
        comm.receive("B");
        rxd->repaint();
        status->repaint();
    };

    QTextStream out(stdout);
    out << "receive events timed: " << events << "\n";
    fill(QStringLiteral("C00"));
    out << "RXD line holds " << rxd->text().size() << " characters\n";
    out << "receive event, no status query: " << timeEach(events, receiveEvent);
    out << "  the panel and the line's text alone: "
        << timeEach(events, [&] { comm.receive("B"); });
    out << "  drawing the RXD line alone: " << timeEach(events, [&] { rxd->repaint(); });
    fill(QStringLiteral("CR9")); // shown as received: the status line takes the text too
    out << "receive event, CR9 (RXD and status lines): " << timeEach(events, receiveEvent);

    // The same text in a plain label, which lays all of it out at every paint.
    QLabel plain(rxd->parentWidget());
    plain.setFont(rxd->font());
    plain.setGeometry(rxd->geometry());
    plain.show();
    plain.raise();
    const QString text = rxd->text();
    int flip = 0;
    out << "plain QLabel, same text: " << timeEach(std::min(events, 200), [&] {
        plain.setText(text + QLatin1Char(flip++ % 2 ? 'B' : 'C'));
        plain.repaint();
    });
    return 0;
}
