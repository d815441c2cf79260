#include "sim/pty_server.h"

#include "sim/transcript.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string_view>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vx37::sim {

namespace {

struct SpeedEntry
{
    speed_t speed;
    int baud;
};

constexpr SpeedEntry kSpeeds[] = {
    {B1200, 1200},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
    {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
};

speed_t speedOfBaud(int baud)
{
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.baud == baud)
            return entry.speed;
    }
    return B19200;
}

std::string systemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// The other vx37-sim process that holds the terminal end at `terminal` open, or 0: a
// simulator serving a link keeps its own descriptor on it. Not this one: the number of a
// killed simulator's terminal may have just been given to ours. Sees the processes this
// user may look into.
long servingSimulator(const std::string& terminal)
{
    DIR* processes = ::opendir("/proc");
    if (!processes)
        return 0;
    long found = 0;
    const std::string self = std::to_string(::getpid());
    while (const dirent* process = ::readdir(processes)) {
        const std::string pid = process->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self)
            continue;
        std::ifstream comm("/proc/" + pid + "/comm");
        std::string name;
        if (!std::getline(comm, name) || name != "vx37-sim")
            continue;
        const std::string fds = "/proc/" + pid + "/fd/";
        DIR* descriptors = ::opendir(fds.c_str());
        if (!descriptors)
            continue;
        while (const dirent* fd = ::readdir(descriptors)) {
            char target[PATH_MAX];
            const ssize_t size = ::readlink((fds + fd->d_name).c_str(), target, sizeof target);
            if (size > 0 && terminal == std::string_view(target, static_cast<std::size_t>(size)))
                found = std::stol(pid);
        }
        ::closedir(descriptors);
        if (found)
            break;
    }
    ::closedir(processes);
    return found;
}

// Why the symbolic link at `link` must stay, or empty when it is stale and may be replaced:
// its target is gone, or it is a pseudo-terminal that no simulator serves any longer (the
// simulator was killed and the terminal's number went to someone else).
std::string linkInUse(const std::string& link)
{
    char buffer[PATH_MAX];
    const ssize_t size = ::readlink(link.c_str(), buffer, sizeof buffer);
    struct stat info
    {
    };
    if (size <= 0 || ::stat(link.c_str(), &info) != 0)
        return {};
    const std::string target(buffer, static_cast<std::size_t>(size));
    if (target.rfind("/dev/pts/", 0) != 0)
        return link + " is a symbolic link to " + target +
               ", not a simulator's; remove it or choose another --link path";
    if (const long pid = servingSimulator(target))
        return link + " is in use: the simulator with process id " + std::to_string(pid) +
               " serves it (" + target + "); stop that one or choose another --link path";
    return {};
}

} // namespace

std::int64_t monotonicNanoseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int baudOfSpeed(unsigned speed)
{
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.speed == speed)
            return entry.baud;
    }
    return 0;
}

PtyServer::PtyServer(const SimOptions& options)
    : options_(options), floodRandom_(options.faults.seed)
{
}

PtyServer::~PtyServer()
{
    removeLink();
    closeTerminal();
}

std::string PtyServer::path() const
{
    return options_.link.empty() ? terminalPath_ : options_.link;
}

std::int64_t PtyServer::millisecondsSinceStart(std::int64_t nowNs) const
{
    return (nowNs - startNs_) / 1000000;
}

void PtyServer::event(std::string note)
{
    if (options_.transcript && onTranscript)
        onTranscript(formatTranscriptEntry({millisecondsSinceStart(monotonicNanoseconds()),
                                            TranscriptEntry::Kind::Event,
                                            {},
                                            std::move(note)}));
}

bool PtyServer::open(std::string* error)
{
    startNs_ = monotonicNanoseconds();
    simulator_ = std::make_unique<Simulator>(options_.projector, options_.faults, options_.baud, 0);
    simulator_->setTranscript([this](const TranscriptEntry& entry) {
        if (options_.transcript && onTranscript)
            onTranscript(formatTranscriptEntry(entry));
    });
    if (!openTerminal(error))
        return false;
    if (!options_.link.empty() && !makeLink(error)) {
        closeTerminal();
        return false;
    }
    std::string where = path();
    if (!options_.link.empty())
        where += " -> " + terminalPath_;
    event("serving " + where + " at " + std::to_string(options_.baud) + " baud, projector " +
          std::string(powerName(simulator_->projector().power())));
    return true;
}

