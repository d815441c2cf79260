#include "panel/panel_button.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTextLayout>

#include <algorithm>

namespace vx37 {

namespace {

// The bevel of a classic raised button, the same whatever the face colour.
const QColor kHighlight(0xFF, 0xFF, 0xFF);
const QColor kLight(0xDF, 0xDF, 0xDF);
const QColor kShadow(0x80, 0x80, 0x80);
const QColor kDarkShadow(0x00, 0x00, 0x00);

void drawEdges(QPainter& p, QRect r, const QColor& topLeft, const QColor& bottomRight)
{
    p.setPen(topLeft);
    p.drawLine(r.left(), r.bottom() - 1, r.left(), r.top());
    p.drawLine(r.left(), r.top(), r.right() - 1, r.top());
    p.setPen(bottomRight);
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.bottom(), r.right(), r.top());
}

// The caption centred, wrapped at word (or, in Japanese, character) boundaries when it is
// too wide. Wrapped lines stand one font height apart, as the design's fonts set them:
// the substitute faces have a larger leading, and two lines of it would not fit the
// buttons the design wraps.
void drawCaption(QPainter& p, const QRect& area, const QString& caption, const QFont& font)
{
    const QFontMetrics metrics(font);
    // Measured only when the widest glyph says the caption might not fit: measuring
    // shapes the text, as drawing it does once more.
    if (caption.size() * metrics.maxWidth() <= area.width() ||
        metrics.horizontalAdvance(caption) <= area.width()) {
        p.setFont(font);
        p.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, caption);
        return;
    }
    QTextLayout layout(caption, font);
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const qreal pitch = std::min<qreal>(metrics.height(), metrics.ascent() + 1);
    layout.beginLayout();
    int lines = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(area.width());
        line.setPosition(QPointF(0, lines++ * pitch));
    }
    layout.endLayout();
    const qreal block = (lines - 1) * pitch + metrics.height();
    const qreal top = area.top() + (area.height() - block) / 2;
    layout.draw(&p, QPointF(area.left(), top));
}

} // namespace

PanelButton::PanelButton(const QString& caption, QColor face, QWidget* parent)
    : QPushButton(caption, parent), face_(face)
{
    // A focused button is clicked by Enter as by Space, on the window as in a dialog.
    setAutoDefault(true);
}

void PanelButton::paintEvent(QPaintEvent* event)
{
    if (!face_.isValid()) {
        QPushButton::paintEvent(event);
        return;
    }
    QPainter p(this);
    const QRect outer = rect();
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    p.fillRect(outer, face_);
    if (isDown()) {
        drawEdges(p, outer, kDarkShadow, kHighlight);
        drawEdges(p, inner, kShadow, kLight);
    } else {
        drawEdges(p, outer, kHighlight, kDarkShadow);
        drawEdges(p, inner, kLight, kShadow);
    }

    const int shift = isDown() ? 1 : 0;
    const QRect textArea = outer.adjusted(2 + shift, 2 + shift, -2 + shift, -2 + shift);
    p.setPen(palette().color(QPalette::ButtonText));
    drawCaption(p, textArea, text(), font());

    if (hasFocus()) {
        QPen dotted(kDarkShadow, 1, Qt::DotLine);
        p.setPen(dotted);
        p.setBrush(Qt::NoBrush);
        p.drawRect(outer.adjusted(3 + shift, 3 + shift, -4 + shift, -4 + shift));
    }
}

void PanelButton::mousePressEvent(QMouseEvent* event)
{
    emit mouseDown();
    QPushButton::mousePressEvent(event);
    // The button keeps the press of any mouse button, so its release comes back here.
    event->accept();
}

void PanelButton::mouseReleaseEvent(QMouseEvent* event)
{
    emit mouseUp();
    withoutRepaintBeforeClick([&] { QPushButton::mouseReleaseEvent(event); });
    event->accept();
}

void PanelButton::keyReleaseEvent(QKeyEvent* event)
{
    withoutRepaintBeforeClick([&] { QPushButton::keyReleaseEvent(event); });
}

void PanelButton::withoutRepaintBeforeClick(const std::function<void()>& release)
{
    // The toolkit repaints a clicked button, and flushes it to the screen, before it
    // reports the click: the command would wait for the drawing. With updates held back
    // the command goes to the port first, and enabling them again schedules the repaint.
    if (!updatesEnabled()) {
        release();
        return;
    }
    const QPointer<PanelButton> self(this);
    setUpdatesEnabled(false);
    release();
    if (self)
        setUpdatesEnabled(true);
}

} // namespace vx37
