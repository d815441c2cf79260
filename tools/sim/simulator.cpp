#include "sim/simulator.h"

#include "commands/monitor_text.h"
#include "sim/uart.h"

#include <algorithm>

namespace vx37::sim {

namespace {

std::string speedNote(int projectorBaud, int panelBaud)
{
    return "the projector runs at " + std::to_string(projectorBaud) + " baud, the panel at " +
           (panelBaud > 0 ? std::to_string(panelBaud) : std::string("an unknown speed"));
}

} // namespace

Simulator::Simulator(const ProjectorSettings& projector, const FaultSettings& faults, int baud,
                     std::int64_t now)
    : projector_(projector, now), faults_(faults), baud_(baud), random_(faults.seed),
      vanishAt_(faults.vanishAfter)
{
    if (faults_.chatterMs > 0)
        nextChatter_ = now + faults_.chatterMs;
}

void Simulator::setTranscript(std::function<void(const TranscriptEntry&)> sink)
{
    transcript_ = std::move(sink);
}

void Simulator::log(std::int64_t time, TranscriptEntry::Kind kind, std::string bytes,
                    std::string note)
{
    if (transcript_)
        transcript_(TranscriptEntry{time, kind, std::move(bytes), std::move(note)});
}

void Simulator::advanceProjector(std::int64_t now)
{
    // Phase ends are logged at the moment they happened, not when someone looked.
    while (const auto due = projector_.nextChangeAt()) {
        if (*due > now)
            break;
        for (std::string& change : projector_.advanceTo(*due))
            log(*due, TranscriptEntry::Kind::Event, {}, std::move(change));
    }
    projector_.advanceTo(now);
}

void Simulator::receive(std::string_view bytes, std::int64_t now, int panelBaud)
{
    advanceProjector(now);
    if (vanished_)
        return;
    for (const char c : bytes) {
        if (c == '\r') {
            handleFrame(frame_, true, now, panelBaud);
            frame_.clear();
        } else if (c != '\n') {
            frame_.push_back(c);
            if (frame_.size() >= kMaxFrameLength) {
                handleFrame(frame_, false, now, panelBaud);
                frame_.clear();
            }
        }
        if (vanished_)
            return;
    }
}

void Simulator::handleFrame(const std::string& frame, bool complete, std::int64_t now,
                            int panelBaud)
{
    ++commands_;
    const std::string wire = complete ? frame + '\r' : frame;
    Outcome outcome;
    if (panelBaud != baud_) {
        // What the projector's receiver makes of it: nothing it could act on.
        const std::string heard = resampleUart(wire, panelBaud, baud_);
        outcome = {std::string(Projector::kErrorReply),
                   "unreadable, " + speedNote(baud_, panelBaud) + "; read as" +
                       renderMonitorText(heard),
                   false};
    } else if (!complete) {
        outcome = {std::string(Projector::kErrorReply),
                   "no CR in " + std::to_string(kMaxFrameLength) + " bytes: dropped", false};
    } else {
        outcome = projector_.handle(frame, now);
    }
    log(now, TranscriptEntry::Kind::FromPanel, wire, outcome.change);

    std::int64_t lastDue = now;
    if (!faults_.silent) {
        const std::string late =
            faults_.lateMs > 0 ? "late by " + std::to_string(faults_.lateMs) + " ms" : "";
        lastDue = scheduleReply(outcome.reply, now + faults_.lateMs, late);
    }

    if (faults_.floodBytes > 0 && !floodScheduled_ && commands_ >= faults_.floodAfter) {
        // Behind that answer, so the panel has read one good reply before the noise.
        floodScheduled_ = true;
        schedule(lastDue, {LineAction::Kind::Flood, {}, faults_.floodBytes});
    }

    if (faults_.vanishAfter > 0 && !vanishScheduled_ && commands_ >= vanishAt_) {
        // Just after the last answer is out, as if the adapter were pulled right then.
        vanishScheduled_ = true;
        const std::int64_t goneAt = lastDue + kVanishDelayMs;
        schedule(goneAt, {LineAction::Kind::Vanish, {}});
        if (faults_.comeBackMs >= 0)
            schedule(goneAt + faults_.comeBackMs, {LineAction::Kind::ComeBack, {}});
    }
}

std::string Simulator::corrupt(std::string bytes, int* count)
{
    std::bernoulli_distribution hit(std::clamp(faults_.corruptRate, 0.0, 1.0));
    std::uniform_int_distribution<int> mask(1, 255);
    for (char& c : bytes) {
        if (hit(random_)) {
            c = static_cast<char>(static_cast<unsigned char>(c) ^ mask(random_));
            ++*count;
        }
    }
    return bytes;
}

std::int64_t Simulator::scheduleReply(std::string reply, std::int64_t start, std::string note)
{
    const auto withNote = [&note](std::string more) {
        if (more.empty())
            return note;
        return note.empty() ? more : note + ", " + more;
    };
    int corrupted = 0;
    if (faults_.corruptRate > 0)
        reply = corrupt(std::move(reply), &corrupted);
    const std::string corruptNote = corrupted > 0 ? std::to_string(corrupted) + " byte" +
                                                        (corrupted > 1 ? "s" : "") + " corrupted"
                                                  : std::string();

    const std::size_t size =
        faults_.pieceBytes > 0 ? std::size_t(faults_.pieceBytes) : reply.size();
    if (reply.size() <= size) {
        schedule(start, {LineAction::Kind::Write, std::move(reply)}, withNote(corruptNote));
        return start;
    }
    const std::size_t pieces = (reply.size() + size - 1) / size;
    for (std::size_t k = 0; k < pieces; ++k) {
        std::string piece = reply.substr(k * size, size);
        std::string pieceNote = "piece " + std::to_string(k + 1) + "/" + std::to_string(pieces);
        if (k == 0 && !corruptNote.empty())
            pieceNote += ", " + corruptNote;
        schedule(start + static_cast<std::int64_t>(k) * faults_.pieceGapMs,
                 {LineAction::Kind::Write, std::move(piece)}, withNote(pieceNote));
    }
    return start + static_cast<std::int64_t>(pieces - 1) * faults_.pieceGapMs;
}

void Simulator::schedule(std::int64_t due, LineAction action, std::string note)
{
    Pending pending{due, nextOrder_++, std::move(action), std::move(note)};
    const auto at = std::upper_bound(pending_.begin(), pending_.end(), pending,
                                     [](const Pending& a, const Pending& b) {
                                         return a.due != b.due ? a.due < b.due : a.order < b.order;
                                     });
    pending_.insert(at, std::move(pending));
}

std::vector<LineAction> Simulator::takeDue(std::int64_t now, int panelBaud)
{
    advanceProjector(now);
    if (nextChatter_ && !vanished_ && *nextChatter_ <= now) {
        // Unprompted: the operating state, as if someone had asked.
        scheduleReply(*projector_.statusReply("CR0"), *nextChatter_, "unprompted");
        *nextChatter_ += faults_.chatterMs;
        if (*nextChatter_ <= now)
            *nextChatter_ = now + faults_.chatterMs; // fell behind: skip, never burst
    }

    std::vector<LineAction> actions;
    while (!pending_.empty() && pending_.front().due <= now) {
        Pending next = std::move(pending_.front());
        pending_.erase(pending_.begin());
        switch (next.action.kind) {
        case LineAction::Kind::Write: {
            std::string note = std::move(next.note);
            if (panelBaud != baud_) {
                next.action.bytes = resampleUart(next.action.bytes, baud_, panelBaud);
                note += (note.empty() ? "" : ", ") + std::string("garbled: ") +
                        speedNote(baud_, panelBaud);
            }
            log(now, TranscriptEntry::Kind::ToPanel, next.action.bytes, std::move(note));
            if (!next.action.bytes.empty())
                actions.push_back(std::move(next.action));
            break;
        }
        case LineAction::Kind::Vanish:
            vanished_ = true;
            frame_.clear();
            // Whatever was still to be said is lost with the line.
            std::erase_if(pending_, [](const Pending& p) {
                return p.action.kind == LineAction::Kind::Write ||
                       p.action.kind == LineAction::Kind::Flood;
            });
            log(now, TranscriptEntry::Kind::Event, {},
                "line gone after " + std::to_string(commands_) +
                    (commands_ == 1 ? " command" : " commands"));
            actions.push_back(std::move(next.action));
            break;
        case LineAction::Kind::ComeBack:
            vanished_ = false;
            if (faults_.chatterMs > 0)
                nextChatter_ = now + faults_.chatterMs;
            ++cyclesDone_;
            if (faults_.vanishCycles == 0 || cyclesDone_ < faults_.vanishCycles) {
                // Again after as many commands as the first time, counted from now.
                vanishScheduled_ = false;
                vanishAt_ = commands_ + faults_.vanishAfter;
            }
            log(now, TranscriptEntry::Kind::Event, {},
                faults_.vanishCycles == 1 ? std::string("line back")
                                          : "line back (" + std::to_string(cyclesDone_) +
                                                (cyclesDone_ == 1 ? " time)" : " times)"));
            actions.push_back(std::move(next.action));
            break;
        case LineAction::Kind::Flood:
            log(now, TranscriptEntry::Kind::Event, {},
                "flood of " + std::to_string(next.action.floodBytes) +
                    " random bytes, as fast as the line takes them");
            actions.push_back(std::move(next.action));
            break;
        }
    }
    return actions;
}

std::optional<std::int64_t> Simulator::nextDue() const
{
    std::optional<std::int64_t> due = projector_.nextChangeAt();
    const auto consider = [&due](std::int64_t t) {
        if (!due || t < *due)
            due = t;
    };
    if (!pending_.empty())
        consider(pending_.front().due);
    if (nextChatter_ && !vanished_)
        consider(*nextChatter_);
    return due;
}

} // namespace vx37::sim
