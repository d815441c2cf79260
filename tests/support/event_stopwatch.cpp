#include "event_stopwatch.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

EventStopwatch::EventStopwatch()
{
    clock_.start();
    QCoreApplication::instance()->installEventFilter(this);
    if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            close();
            openedAt_ = -1;
        });
        // Waking up and finding what to deliver belongs to the event that follows.
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] {
            close();
            openedAt_ = clock_.nsecsElapsed();
            openType_ = QEvent::None;
        });
    }
}

EventStopwatch::~EventStopwatch()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

void EventStopwatch::reset()
{
    longestNs_ = 0;
    longestType_ = QEvent::None;
    events_ = 0;
    openedAt_ = -1;
}

void EventStopwatch::close()
{
    if (openedAt_ < 0)
        return;
    const qint64 took = clock_.nsecsElapsed() - openedAt_;
    if (took > longestNs_) {
        longestNs_ = took;
        longestType_ = openType_;
    }
}

bool EventStopwatch::eventFilter(QObject*, QEvent* event)
{
    const qint64 now = clock_.nsecsElapsed();
    if (openedAt_ >= 0 && openType_ != QEvent::None) {
        close();
        openedAt_ = now;
    } else if (openedAt_ < 0) {
        openedAt_ = now;
    }
    openType_ = event->type();
    ++events_;
    return false;
}
