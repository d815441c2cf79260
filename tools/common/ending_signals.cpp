#include "common/ending_signals.h"

#include <csignal>
#include <cstdlib>
#include <initializer_list>

#include <fcntl.h>
#include <unistd.h>

namespace vx37 {

namespace {

int writeEnd = -1;

void onSignal(int signal)
{
    const auto byte = static_cast<char>(signal);
    [[maybe_unused]] const auto written = ::write(writeEnd, &byte, 1);
}

} // namespace

int catchEndingSignals()
{
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    writeEnd = ends[1];
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous
        {
        };
        ::sigaction(signal, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN)
            continue;
        struct sigaction action
        {
        };
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
    return ends[0];
}

int takeEndingSignal(int pipeReadEnd)
{
    char byte = 0;
    return ::read(pipeReadEnd, &byte, 1) == 1 ? byte : 0;
}

void endBySignal(int signal)
{
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}

} // namespace vx37
