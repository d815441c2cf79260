// vx37-sim: a VX37 projector on a pseudo-terminal, for trying the panel and for its tests.

#include "common/ending_signals.h"
#include "sim/pty_server.h"
#include "sim/sim_options.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const vx37::sim::ParsedOptions parsed = vx37::sim::parseOptions(args);
    if (parsed.help) {
        std::fputs(vx37::sim::usageText().c_str(), stdout);
        return 0;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "vx37-sim: %s\n", parsed.error.c_str());
        return 2;
    }

    const int stopPipe = vx37::catchEndingSignals();
    if (stopPipe < 0) {
        std::perror("vx37-sim: pipe");
        return 1;
    }

    vx37::sim::PtyServer server(*parsed.options);
    server.onTranscript = [](std::string_view line) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    };
    std::string error;
    if (!server.open(&error)) {
        std::fprintf(stderr, "vx37-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", server.path().c_str());
    std::fflush(stdout);
    return server.serve(stopPipe);
}
