#include "panel/monitor_line.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace vx37 {

namespace {

constexpr int kTextIndent = 2; // pixels between the border and the first character

} // namespace

MonitorLine::MonitorLine(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    measureFont();
}

void MonitorLine::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    drawFrame(&p);
    const QRect area = contentsRect().adjusted(kTextIndent, 0, 0, 0);
    // No character is narrower than the narrowest one, so this many always fill the line.
    const qsizetype fits = area.width() / narrowestAdvance_ + 2;
    p.setClipRect(area);
    p.setPen(palette().color(foregroundRole()));
    p.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text().left(fits));
}

void MonitorLine::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        measureFont();
    QLabel::changeEvent(event);
}

void MonitorLine::measureFont()
{
    const QFontMetrics metrics(font());
    int narrowest = metrics.horizontalAdvance(QLatin1Char(' '));
    for (char c = '!'; c <= '~'; ++c)
        narrowest = std::min(narrowest, metrics.horizontalAdvance(QLatin1Char(c)));
    narrowestAdvance_ = std::max(narrowest, 1);
}

} // namespace vx37
