#pragma once

#include <QEvent>
#include <QString>

#include <cstddef>
#include <functional>

// The projector floods the line with random bytes while the panel's core runs on the
// real QSerialPort and QTimer; afterwards a status query is sent and decoded. The
// figures, for a test to check and a benchmark to print.
struct FloodFigures
{
    QString failure;          // empty when every step came about
    qint64 floodBytes = 0;    // the random bytes asked of the simulator
    double floodSeconds = 0;  // from the first flood byte read until the line fell quiet
    qint64 receiveEvents = 0; // MSComm1_OnComm calls meanwhile
    std::size_t longestAccumulator = 0;
    double longestEventMs = 0; // one event on the user-interface thread
    QEvent::Type longestEventType = QEvent::None;
    qint64 eventsTimed = 0;
    int heartbeatsMissed = 0; // of a 10 ms timer, while flooded
    long residentBeforeKiB = 0;
    long residentHighestKiB = 0;
    long residentAfterKiB = 0;
    QString rxdAfter; // after the status query that follows the flood
    QString statusAfter;
    int queriesHeard = 0; // STATUS frames the simulator read: one before, one amid, two after
    QString floodEnd;     // the simulator's transcript line on the end of the flood
};

// The port the panel opens to reach the simulator at link, when not the link itself.
using PortBridge = std::function<QString(const QString& link)>;

// Runs vx37-sim with --flood bytes; takes a few seconds, at most about 75 s.
FloodFigures runFlood(qint64 bytes, const PortBridge& bridge = {});
