// vx37-ctl: the panel's commands and status decoding from the command line.

#include "ctl/command_line.h"
#include "ctl/command_runner.h"
#include "link/qt_serial_control.h"

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

// The port as the messages name it: "COM1 (/dev/ttyUSB0)", or the path given.
QString portName(const QString& given, const QtSerialControl& port)
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

    QtSerialControl port;
    port.setRetryAdvice(RetryAdvice::TryAgain);
    port.setSettings(std::to_string(options.baud) + ",N,8,1");
    const QString given = QString::fromLocal8Bit(options.port);
    const int number = ctl::portNumber(options.port);
    if (number)
        port.setCommPort(number);
    else
        port.setDevicePath(given);
    if (!port.open()) {
        std::fprintf(stderr, "vx37-ctl: %s\n", qPrintable(port.failureText()));
        return flushed(kPortFailed);
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
    QObject::connect(&port, &SerialControl::deviceLost, &app, [&port, &end] {
        std::fprintf(stderr,
                     "vx37-ctl: the device %s went away before every command was "
                     "answered\n",
                     qPrintable(port.devicePath()));
        end(kPortFailed);
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
    QTimer::singleShot(0, &runner, &ctl::CommandRunner::start);
    const int code = app.exec();

    port.close();
#ifdef Q_OS_UNIX
    if (caught)
        endBySignal(caught);
#endif
    return flushed(code);
}
