#pragma once

#include "link/interval_timer.h"
#include "link/serial_control.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

namespace vx37 {

// What came back for one frame.
struct FrameReply
{
    // Up to and including the first CR; or what had come when the wait ended, at most
    // FrameExchange::kLongestReply bytes.
    std::string reply;
    bool ended = false;        // its CR came within the reply time-out
    std::string after;         // what came behind it before the line settled, cut short
    std::size_t unwritten = 0; // bytes of the frame the device had not taken in time
    bool overlong = false;     // kLongestReply bytes came without a CR
    bool lost = false;         // the device went away during the exchange
    // The frame's own answer: one reply of the form of its answer, and nothing behind it.
    bool answered = false;
};

// One frame's exchange on the projector's line, for the programs that act on an answer
// (vx37-ctl, the PJLink bridge). The rules keep each frame's answer its own:
// - the frame is written whole before its reply time-out starts: a long code on a slow
//   line takes a while (twice its time at the line's speed and a second, at most);
// - the reply is read up to its CR, kLongestReply bytes at most: a peer that never ends a
//   line cannot grow it;
// - it is the answer when it has the form of the frame's answer and nothing more comes
//   within the settle time (kSettleMs unless set otherwise): more means something else
//   talks on the line. With no settle time it is judged at its CR, and what follows it is
//   dropped before the next frame goes;
// - after a frame without its own answer, the line is kept until it has been quiet for that
//   frame's whole reply time-out (kLongestDrainMs at most), so that a late answer is
//   drained rather than taken for the next frame's;
// - after lineOpened(), what arrives is dropped until the line has been quiet for
//   kConnectSettleMs: a device server passes on what the device said before it connected.
// One frame at a time: exchange() only while ready(); lineFree() says when a drain ends.
class FrameExchange : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSettleMs = 30;
    static constexpr int kConnectSettleMs = 100;
    static constexpr int kLongestDrainMs = 3000;
    static constexpr std::size_t kLongestReply = 512;

    using Clock = std::function<std::int64_t()>; // milliseconds
    using Done = std::function<void(const FrameReply&)>;
    // What counts as the frame's answer: a reply of the form of its answer, or any reply
    // that ends (a frame relayed for a client that judges the reply itself).
    enum class Accept { AnswerForm, AnyReply };

    // timer: the one timer of every phase (writing, the reply, the settle, a drain).
    FrameExchange(SerialControl& port, IntervalTimer& timer, Clock now,
                  QObject* parent = nullptr);

    // Sends the frame of code and calls done once with what came back: when its answer has
    // settled, or when its reply time-out (replyTimeoutMs from the moment it is written
    // whole) has passed.
    void exchange(const std::string& code, int replyTimeoutMs, Done done,
                  Accept accept = Accept::AnswerForm);
    // How long an answer must stand alone before it counts.
    void setSettleMs(int milliseconds) { settleMs_ = milliseconds; }
    // No frame on the line and no drain: a frame may go now.
    bool ready() const { return phase_ == Phase::Idle; }
    // The line was opened or connected again: drain before the next frame.
    void lineOpened();

signals:
    // A drain has ended: the line is ready for a frame.
    void lineFree();
    // Bytes came while no frame was waiting for its reply; they were dropped.
    void unasked(const std::string& bytes);

private:
    enum class Phase { Idle, Draining, Writing, Waiting, Settling };

    void onComm();
    void onTimer();
    void waitForReply();
    void collect(const std::string& piece);
    void takeReply();
    void drain(int quietMs);
    void endDrain();
    void finish();

    SerialControl& port_;
    IntervalTimer& timer_;
    Clock now_;
    Phase phase_ = Phase::Idle;
    std::string code_;
    int replyTimeoutMs_ = 0;
    int settleMs_ = kSettleMs;
    Accept accept_ = Accept::AnswerForm;
    Done done_;
    FrameReply reply_;
    int drainQuietMs_ = 0;
    std::int64_t drainBegan_ = 0;
};

} // namespace vx37
