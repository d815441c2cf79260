#pragma once

// The simulator on a real terminal device: a pseudo-terminal pair whose terminal end the
// panel opens as its serial port, served by a poll loop on the wall clock.
//
// The server keeps its own descriptor on the terminal end. That keeps the pair alive when
// the panel closes its port, and lets the server read the line settings the panel put on
// the terminal: a pseudo-terminal carries no speed, so the speed the panel set is the
// speed the panel's port "runs at".

#include "sim/sim_options.h"
#include "sim/simulator.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <string_view>

namespace vx37::sim {

class PtyServer
{
public:
    explicit PtyServer(const SimOptions& options);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal and the link. False with a reason on failure.
    bool open(std::string* error);
    // The path the panel opens: the link, or the terminal itself without one.
    std::string path() const;
    std::string terminalPath() const { return terminalPath_; }

    // Serves until stopFd becomes readable (a self-pipe written by a signal handler, or
    // by whoever runs the server on a thread). Returns 0, or 1 on a failure it reported.
    int serve(int stopFd);

    // Transcript lines, formatted, one per call.
    std::function<void(std::string_view line)> onTranscript;
    // For measurements, called on the serving thread with CLOCK_MONOTONIC nanoseconds:
    // bytes the panel wrote, read as soon as they were readable, and bytes about to be
    // written to the panel.
    std::function<void(std::int64_t ns, std::string_view bytes)> onRead;
    std::function<void(std::int64_t ns, std::string_view bytes)> onWrite;

    // The speed the panel's port is set to, read from the terminal; 0 when unknown.
    int panelBaud() const;

private:
    bool openTerminal(std::string* error);
    void closeTerminal();
    bool makeLink(std::string* error);
    void removeLink();
    void perform(const LineAction& action, std::int64_t nowNs);
    bool flooding() const { return floodLeft_ > 0 || !floodQueue_.empty(); }
    // Writes flood bytes, and the replies queued behind them, until the line is full.
    void pumpFlood();
    void endFlood(const std::string& how);
    void watchOpenings();
    void event(std::string note);
    std::int64_t millisecondsSinceStart(std::int64_t nowNs) const;

    SimOptions options_;
    std::unique_ptr<Simulator> simulator_;
    std::int64_t startNs_ = 0;
    int master_ = -1;
    int terminal_ = -1; // our own descriptor on the terminal end
    int watch_ = -1;    // inotify on the terminal end
    int openedByOthers_ = 0;
    int lastPanelBaud_ = -1;
    std::string terminalPath_;
    bool linked_ = false;

    // A flood in progress: bytes not yet made, and made ones (with replies that came up
    // meanwhile, in order) not yet taken by the line.
    std::int64_t floodLeft_ = 0;
    std::int64_t floodSent_ = 0;
    std::int64_t floodStartNs_ = 0;
    std::string floodQueue_;
    std::mt19937 floodRandom_;
};

// CLOCK_MONOTONIC in nanoseconds.
std::int64_t monotonicNanoseconds();

// The baud rate of a termios speed constant; 0 for one it does not know.
int baudOfSpeed(unsigned speed);

} // namespace vx37::sim
