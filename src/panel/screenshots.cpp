// vx37-screenshots: renders the window's four views for the documentation.
//
//   vx37-screenshots <directory>   writes compact.png, port.png (the port option frame
//                                  shown), data.png, service.png and full.png
//   vx37-screenshots --scale N <directory>
//                                  writes full@Nx.png, the full view at a device pixel
//                                  ratio of N, as a high-dpi screen shows it
//
// Runs on an in-memory serial control and virtual time, so nothing clears the lines
// meanwhile and no port is touched; run it with QT_QPA_PLATFORM=offscreen.

#include "app/virtual_panel.h"
#include "panel/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <cstdio>
#include <string_view>

namespace {

using namespace vx37;

struct Scene : VirtualPanel
{
    Form1 form{panel};

    Scene() { form.load(); }

    void click(const char* name) { qobject_cast<QAbstractButton*>(form.control(name))->click(); }
    void chord() { panel.Form_KeyDown(Qt::Key_K, Qt::ControlModifier); }
};

// The window as a desktop shows it: the client area inside a plain caption bar and border
// of the size the window's heights are reckoned with.
QImage framed(Form1& form)
{
    // Painted in logical pixels onto an image of the screen's ratio, so that a high-dpi
    // shot shows the window as such a screen does, sharp, not scaled up.
    const QImage client = form.grab().toImage();
    const qreal ratio = client.devicePixelRatio();
    const QSize clientSize = client.deviceIndependentSize().toSize();
    const QMargins f = form.frame();
    QImage image(QSize(clientSize.width() + f.left() + f.right(),
                       clientSize.height() + f.top() + f.bottom()) *
                     ratio,
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    QPainter p(&image);
    const QRect outline(QPoint(0, 0), image.deviceIndependentSize().toSize());
    p.fillRect(outline, QColor(0xC0, 0xC0, 0xC0));
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.drawRect(outline.adjusted(0, 0, -1, -1));
    const QRect bar(f.left(), f.left(), clientSize.width(), f.top() - f.left() - 1);
    QLinearGradient title(bar.topLeft(), bar.topRight());
    title.setColorAt(0, QColor(0x00, 0x00, 0x80));
    title.setColorAt(1, QColor(0x10, 0x84, 0xD0));
    p.fillRect(bar, title);
    const QRect icon(bar.left() + 3, bar.top() + (bar.height() - 16) / 2, 16, 16);
    p.drawPixmap(icon, form.windowIcon().pixmap(QSize(16, 16), ratio));
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

// The full view shows every band, so one shot of it tells how a high-dpi screen draws the
// window.
int fullViewAtScale(const QString& directory, const QString& scale);

int screenshots(const QString& directory, const QString& scale)
{
    if (!scale.isEmpty())
        return fullViewAtScale(directory, scale);

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
        Scene compact;
        ok &= save(compact.form, "compact.png");
    }
    {
        // "COM" clicked: the port option frame over it.
        Scene port;
        port.click("Command33");
        ok &= save(port.form, "port.png");
    }
    {
        // The data view after a status query and its reply.
        Scene data;
        data.chord();
        data.click("Command34");
        data.click("Command34");
        data.click("Command44");
        data.comm.receive("00\r");
        ok &= save(data.form, "data.png");
    }
    {
        Scene service;
        service.chord();
        service.click("Command46");
        service.comm.receive("1234\r");
        ok &= save(service.form, "service.png");
    }
    ok &= fullViewAtScale(directory, {}) == 0;
    return ok ? 0 : 1;
}

int fullViewAtScale(const QString& directory, const QString& scale)
{
    // The full view with a typed command sent and answered.
    Scene full;
    full.chord();
    full.panel.Image1_DblClick();
    full.panel.setText1(QStringLiteral("CR9"));
    full.click("Command95");
    full.comm.receive("VX37 Ver1.40\r");
    const QString name =
        scale.isEmpty() ? QStringLiteral("full.png") : QStringLiteral("full@%1x.png").arg(scale);
    const QString path = QDir(directory).filePath(name);
    QDir().mkpath(directory);
    if (!framed(full.form).save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("%s\n", qPrintable(path));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // The scale factor is read when the application starts, so it is set before.
    QString scale;
    if (argc == 4 && std::string_view(argv[1]) == "--scale") {
        bool number = false;
        const double factor = QByteArray(argv[2]).toDouble(&number);
        if (!number || factor < 1 || factor > 8) {
            std::fprintf(stderr, "vx37-screenshots: --scale takes a number from 1 to 8\n");
            return 2;
        }
        scale = QString::fromLatin1(argv[2]);
        qputenv("QT_SCALE_FACTOR", argv[2]);
    }
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != (scale.isEmpty() ? 2 : 4)) {
        std::fprintf(stderr, "usage: vx37-screenshots [--scale N] <directory>\n");
        return 2;
    }
    return screenshots(args.last(), scale);
}
