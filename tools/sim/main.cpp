// vx37-sim: a VX37 projector on a pseudo-terminal, for trying the panel and for its tests.

#include "sim/pty_server.h"
#include "sim/sim_options.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

int stopPipe[2] = {-1, -1};

void requestStop(int)
{
    const char byte = 's';
    [[maybe_unused]] const auto ignored = ::write(stopPipe[1], &byte, 1);
}

} // namespace

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

    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("vx37-sim: pipe");
        return 1;
    }
    struct sigaction action
    {
    };
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

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
    return server.serve(stopPipe[0]);
}
