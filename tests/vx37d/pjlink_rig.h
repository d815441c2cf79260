#pragma once

#include "commands/button_table.h"
#include "link/memory_serial_control.h"
#include "link/virtual_clock.h"
#include "pjlink/pjlink_bridge.h"
#include "pjlink/pjlink_server.h"

#include <string>

// The bridge on an in-memory line in virtual time, its server on a free loopback port.
// The projector has answered its first probe: the line is up, its reading already stale.
struct PjlinkRig
{
    explicit PjlinkRig(std::string password = {}, int maxConnections = 64, int perAddress = 64)
        : server(bridge, std::move(password), maxConnections, perAddress, clock.createTimer(0), now)
    {
        line.start();
        port.receive("00\r");
        clock.advance(vx37::ProjectorLine::kFreshMs + 1);
        port.clearWritten();
    }

    // Plays the projector: each frame written gets the next reply; an empty reply is none,
    // and its reply time-out passes.
    // The answer so far: empty while the line has not answered.
    const std::string& answer(const std::string& command, QStringList replies = {})
    {
        answered.clear();
        bridge.answer(*vx37::pjlink::parseCommand(command),
                      [this](const std::string& line) { answered = line; });
        for (std::size_t frames = 0;
             answered.empty() && frames < port.writes().size() && !replies.isEmpty(); ++frames) {
            const std::string reply = replies.takeFirst().toStdString();
            if (reply.empty())
                clock.advance(vx37::kDesignReplyTimeout);
            else
                port.receive(reply);
            // A reply not of the frame's form: the next frame waits for a quiet line.
            if (answered.empty() && port.writes().size() == frames + 1)
                clock.advance(vx37::kDesignReplyTimeout);
        }
        return answered;
    }

    vx37::VirtualClock clock;
    vx37::ProjectorLine::Clock now = [this] { return clock.now(); };
    vx37::MemorySerialControl port;
    vx37::ProjectorLine line{port,
                                     clock.createTimer(0),
                                     clock.createTimer(0),
                                     clock.createTimer(0),
                                     now,
                                     5000,
                                     vx37::pjlink::Bridge::polledQueries()};
    vx37::pjlink::Bridge bridge{line, {"room 101", "", "VX37", "vx37d 1.40"}, now};
    vx37::pjlink::Server server;
    std::string answered;
};
