#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>

// Times every event the user-interface thread handles: an event lasts from its delivery
// until the next delivery or until the event loop goes back to waiting. Watches the
// application object's events (every object of the thread passes through them) and the
// event dispatcher's waits, so it needs no change to what it watches.
class EventStopwatch : public QObject
{
    Q_OBJECT

public:
    EventStopwatch();
    ~EventStopwatch() override;

    double longestMs() const { return longestNs_ / 1e6; }
    QEvent::Type longestType() const { return longestType_; }
    qint64 events() const { return events_; }
    void reset();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void close();

    QElapsedTimer clock_;
    qint64 openedAt_ = -1; // ns; -1 while the loop waits
    QEvent::Type openType_ = QEvent::None;
    qint64 longestNs_ = 0;
    QEvent::Type longestType_ = QEvent::None;
    qint64 events_ = 0;
};
