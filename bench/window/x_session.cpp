#include "window/x_session.h"

#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vx37::bench {

namespace {

// A helper program that ends with this one, even when this one is killed.
pid_t startHelper(const std::vector<std::string>& args, int keepFd = -1)
{
    const pid_t pid = fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (keepFd >= 0)
            ::fcntl(keepFd, F_SETFD, 0);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

void stopHelper(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        const timespec tick{0, 10'000'000};
        nanosleep(&tick, nullptr);
    }
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

XSession::~XSession()
{
    stopHelper(windowManager);
    stopHelper(server);
}

// Xvfb writes its display number to a pipe once it takes clients.
bool XSession::start(std::string* error)
{
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        return false;
    server = startHelper({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
                          "1920x1080x24", "-nolisten", "tcp", "-br", "-noreset"},
                         ready[1]);
    ::close(ready[1]);
    std::string number;
    pollfd wait{ready[0], POLLIN, 0};
    char c = 0;
    while (::poll(&wait, 1, 10000) > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n')
        number += c;
    ::close(ready[0]);
    if (number.empty()) {
        *error = "Xvfb did not start";
        return false;
    }
    display = ":" + number;
    ::setenv("DISPLAY", display.c_str(), 1);

    windowManager = startHelper({"openbox", "--sm-disable"});
    XClient x;
    for (int i = 0; i < 1000 && !x.hasWindowManager(); ++i) {
        const timespec tick{0, 10'000'000};
        nanosleep(&tick, nullptr);
    }
    if (!x.hasWindowManager()) {
        *error = "openbox did not start";
        return false;
    }
    return true;
}

} // namespace vx37::bench
