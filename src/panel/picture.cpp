#include "panel/picture.h"

#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>

#include <utility>

namespace vx37 {

QPixmap artworkPixmap(const QString& file)
{
    QImageReader reader(file, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

void Picture::setArtwork(const QString& file, const QString& file2x)
{
    const QPixmap base = artworkPixmap(file);
    artwork_ = QIcon();
    artwork_.addPixmap(base);
    file2x_ = file2x; // read when first drawn on a high-dpi screen
    setPixmap(base);
}

void Picture::paintEvent(QPaintEvent* event)
{
    if (artwork_.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    // The screen's ratio is known only now: the window may have moved to another screen.
    const qreal ratio = devicePixelRatioF();
    if (ratio > 1 && !file2x_.isEmpty()) {
        const QPixmap twice = artworkPixmap(std::exchange(file2x_, QString()));
        if (!twice.isNull())
            artwork_.addPixmap(twice);
    }
    const QSize size = pixmap().deviceIndependentSize().toSize();
    QPainter p(this);
    p.drawPixmap(QPoint(0, 0), artwork_.pixmap(size, ratio));
}

void Picture::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    event->accept();
}

} // namespace vx37
