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
constexpr qint64 kFrameNs = 1'000'000'000 / 60; // one frame at 60 Hz

// Screen readers hear the line by its name ("Received") and read its whole text, not only
// what is drawn, as the value and through the text interface.
class MonitorLineAccessible final : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit MonitorLineAccessible(MonitorLine* line)
        : QAccessibleWidget(line, QAccessible::StaticText)
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return line()->text();
        if (kind == QAccessible::Name) {
            const QString name = widget()->accessibleName();
            return name.isEmpty() ? line()->text() : name;
        }
        return QAccessibleWidget::text(kind);
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // Read-only text: nothing selected, the cursor at the start.
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override
    {
        return line()->text().mid(start, std::max(end - start, 0));
    }
    int characterCount() const override { return static_cast<int>(line()->text().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override
    {
        *start = 0;
        *end = characterCount();
        return {};
    }

private:
    const MonitorLine* line() const { return static_cast<const MonitorLine*>(widget()); }
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
    frameEnd_.setSingleShot(true);
    frameEnd_.setTimerType(Qt::PreciseTimer);
    connect(&frameEnd_, &QTimer::timeout, this, [this] { update(contentsRect()); });
}

void MonitorLine::setText(std::string_view latin1)
{
    // The same text again (the display-clear step empties lines already empty) leaves
    // nothing to draw and nothing to tell.
    if (QLatin1StringView(latin1.data(), static_cast<qsizetype>(latin1.size())) == text_)
        return;
    // What a screen reader had, to tell it what changed; copied only while one listens.
    const QString before = QAccessible::isActive() ? text_ : QString();
    // In place: resizing an unshared string keeps its buffer.
    text_.resize(static_cast<qsizetype>(latin1.size()));
    QChar* out = text_.data();
    for (const char c : latin1)
        *out++ = QLatin1Char(c);
    scheduleRepaint();
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent changed(this, 0, before, text_);
        QAccessible::updateAccessibility(&changed);
    }
}

void MonitorLine::scheduleRepaint()
{
    if (frameEnd_.isActive())
        return; // drawn when the frame is over, with whatever the line holds then
    const qint64 since = sincePainted_.isValid() ? sincePainted_.nsecsElapsed() : kFrameNs;
    if (since >= kFrameNs)
        update(contentsRect());
    else
        frameEnd_.start(int((kFrameNs - since + 999'999) / 1'000'000));
}

void MonitorLine::paintEvent(QPaintEvent*)
{
    sincePainted_.start();
    QPainter p(this);
    drawFrame(&p);
    if (text_.isEmpty())
        return;
    // Measured when first drawn: the lines start empty and out of view, and loading the
    // glyphs of their font would only hold up the window's first paint.
    if (narrowestAdvance_ == 0)
        measureFont();
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
        narrowestAdvance_ = 0; // measured again when next drawn
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
