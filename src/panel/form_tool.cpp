// vx37-form-tool: renders the window's four views for the documentation, and times the
// RXD line at a full receive accumulator.
//
//   vx37-form-tool screenshots <directory>   writes compact.png, data.png, service.png, full.png
//   vx37-form-tool rxd-cost [events]         prints the cost of one receive event, drawing included
//
// Both run on an in-memory serial control and virtual time, so nothing clears the lines
// meanwhile and no port is touched; run them with QT_QPA_PLATFORM=offscreen.

#include "app/panel.h"
#include "link/memory_serial_control.h"
#include "link/virtual_clock.h"
#include "panel/form1.h"
#include "panel/monitor_line.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace vx37;

struct Bench
{
    MemorySerialControl comm;
    VirtualClock clock;
    VirtualTimer& timer1 = clock.createTimer(200);
    VirtualTimer& timer2 = clock.createTimer(500);
    VirtualTimer& timer3 = clock.createTimer(5000);
    VirtualTimer& timer4 = clock.createTimer(1000);
    Panel panel{comm, PanelTimers{timer1, timer2, timer3, timer4}};
    Form1 form{panel};

    Bench() { form.load(); }

    void click(const char* name) { qobject_cast<QAbstractButton*>(form.control(name))->click(); }
    void chord() { panel.Form_KeyDown(Qt::Key_K, Qt::ControlModifier); }
};

// The window as a desktop shows it: the client area inside a plain caption bar and border
// of the size the window's heights are reckoned with.
QImage framed(Form1& form)
{
    const QImage client = form.grab().toImage();
    const QMargins f = form.frame();
    QImage image(client.width() + f.left() + f.right(), client.height() + f.top() + f.bottom(),
                 QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(image.rect(), QColor(0xC0, 0xC0, 0xC0));
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.drawRect(image.rect().adjusted(0, 0, -1, -1));
    const QRect bar(f.left(), f.left(), client.width(), f.top() - f.left() - 1);
    QLinearGradient title(bar.topLeft(), bar.topRight());
    title.setColorAt(0, QColor(0x00, 0x00, 0x80));
    title.setColorAt(1, QColor(0x10, 0x84, 0xD0));
    p.fillRect(bar, title);
    const QRect icon(bar.left() + 3, bar.top() + (bar.height() - 16) / 2, 16, 16);
    p.drawPixmap(icon, form.windowIcon().pixmap(16, 16));
    QFont caption(QStringLiteral("DejaVu Sans"));
    caption.setPixelSize(12);
    caption.setBold(true);
    p.setFont(caption);
    p.setPen(Qt::white);
    p.drawText(bar.adjusted(24, 0, -24, 0), Qt::AlignLeft | Qt::AlignVCenter, form.windowTitle());
    const QRect close(bar.right() - 18, bar.top() + (bar.height() - 14) / 2, 16, 14);
    p.fillRect(close, QColor(0xC0, 0xC0, 0xC0));
    p.setPen(Qt::black);
    p.drawText(close, Qt::AlignCenter, QStringLiteral("\u00d7"));
    p.drawImage(f.left(), f.top(), client);
    return image;
}

int screenshots(const QString& directory)
{
    QDir().mkpath(directory);
    const auto save = [&](Form1& form, const char* name) {
        const QString path = QDir(directory).filePath(QString::fromLatin1(name));
        if (!framed(form).save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    };

    bool ok = true;
    {
        Bench compact;
        ok &= save(compact.form, "compact.png");
    }
    {
        // The data view after a status query and its reply.
        Bench data;
        data.chord();
        data.click("Command34");
        data.click("Command34");
        data.click("Command44");
        data.comm.receive("00\r");
        ok &= save(data.form, "data.png");
    }
    {
        Bench service;
        service.chord();
        service.click("Command46");
        service.comm.receive("1234\r");
        ok &= save(service.form, "service.png");
    }
    {
        // The full view with a typed command sent and answered.
        Bench full;
        full.chord();
        full.panel.Image1_DblClick();
        full.panel.setText1(QStringLiteral("CR9"));
        full.click("Command95");
        full.comm.receive("VX37 Ver1.40\r");
        ok &= save(full.form, "full.png");
    }
    return ok ? 0 : 1;
}

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

int rxdCost(int events)
{
    Bench bench;
    bench.chord();
    bench.panel.Image1_DblClick();
    bench.form.show();
    auto* rxd = bench.form.control("Label12");
    auto* status = bench.form.control("Label22");

    const auto fill = [&](const QString& typed) {
        bench.panel.setText1(typed);
        bench.click("Command95");
        // Every byte a two-character token: the longest monitor text there is.
        bench.comm.receive(std::string(Panel::kMaxTextLength, 'A'));
        QApplication::processEvents();
    };
    // One more piece arrives: the whole accumulator is rendered, shown and drawn again.
    const auto receiveEvent = [&] {
        bench.comm.receive("B");
        rxd->repaint();
        status->repaint();
    };

    QTextStream out(stdout);
    out << "receive events timed: " << events << ", RXD text " << bench.panel.form().rxdLine.size()
        << " characters after filling\n";
    fill(QStringLiteral("C00"));
    out << "RXD line holds " << qobject_cast<MonitorLine*>(rxd)->text().size() << " characters\n";
    Timing t = timeEach(events, receiveEvent);
    out << "receive event, no status query: median " << t.median << " us, 99th percentile " << t.p99
        << " us, worst " << t.worst << " us\n";
    t = timeEach(events, [&] { bench.comm.receive("B"); });
    out << "  of which the panel and setText: median " << t.median << " us\n";
    t = timeEach(events, [&] { rxd->repaint(); });
    out << "  of which drawing: median " << t.median << " us\n";
    fill(QStringLiteral("CR9")); // shown as received: the status line takes the text too
    t = timeEach(events, receiveEvent);
    out << "receive event, CR9 (RXD and status lines): median " << t.median
        << " us, 99th percentile " << t.p99 << " us, worst " << t.worst << " us\n";

    // For comparison: the same text in a plain label, which lays out all of it.
    QLabel plain(rxd->parentWidget());
    plain.setFont(rxd->font());
    plain.setGeometry(rxd->geometry());
    plain.show();
    plain.raise();
    const QString text = qobject_cast<MonitorLine*>(rxd)->text();
    int flip = 0;
    t = timeEach(std::min(events, 200), [&] {
        plain.setText(text + QLatin1Char(flip++ % 2 ? 'B' : 'C'));
        plain.repaint();
    });
    out << "plain QLabel, same text: median " << t.median << " us, 99th percentile " << t.p99
        << " us, worst " << t.worst << " us\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() >= 3 && args[1] == QLatin1String("screenshots"))
        return screenshots(args[2]);
    if (args.size() >= 2 && args[1] == QLatin1String("rxd-cost"))
        return rxdCost(args.size() >= 3 ? std::max(args[2].toInt(), 1) : 2000);
    std::fprintf(stderr, "usage: vx37-form-tool screenshots <directory> | rxd-cost [events]\n");
    return 2;
}
