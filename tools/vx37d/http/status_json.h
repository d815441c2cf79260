#pragma once

#include "line/projector_line.h"

#include <QJsonObject>

#include <span>
#include <string>

namespace vx37::http {

// The readings /api/status gives, under these keys: power, input, mutes, lamp hours,
// lamps, temperatures and air pressure.
struct StatusReading
{
    const char* key;
    const char* code;
};
std::span<const StatusReading> statusReadings();

// A reading as the API gives it: the object `vx37-ctl --json` prints for its query's
// answer (name, code, reply, status, value, error), with ageMs; null when never read.
QJsonValue readingJson(const ProjectorLine& line, const std::string& code, std::int64_t now);

// The whole status: {"line": "up"|"down", "power": {...}, ..., "errors": [...]}, errors
// saying what is wrong with the readings' replies.
QJsonObject statusJson(const ProjectorLine& line, std::int64_t now);

} // namespace vx37::http
