#pragma once

#include <QString>

// The device vanishes and comes back, again and again, while a button is held and
// status queries go out. Each cycle: a STATUS answered (the port is usable), "Brightness
// +" held, a STATUS sent during the repeats, the line gone after a few commands, the
// loss reported, another STATUS sent into the void, the button released, the line back.
struct UnplugFigures
{
    QString failure;        // empty when every cycle went as it should
    int cycles = 0;         // cycles completed
    int warnings = 0;       // Panel::warning, one per loss expected
    int answeredStatus = 0; // STATUS queries decoded as " Power ON"
    double longestCycleMs = 0;
    double seconds = 0;
    long residentAfterFirstKiB = 0;
    long residentAfterLastKiB = 0;
};

// Runs vx37-sim with --cycles cycles; the serial control looks for the lost device every
// retryMs, the simulator's line stays away comeBackMs.
UnplugFigures runUnplugCycles(int cycles, int comeBackMs, int retryMs);
