#include "panel/monitor_line.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace vx37 {

namespace {

constexpr int kTextIndent = 2; // pixels between the border and the first character

// Screen readers read the whole line, not only what is drawn.
class MonitorLineAccessible final : public QAccessibleWidget
{
public:
    explicit MonitorLineAccessible(MonitorLine* line)
        : QAccessibleWidget(line, QAccessible::StaticText)
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name || kind == QAccessible::Value)
            return static_cast<const MonitorLine*>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* accessibleMonitorLine(const QString& className, QObject* object)
{
    if (className == QLatin1StringView(MonitorLine::staticMetaObject.className()))
        if (auto* line = qobject_cast<MonitorLine*>(object))
            return new MonitorLineAccessible(line);
    return nullptr;
}

} // namespace

MonitorLine::MonitorLine(QWidget* parent) : QFrame(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleMonitorLine);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    measureFont();
}

void MonitorLine::setText(std::string_view latin1)
{
    // In place: resizing an unshared string keeps its buffer.
    text_.resize(static_cast<qsizetype>(latin1.size()));
    QChar* out = text_.data();
    for (const char c : latin1)
        *out++ = QLatin1Char(c);
    update(contentsRect());
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
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
    p.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               QStringView(text_).left(fits).toString());
}

void MonitorLine::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        measureFont();
    QFrame::changeEvent(event);
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
