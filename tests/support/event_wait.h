#pragma once

#include <QEventLoop>
#include <QTimer>

#include <functional>

// Waits by running the event loop until done() holds or timeoutMs pass; done() is
// checked every 2 ms. Unlike QTest::qWaitFor and QTest::qWait, which sleep up to 10 ms
// between rounds of events, the loop waits for events as the panel's own loop does, so
// the panel reads the line at its own pace and no event seems to last the sleep.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(2);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start();
    deadline.start(timeoutMs);
    loop.exec();
    return done();
}

// Runs the event loop for ms milliseconds.
inline void runFor(int ms)
{
    waitUntil([] { return false; }, ms);
}
