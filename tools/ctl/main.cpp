// vx37-ctl: the panel's commands and status decoding from the command line.

#include "ctl/command_line.h"
#include "ctl/command_runner.h"
#include "link/any_port_control.h"
#include "link/network/network_port.h"

#include <QCoreApplication>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#ifdef Q_OS_UNIX
#include "common/ending_signals.h"

#include <QSocketNotifier>
#endif

using namespace vx37;

namespace {

enum ExitCode { kAnswered = 0, kNotAnswered = 1, kUsage = 2, kPortFailed = 3 };

// Standard output and standard error written out; a failure to write them is the
// program's failure, as with any tool a script relies on.
int flushed(int code)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "vx37-ctl: write error on standard output: %s\n",
                     std::strerror(errno));
        return code == kAnswered ? kNotAnswered : code;
    }
    if (std::fflush(stderr) != 0 || std::ferror(stderr))
        return code == kAnswered ? kNotAnswered : code;
    return code;
}

// The port as the messages name it: "COM1 (/dev/ttyUSB0)", or the path or network port given.
QString portName(const QString& given, const AnyPortControl& port)
{
    const QString device = port.devicePath();
    return device.isEmpty() || device == given ? given
                                               : QStringLiteral("%1 (%2)").arg(given, device);
}

} // namespace

int main(int argc, char** argv)
{
    const ctl::ParsedCommandLine parsed =
        ctl::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (parsed.action) {
    case ctl::ParsedCommandLine::Action::Help:
        std::fputs(ctl::usageText().c_str(), stdout);
        return flushed(kAnswered);
    case ctl::ParsedCommandLine::Action::Version:
        std::puts("vx37-ctl " VX37_VERSION);
        return flushed(kAnswered);
    case ctl::ParsedCommandLine::Action::List:
        std::fputs(ctl::listText().c_str(), stdout);
        return flushed(kAnswered);
    case ctl::ParsedCommandLine::Action::UsageError:
        std::fputs(parsed.error.c_str(), stderr);
        return flushed(kUsage);
    case ctl::ParsedCommandLine::Action::Run:
        break;
    }
    const ctl::CtlOptions& options = parsed.options;

    QCoreApplication app(argc, argv);
#ifdef Q_OS_UNIX
    const int signalPipe = catchEndingSignals();
#endif

    const std::unique_ptr<AnyPortControl> control = projectorPort(options.port, options.baud);
    AnyPortControl& port = *control;
    const QString given = QString::fromLocal8Bit(options.port);
    if (!port.open()) {
        std::fprintf(stderr, "vx37-ctl: %s\n", qPrintable(port.failureText()));
        // A network port name in VX37_COMn that cannot be read is misuse, as with --port.
        return flushed(port.nameUnreadable() ? kUsage : kPortFailed);
    }

    // The first reason to end is the one reported: a device lost and the runner's own
    // end in one pass of the event loop must not turn exit 3 into exit 1.
    std::optional<int> exitCode;
    const auto end = [&exitCode](int code) {
        if (exitCode)
            return;
        exitCode = code;
        QCoreApplication::exit(code);
    };
    ctl::CommandRunner runner(port, options, portName(given, port));
    QObject::connect(&runner, &ctl::CommandRunner::finished, &app, end);
    // A network port connects after open(): a connection that fails then is an opening
    // that failed, and one that drops says why.
    bool started = false;
    QObject::connect(&port, &SerialControl::deviceLost, &app, [&](const QString& text) {
        if (!started)
            std::fprintf(stderr, "vx37-ctl: %s\n", qPrintable(text));
        else if (isNetworkPortName(port.devicePath()))
            std::fprintf(stderr,
                         "vx37-ctl: the port went away before every command was "
                         "answered:\n%s\n",
                         qPrintable(text));
        else
            std::fprintf(stderr,
                         "vx37-ctl: the device %s went away before every command was "
                         "answered\n",
                         qPrintable(port.devicePath()));
        end(kPortFailed);
    });
    QObject::connect(&port, &AnyPortControl::notice, &app, [](const QString& text) {
        std::fprintf(stderr, "vx37-ctl: %s\n", qPrintable(text));
    });
    int caught = 0;
#ifdef Q_OS_UNIX
    std::unique_ptr<QSocketNotifier> signalled;
    if (signalPipe >= 0) {
        signalled = std::make_unique<QSocketNotifier>(signalPipe, QSocketNotifier::Read);
        QObject::connect(signalled.get(), &QSocketNotifier::activated, &app, [&] {
            caught = takeEndingSignal(signalPipe);
            if (caught)
                end(128 + caught);
        });
    }
#endif
    // The commands go once the line is there. On a network port the first frame waits for
    // the line to fall quiet (the frame exchange drops what the device server passes on
    // first), which also gives a server that turns a client away (busy with another) the
    // moment to say so: its words are then its reason, never an answer.
    const auto start = [&] {
        started = true;
        runner.start(isNetworkPortName(port.devicePath()));
    };
    if (port.deviceConnected())
        QTimer::singleShot(0, &runner, start);
    else
        QObject::connect(&port, &AnyPortControl::connected, &runner, start,
                         Qt::SingleShotConnection);
    const int code = app.exec();

    port.close();
#ifdef Q_OS_UNIX
    if (caught)
        endBySignal(caught);
#endif
    return flushed(code);
}
