#pragma once

#include <QIcon>
#include <QLabel>

namespace vx37 {

// One of the compiled-in PNG pictures, read as PNG: asked to find out the format itself,
// the toolkit first loads every image plugin installed to ask each whether it reads it.
QPixmap artworkPixmap(const QString& file);

// A picture shown at its own size; it reports double-clicks. On a high-dpi screen it draws
// the artwork's 2x version, pixel for pixel, where a plain label would scale up the 1x one.
class Picture final : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

    // The artwork and its version at twice the size in each direction; the picture takes
    // the size of the first, in logical pixels.
    void setArtwork(const QString& file, const QString& file2x);

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QIcon artwork_;
    QString file2x_; // not read yet
};

} // namespace vx37