bool PtyServer::openTerminal(std::string* error)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) {
        *error = systemError("cannot open a pseudo-terminal");
        return false;
    }
    char name[PATH_MAX] = {};
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        *error = systemError("cannot set up the pseudo-terminal");
        closeTerminal();
        return false;
    }
    terminal_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (terminal_ < 0) {
        *error = systemError(std::string("cannot open ") + name);
        closeTerminal();
        return false;
    }
    // Raw from the start: an echoing terminal would send our replies straight back to us.
    termios settings{};
    ::tcgetattr(terminal_, &settings);
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, speedOfBaud(options_.baud));
    ::cfsetospeed(&settings, speedOfBaud(options_.baud));
    ::tcsetattr(terminal_, TCSANOW, &settings);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    terminalPath_ = name;

    // Who opens and closes the terminal end, for the transcript, and to undo the
    // exclusive mode a panel leaves behind when it dies without closing its port.
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 &&
        ::inotify_add_watch(watch_, name, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
    openedByOthers_ = 0;
    lastPanelBaud_ = -1;
    return true;
}

void PtyServer::watchOpenings()
{
    alignas(inotify_event) char buffer[4096];
    int opened = 0;
    int closed = 0;
    for (;;) {
        const ssize_t size = ::read(watch_, buffer, sizeof buffer);
        if (size <= 0)
            break;
        for (ssize_t at = 0; at < size;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & IN_OPEN)
                ++opened;
            if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE))
                ++closed;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    // What was written while nobody had the port open is lost, as on a real line whose
    // far end was not listening; the panel must not read it as the answer to its first
    // command.
    if (openedByOthers_ == 0 && opened > 0)
        ::tcflush(terminal_, TCIFLUSH);
    openedByOthers_ = std::max(0, openedByOthers_ + opened - closed);
    for (int i = 0; i < opened; ++i)
        event("the panel opened the port");
    for (int i = 0; i < closed; ++i)
        event("the panel closed the port");
    // A port opened in exclusive mode stays exclusive while any descriptor is open, ours
    // included; a panel that died with it open would lock the next one out.
    if (closed > 0 && openedByOthers_ == 0)
        ::ioctl(terminal_, TIOCNXCL);
}

void PtyServer::closeTerminal()
{
    if (master_ >= 0)
        ::close(master_);
    if (terminal_ >= 0)
        ::close(terminal_);
    if (watch_ >= 0)
        ::close(watch_);
    master_ = terminal_ = watch_ = -1;
}

bool PtyServer::makeLink(std::string* error)
{
    const std::string& link = options_.link;
    struct stat info
    {
    };
    if (::lstat(link.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            *error = link + " exists and is not a symbolic link; choose another --link path";
            return false;
        }
        if (std::string inUse = linkInUse(link); !inUse.empty()) {
            *error = std::move(inUse);
            return false;
        }
    }
    // Made aside and renamed over the old one, so the link never points nowhere midway.
    const std::string aside = link + ".new" + std::to_string(::getpid());
    ::unlink(aside.c_str());
    if (::symlink(terminalPath_.c_str(), aside.c_str()) != 0) {
        *error = systemError("cannot create the link " + link);
        return false;
    }
    if (::rename(aside.c_str(), link.c_str()) != 0) {
        *error = systemError("cannot create the link " + link);
        ::unlink(aside.c_str());
        return false;
    }
    linked_ = true;
    return true;
}

void PtyServer::removeLink()
{
    if (!linked_)
        return;
    linked_ = false;
    // Only our own link: another simulator may have taken the path over meanwhile.
    char target[PATH_MAX];
    const ssize_t size = ::readlink(options_.link.c_str(), target, sizeof target);
    if (size > 0 && std::string(target, static_cast<std::size_t>(size)) == terminalPath_)
        ::unlink(options_.link.c_str());
}

int PtyServer::panelBaud() const
{
    if (terminal_ < 0)
        return 0;
    termios settings{};
    if (::tcgetattr(terminal_, &settings) != 0)
        return 0;
    return baudOfSpeed(::cfgetospeed(&settings));
}

