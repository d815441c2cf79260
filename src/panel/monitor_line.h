#pragma once

#include <QElapsedTimer>
#include <QFrame>
#include <QString>
#include <QTimer>

#include <string_view>

namespace vx37 {

// A one-line monitor field (TXD, RXD, status). It keeps its whole text, which tests and
// accessibility read, but draws only the head that fits: the RXD line can hold some
// 65,000 characters and is rewritten at every receive event, and laying out all of them
// for every paint would freeze the window under a fast stream of pieces. For the same
// reason the text is converted into one buffer that is reused from event to event.
//
// A line is drawn at most once per display frame: under a 5 ms repeat it changes several
// times a frame, and drawing each change would take the user-interface thread away from
// the timers that send. A change is drawn at once when the line has not been drawn for a
// frame, else when the frame is over; what the line holds is always drawn in the end.
class MonitorLine final : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text)

public:
    explicit MonitorLine(QWidget* parent);

    // The monitor text, one byte per character (Latin-1; the panel writes ASCII).
    void setText(std::string_view latin1);
    const QString& text() const { return text_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void measureFont();
    void scheduleRepaint();

    QString text_;
    QElapsedTimer sincePainted_;
    QTimer frameEnd_;
    int narrowestAdvance_ = 0; // of the characters a monitor text is made of; 0: not measured
};

} // namespace vx37
