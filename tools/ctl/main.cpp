// vx37-ctl: the panel's commands and status decoding from the command line.

#include "ctl/command_line.h"
#include "ctl/command_runner.h"
#include "link/any_port_control.h"
#include "link/port_names.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <memory>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <csignal>
#include <unistd.h>
#endif

using namespace vx37;

namespace {

enum ExitCode { kAnswered = 0, kUsage = 2, kPortFailed = 3 };

#ifdef Q_OS_UNIX
// SIGINT, SIGTERM and SIGHUP (an SSH session that drops) reach the event loop through a
// pipe, so the port is closed before the program ends by the same signal.
int signalPipe[2] = {-1, -1};

void onSignal(int signal)
{
    const auto byte = static_cast<char>(signal);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

void catchEndingSignals()
{
    if (::pipe(signalPipe) != 0)
        return;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal ignored by the caller (nohup, a background job) stays ignored.
        if (std::signal(signal, onSignal) == SIG_IGN)
            std::signal(signal, SIG_IGN);
    }
    // A reader that went away (vx37-ctl status | head -0) must not stop the commands.
    std::signal(SIGPIPE, SIG_IGN);
}
#endif

} // namespace

int main(int argc, char** argv)
{
    const ctl::ParsedCommandLine parsed =
        ctl::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (parsed.action) {
    case ctl::ParsedCommandLine::Action::Help:
        std::fputs(ctl::usageText().c_str(), stdout);
        return kAnswered;
    case ctl::ParsedCommandLine::Action::Version:
        std::puts("vx37-ctl " VX37_VERSION);
        return kAnswered;
    case ctl::ParsedCommandLine::Action::List:
        std::fputs(ctl::listText().c_str(), stdout);
        return kAnswered;
    case ctl::ParsedCommandLine::Action::UsageError:
        std::fputs(parsed.error.c_str(), stderr);
        return kUsage;
    case ctl::ParsedCommandLine::Action::Run:
        break;
    }
    const ctl::CtlOptions& options = parsed.options;

    QCoreApplication app(argc, argv);
#ifdef Q_OS_UNIX
    catchEndingSignals();
#endif

    AnyPortControl port;
    port.setRetryAdvice(RetryAdvice::TryAgain);
    port.setSettings(std::to_string(options.baud) + ",N,8,1");
    const int number = ctl::portNumber(options.port);
    if (number)
        port.setCommPort(number);
    else
        port.setPortName(QString::fromLocal8Bit(options.port));
    if (!port.open()) {
        std::fprintf(stderr, "vx37-ctl: %s\n", qPrintable(port.failureText()));
        return kPortFailed;
    }

    ctl::CommandRunner runner(port, options);
    QObject::connect(&runner, &ctl::CommandRunner::finished, &app,
                     [](int code) { QCoreApplication::exit(code); });
    // A network port's connection can fail after open(), which counts as an opening that
    // failed; a line lost later cuts the commands short.
    bool started = false;
    QObject::connect(&port, &SerialControl::deviceLost, &app, [&started](const QString& text) {
        std::fprintf(stderr, "vx37-ctl: %s%s\n",
                     started ? "the port went away before every command was answered:\n" : "",
                     qPrintable(text));
        QCoreApplication::exit(kPortFailed);
    });
    QObject::connect(&port, &AnyPortControl::notice, &app, [](const QString& text) {
        std::fprintf(stderr, "vx37-ctl: %s\n", qPrintable(text));
    });
    int caught = 0;
#ifdef Q_OS_UNIX
    std::unique_ptr<QSocketNotifier> signalled;
    if (signalPipe[0] >= 0) {
        signalled = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(signalled.get(), &QSocketNotifier::activated, &app, [&caught] {
            char byte = 0;
            if (::read(signalPipe[0], &byte, 1) == 1)
                caught = byte;
            QCoreApplication::exit(128 + caught);
        });
    }
#endif
    // The commands go once the line is there: a network port connects after open().
    const auto start = [&] {
        started = true;
        runner.start();
    };
    if (port.deviceConnected())
        QTimer::singleShot(0, &runner, start);
    else
        QObject::connect(&port, &AnyPortControl::connected, &runner, start,
                         Qt::SingleShotConnection);
    const int code = app.exec();

    port.close();
#ifdef Q_OS_UNIX
    if (caught) {
        // End as the signal would have, so a calling shell or script sees it.
        std::signal(caught, SIG_DFL);
        std::raise(caught);
    }
#endif
    return code;
}
