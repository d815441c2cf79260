#pragma once

// The simulator's side of the line, independent of any device: it splits what the panel
// writes into frames, lets the projector answer them, and puts the answers on a time
// line shaped by the faults asked for (late, in pieces, corrupted, unprompted chatter,
// the line vanishing and coming back, a flood of random bytes). It also checks the line
// speed: a panel whose port runs at another speed than the projector reads garbage, and
// the projector reads garbage from it. Time is passed in, in milliseconds, so tests run
// it on virtual time.

#include "sim/projector.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace vx37::sim {

struct FaultSettings
{
    bool silent = false;         // never reply
    int lateMs = 0;              // every reply this much late
    int pieceBytes = 0;          // > 0: replies go out in pieces of this many bytes
    int pieceGapMs = 100;        // between two pieces
    double corruptRate = 0.0;    // chance of each reply byte being corrupted
    std::uint32_t seed = 1;      // for the corruption and the flood
    int chatterMs = 0;           // > 0: speak unprompted this often
    int vanishAfter = 0;         // > 0: the line goes away after this many commands
    int comeBackMs = -1;         // >= 0: and comes back this much later
    int vanishCycles = 1;        // how often it goes and comes back; 0: without end
    std::int64_t floodBytes = 0; // > 0: this many random bytes, as fast as the line takes them
    int floodAfter = 1;          // ... once the reply to this many commands is out
};

// One line of the transcript: what crossed the line, or what happened by itself.
struct TranscriptEntry
{
    enum class Kind { FromPanel, ToPanel, Event };
    std::int64_t time = 0; // milliseconds
    Kind kind = Kind::Event;
    std::string bytes;
    std::string note;
};

// What the device side must do now.
struct LineAction
{
    enum class Kind { Write, Vanish, ComeBack, Flood };
    Kind kind = Kind::Write;
    std::string bytes;           // Write only
    std::int64_t floodBytes = 0; // Flood only: how many random bytes to send
};

class Simulator
{
public:
    // Longest frame kept while waiting for its CR; a longer one is answered with the
    // error reply and dropped, so a stream without CRs cannot grow without bound.
    static constexpr std::size_t kMaxFrameLength = 128;
    // The line goes this long after the last answer before it, so that answer is read:
    // closing a pseudo-terminal drops what its other end has not read yet.
    static constexpr int kVanishDelayMs = 100;

    Simulator(const ProjectorSettings& projector, const FaultSettings& faults, int baud,
              std::int64_t now);

    void setTranscript(std::function<void(const TranscriptEntry&)> sink);

    // Bytes the panel wrote, read at now; panelBaud is the speed its port is set to.
    void receive(std::string_view bytes, std::int64_t now, int panelBaud);
    // Everything due by now, in order. panelBaud is the speed the panel's port has now:
    // at another speed than the projector's, what is written arrives garbled.
    std::vector<LineAction> takeDue(std::int64_t now, int panelBaud);
    // When takeDue has something to do next, if ever.
    std::optional<std::int64_t> nextDue() const;

    const Projector& projector() const { return projector_; }
    int baud() const { return baud_; }
    bool vanished() const { return vanished_; }
    int commandsReceived() const { return commands_; }

private:
    struct Pending
    {
        std::int64_t due;
        std::uint64_t order;
        LineAction action;
        std::string note;
    };

    void log(std::int64_t time, TranscriptEntry::Kind kind, std::string bytes, std::string note);
    void advanceProjector(std::int64_t now);
    void handleFrame(const std::string& frame, bool complete, std::int64_t now, int panelBaud);
    void schedule(std::int64_t due, LineAction action, std::string note = {});
    // Schedules a reply from start, in pieces if asked; returns when its last byte goes.
    std::int64_t scheduleReply(std::string reply, std::int64_t start, std::string note);
    std::string corrupt(std::string bytes, int* count);

    Projector projector_;
    FaultSettings faults_;
    int baud_;
    std::function<void(const TranscriptEntry&)> transcript_;
    std::string frame_;
    std::vector<Pending> pending_; // kept in (due, order) order
    std::uint64_t nextOrder_ = 0;
    std::optional<std::int64_t> nextChatter_;
    std::mt19937 random_;
    int commands_ = 0;
    bool vanished_ = false;
    bool vanishScheduled_ = false;
    int vanishAt_ = 0; // the command count at which the line goes next
    int cyclesDone_ = 0;
    bool floodScheduled_ = false;
};

} // namespace vx37::sim
