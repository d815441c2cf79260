#pragma once

#include "pjlink/pjlink_mapping.h"
#include "pjlink/pjlink_protocol.h"
#include "line/projector_line.h"

#include <functional>
#include <string>
#include <vector>

namespace vx37::pjlink {

// What NAME ?, INF1 ?, INF2 ? and INFO ? answer.
struct Identity
{
    std::string name;
    std::string manufacturer; // empty: the bridge names no maker
    std::string product = "VX37";
    std::string info;
};

// PJLink class 1 answered from the projector's line, each command as the mapping tables
// (pjlink_mapping.h) say. ERR1: a command class 1 does not have; ERR2: a parameter the
// command does not take; ERR3: the projector could not be asked in time, or its state
// does not allow the command now; ERR4: the projector reports a power failure.
class Bridge
{
public:
    // Every answer comes within this, from the command's arrival.
    static constexpr int kAnswerMs = 1900;
    using Answer = std::function<void(const std::string& line)>; // without its CR

    Bridge(ProjectorLine& line, Identity identity, ProjectorLine::Clock now);

    // Answers a command, at once or once the line has answered.
    void answer(const Command& command, Answer answer);

    // Whether the projector answers: new clients are refused while it does not.
    bool projectorAnswers() const { return line_.isUp(); }

    // The queries the poll keeps fresh: power, input and mute.
    static std::vector<std::string> polledQueries();

private:
    struct Request
    {
        Command command;
        std::int64_t deadline;
        Answer answer;

        void operator()(std::string_view value) const { answer(command.answer(value)); }
    };

    void power(const Request& request);
    void input(const Request& request);
    void mute(const Request& request);
    // While the projector is on or warming up, what it does not report (yet) is answered
    // with a neutral value: some controllers take ERR3 for the projector being off.
    void whileOn(const Request& request, const std::string& neutral);
    void errors(const Request& request);
    void lamps(const Request& request);
    void inputs(const Request& request);
    void name(const Request& request);
    void manufacturer(const Request& request);
    void product(const Request& request);
    void info(const Request& request);
    void pjlinkClass(const Request& request);
    void set(const Request& request);
    void press(const Request& request, const SetRow& row, std::size_t control);
    // Answers from a status query's reply through its table; ERR3 for no reply.
    template <typename Row>
    void lookUp(const Request& request, Query query, const Row* (*rowOf)(std::string_view),
                std::string_view Row::*value);

    ProjectorLine& line_;
    Identity identity_;
    ProjectorLine::Clock now_;
};

} // namespace vx37::pjlink
