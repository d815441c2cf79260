#include "pseudo_terminal.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>

PseudoTerminal::PseudoTerminal()
{
    int terminal = -1;
    std::array<char, 128> name{};
    if (::openpty(&master_, &terminal, name.data(), nullptr, nullptr) != 0) {
        master_ = -1;
        return;
    }
    // Raw on both ends so bytes pass unchanged; the terminal end is closed again and
    // the serial control opens it by name.
    termios settings{};
    ::tcgetattr(terminal, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(terminal, TCSANOW, &settings);
    ::close(terminal);
    path_ = QFile::decodeName(name.data());
}

PseudoTerminal::~PseudoTerminal()
{
    close();
}

void PseudoTerminal::close()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

QByteArray PseudoTerminal::readAvailable(int timeoutMs)
{
    QByteArray bytes;
    pollfd wait{master_, POLLIN, 0};
    int timeout = timeoutMs;
    while (master_ >= 0 && ::poll(&wait, 1, timeout) > 0 && (wait.revents & POLLIN)) {
        std::array<char, 4096> buffer{};
        const ssize_t n = ::read(master_, buffer.data(), buffer.size());
        if (n <= 0)
            break;
        bytes.append(buffer.data(), n);
        timeout = 20;
    }
    return bytes;
}

void PseudoTerminal::write(const QByteArray& bytes)
{
    if (master_ >= 0 && ::write(master_, bytes.constData(), size_t(bytes.size())) < 0)
        qWarning("pseudo-terminal write failed");
}

int PseudoTerminal::terminalSpeed() const
{
    const int terminal = ::open(QFile::encodeName(path_).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (terminal < 0)
        return 0;
    termios settings{};
    ::tcgetattr(terminal, &settings);
    ::close(terminal);
    switch (::cfgetospeed(&settings)) {
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    default: return 0;
    }
}