void PtyServer::perform(const LineAction& action, std::int64_t nowNs)
{
    switch (action.kind) {
    case LineAction::Kind::Write: {
        if (master_ < 0)
            return;
        if (onWrite)
            onWrite(nowNs, action.bytes);
        if (flooding()) {
            // Behind the flood bytes already made: one line, one order.
            floodQueue_ += action.bytes;
            pumpFlood();
            break;
        }
        std::string_view rest = action.bytes;
        while (!rest.empty()) {
            const ssize_t written = ::write(master_, rest.data(), rest.size());
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                // Nobody reads the terminal end and its buffer is full: a real line
                // would lose the bytes too.
                event("line full, " + std::to_string(rest.size()) + " bytes lost");
                break;
            }
            rest.remove_prefix(static_cast<std::size_t>(written));
        }
        break;
    }
    case LineAction::Kind::Flood:
        if (master_ < 0)
            return;
        floodLeft_ += action.floodBytes;
        floodStartNs_ = nowNs;
        floodSent_ = 0;
        pumpFlood();
        break;
    case LineAction::Kind::Vanish:
        if (flooding())
            endFlood("cut short by the line going");
        removeLink();
        closeTerminal();
        event("closed " + terminalPath_ + (options_.link.empty() ? "" : ", link removed"));
        break;
    case LineAction::Kind::ComeBack: {
        std::string error;
        if (!openTerminal(&error) || (!options_.link.empty() && !makeLink(&error)))
            event("cannot come back: " + error);
        else
            event("serving " + path() + (options_.link.empty() ? "" : " -> " + terminalPath_));
        break;
    }
    }
}

void PtyServer::pumpFlood()
{
    std::uniform_int_distribution<int> byte(0, 255);
    while (flooding()) {
        if (floodQueue_.empty()) {
            const auto size = static_cast<std::size_t>(std::min<std::int64_t>(floodLeft_, 4096));
            floodQueue_.resize(size);
            for (char& c : floodQueue_)
                c = static_cast<char>(byte(floodRandom_));
            floodLeft_ -= static_cast<std::int64_t>(size);
        }
        const ssize_t written = ::write(master_, floodQueue_.data(), floodQueue_.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return; // the line is full: on when poll says it takes more
        floodQueue_.erase(0, static_cast<std::size_t>(written));
        floodSent_ += written;
    }
    endFlood("done");
}

void PtyServer::endFlood(const std::string& how)
{
    const double seconds = (monotonicNanoseconds() - floodStartNs_) / 1e9;
    char rate[64];
    std::snprintf(rate, sizeof rate, "%.3f s", seconds);
    event("flood " + how + ": " + std::to_string(floodSent_) + " bytes written in " + rate +
          ", replies included");
    floodLeft_ = 0;
    floodQueue_.clear();
}

int PtyServer::serve(int stopFd)
{
    for (;;) {
        const std::int64_t nowNs = monotonicNanoseconds();
        for (const LineAction& action :
             simulator_->takeDue(millisecondsSinceStart(nowNs), panelBaud()))
            perform(action, monotonicNanoseconds());

        int timeout = -1;
        if (const auto due = simulator_->nextDue()) {
            const std::int64_t left = *due - millisecondsSinceStart(monotonicNanoseconds());
            timeout = static_cast<int>(std::clamp<std::int64_t>(left, 0, INT_MAX));
        }
        const short masterEvents = POLLIN | (flooding() ? POLLOUT : 0);
        pollfd fds[3] = {{stopFd, POLLIN, 0}, {master_, masterEvents, 0}, {watch_, POLLIN, 0}};
        const int ready = ::poll(fds, 3, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            event(systemError("poll failed"));
            return 1;
        }
        if (fds[0].revents != 0)
            break;
        if (watch_ >= 0 && fds[2].revents != 0)
            watchOpenings();
        if (master_ < 0 || fds[1].revents == 0)
            continue;
        if (flooding() && (fds[1].revents & POLLOUT))
            pumpFlood();
        if ((fds[1].revents & ~POLLOUT) == 0)
            continue;

        char buffer[4096];
        const ssize_t size = ::read(master_, buffer, sizeof buffer);
        const std::int64_t readNs = monotonicNanoseconds();
        if (size > 0) {
            const std::string_view bytes(buffer, static_cast<std::size_t>(size));
            if (onRead)
                onRead(readNs, bytes);
            const int baud = panelBaud();
            if (baud != lastPanelBaud_) {
                lastPanelBaud_ = baud;
                event(
                    "the panel's port is at " +
                    (baud > 0 ? std::to_string(baud) + " baud" : std::string("an unknown speed")) +
                    (baud == options_.baud ? "" : ", not the projector's speed"));
            }
            simulator_->receive(bytes, millisecondsSinceStart(readNs), baud);
        } else if (size == 0 || (errno != EAGAIN && errno != EINTR)) {
            // Cannot happen while we hold the terminal end ourselves; never spin on it.
            event(systemError("the pseudo-terminal failed"));
            return 1;
        }
    }
    event("stopped");
    removeLink();
    closeTerminal();
    return 0;
}

} // namespace vx37::sim
