#include "sim/transcript.h"

#include "commands/monitor_text.h"

#include <algorithm>
#include <cstdio>

namespace vx37::sim {

namespace {

constexpr std::size_t kBytesColumn = 40;

} // namespace

std::string formatTranscriptEntry(const TranscriptEntry& entry)
{
    char time[32];
    std::snprintf(time, sizeof time, "%8lld.%03lld", static_cast<long long>(entry.time / 1000),
                  static_cast<long long>(entry.time % 1000));

    std::string line(time);
    switch (entry.kind) {
    case TranscriptEntry::Kind::FromPanel:
        line += "  PC>VX37 ";
        break;
    case TranscriptEntry::Kind::ToPanel:
        line += "  VX37>PC ";
        break;
    case TranscriptEntry::Kind::Event:
        line += "  --      ";
        break;
    }
    std::string shown =
        entry.kind == TranscriptEntry::Kind::Event ? std::string() : renderMonitorText(entry.bytes);
    if (!entry.note.empty()) {
        // The monitor text ends in a blank already; line the notes up where it is short.
        shown.resize(std::max(shown.size() + 1, kBytesColumn), ' ');
        shown += entry.note;
    }
    while (!shown.empty() && shown.back() == ' ')
        shown.pop_back();
    line += shown;
    return line;
}

} // namespace vx37::sim
