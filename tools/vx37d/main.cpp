// vx37d: the daemon that owns one VX37's serial line and serves it to every client, through
// its front-ends: PJLink class 1, and the shared line in the projector's own protocol.

#include "common/ending_signals.h"
#include "http/http_front_end.h"
#include "link/qt_interval_timer.h"
#include "pjlink/pjlink_bridge.h"
#include "options.h"
#include "pjlink/pjlink_server.h"
#include "line/projector_line.h"
#include "link/any_port_control.h"
#include "mqtt/mqtt_service.h"
#include "share/share_server.h"
#include "web/session_host.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QSysInfo>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

using namespace vx37;
using namespace vx37::pjlink;
using namespace vx37::daemon;

namespace {

// Under systemd standard error is the journal, which takes a priority before each line
// (<4> a warning, <6> information) and names the program itself.
bool toJournal()
{
    unsigned long long device = 0;
    unsigned long long inode = 0;
    struct stat error
    {
    };
    const char* stream = std::getenv("JOURNAL_STREAM");
    return stream && std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 &&
           ::fstat(STDERR_FILENO, &error) == 0 && error.st_dev == device && error.st_ino == inode;
}

void logLine(QString text, bool fault)
{
    static const bool journal = toJournal();
    text.replace(QLatin1Char('\n'), QLatin1Char(' ')); // one entry, one line
    if (journal)
        std::fprintf(stderr, "<%d>%s\n", fault ? 4 : 6, qUtf8Printable(text));
    else
        std::fprintf(stderr, "vx37d: %s\n", qUtf8Printable(text));
}

// NAME ? answers the host name unless told otherwise: what a room is known by.
std::string hostName()
{
    constexpr int kLongestName = 64;
    return QSysInfo::machineHostName().left(kLongestName).toStdString();
}

// How often the slow readings are taken.
constexpr int kSlowPollMs = 60 * 1000;

} // namespace

int main(int argc, char** argv)
{
    const ParsedOptions parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    switch (parsed.action) {
    case ParsedOptions::Action::Help:
        std::fputs(usageText().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case ParsedOptions::Action::Version:
        std::puts("vx37d " VX37_VERSION);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case ParsedOptions::Action::Error:
        std::fputs(parsed.error.c_str(), stderr);
        return 2;
    case ParsedOptions::Action::Run:
        break;
    }
    const Options& options = parsed.options;
    const ServerPlan plan = planServer(options);
    if (!plan.error.empty()) {
        std::fprintf(stderr, "vx37d: %s\n", plan.error.c_str());
        return 2;
    }

    QCoreApplication app(argc, argv);
    // The serial device's lock names its holder by this: "vx37d (pid 1234)".
    QCoreApplication::setApplicationName(QStringLiteral("vx37d"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VX37_VERSION));
    const int signalPipe = catchEndingSignals();

    QElapsedTimer clock;
    clock.start();
    const ProjectorLine::Clock now = [&clock] { return clock.elapsed(); };
    const std::unique_ptr<AnyPortControl> port = projectorPort(options.port, options.baud);
    QtIntervalTimer exchangeTimer(0);
    QtIntervalTimer deadlineTimer(0);
    QtIntervalTimer pollTimer(options.pollSeconds * 1000);
    QtIntervalTimer sweepTimer(Server::kSweepMs);
    QtIntervalTimer shareSweepTimer(share::ShareServer::kSweepMs);
    QtIntervalTimer httpSweepTimer(http::HttpLimits::kSweepMs);
    ProjectorLine line(*port, exchangeTimer, deadlineTimer, pollTimer, now, options.pollSeconds * 1000,
                       Bridge::polledQueries());
    // What changes slowly is read at a slower pace: lamp hours, temperatures, air pressure.
    line.pollAlso({"CR3", "CR6", "CR PRESSURE"}, kSlowPollMs);
    Bridge bridge(line,
                  {options.name.value_or(hostName()), options.manufacturer, options.product,
                   options.info.value_or("vx37d " VX37_VERSION)},
                  now);
    Server server(bridge, plan.password, options.maxConnections, options.maxPerAddress, sweepTimer,
                  now);
    const QString portName = QString::fromLocal8Bit(options.port);
    QObject::connect(&line, &ProjectorLine::note, &app,
                     [&portName](const QString& text, bool fault) {
                         logLine(portName + QStringLiteral(": ") + text, fault);
                     });
    share::ShareServer shared(line, options.maxConnections, options.maxPerAddress,
                              shareSweepTimer, now);
    QObject::connect(&server, &Server::logged, &app, logLine);
    QObject::connect(&shared, &share::ShareServer::logged, &app, logLine);
    QObject::connect(port.get(), &AnyPortControl::connected, &line, &ProjectorLine::lineOpened);
    QObject::connect(port.get(), &AnyPortControl::notice, &app, [&portName](const QString& text) {
        logLine(portName + QStringLiteral(": ") + text, true);
    });

    if (plan.pjlink && !server.listen(*plan.pjlink)) {
        logLine(QStringLiteral("cannot listen on %1: %2; choose another --pjlink address or port")
                    .arg(plan.pjlink->text(), server.errorString()),
                true);
        return 1;
    }
    if (plan.pjlink)
        logLine(QStringLiteral("PJLink class 1 on %1, %2")
                    .arg(server.address().text(), plan.password.empty()
                                                      ? QStringLiteral("no password")
                                                      : QStringLiteral("with a password")),
                false);
    if (plan.share && !shared.listen(*plan.share)) {
        logLine(QStringLiteral("cannot listen on %1: %2; choose another --share address or port")
                    .arg(plan.share->text(), shared.errorString()),
                true);
        return 1;
    }
    if (plan.share) {
        logLine(QStringLiteral("shared line on %1").arg(shared.address().text()), false);
        // The projector's protocol has no password: anyone who reaches the port drives it.
        if (!plan.share->address.isLoopback())
            logLine(QStringLiteral("the shared line listens beyond loopback, on %1: anyone on "
                                   "that network can drive the projector, as the projector's "
                                   "protocol has no password")
                        .arg(shared.address().text()),
                    true);
    }
    http::HttpLimits httpLimits;
    httpLimits.maxConnections = options.maxConnections;
    httpLimits.maxPerAddress = options.maxPerAddress * http::kConnectionsPerBrowser;
    web::SessionHost pages(line, portName, httpLimits.maxSessions);
    QObject::connect(&pages, &web::SessionHost::logged, &app, logLine);
    http::HttpFrontEnd web(line, pages, plan.password, httpLimits, httpSweepTimer, now);
    QObject::connect(&web, &http::HttpFrontEnd::logged, &app, logLine);
    if (plan.http && !web.listen(*plan.http, QString::fromStdString(options.tlsCert),
                                 QString::fromStdString(options.tlsKey))) {
        logLine(web.tlsFault()
                    ? QStringLiteral("HTTPS: %1 (--tls-cert, --tls-key)").arg(web.errorString())
                    : QStringLiteral("cannot listen on %1: %2; choose another --http address "
                                     "or port")
                          .arg(plan.http->text(), web.errorString()),
                true);
        return 1;
    }
    if (plan.http) {
        logLine(QStringLiteral("web panel on %1").arg(web.pageUrl()), false);
        if (!plan.http->address.isLoopback() && options.tlsCert.empty() && !plan.password.empty())
            logLine(QStringLiteral("the web panel listens beyond loopback without TLS: its "
                                   "password crosses the network in the clear (--tls-cert, "
                                   "--tls-key)"),
                    true);
    }
    std::unique_ptr<mqtt::MqttService> mqttService;
    if (plan.mqtt) {
        mqttService = std::make_unique<mqtt::MqttService>(
            line, plan, options.mqttCa,
            mqtt::Device{options.name.value_or(hostName()), options.manufacturer, VX37_VERSION},
            now);
        QObject::connect(&mqttService->client(), &mqtt::MqttClient::logged, &app, logLine);
        logLine(QStringLiteral("MQTT to ") + mqttService->where(), false);
        mqttService->start();
    }
    logLine(QStringLiteral("the projector on %1 at %2 baud").arg(portName).arg(options.baud),
            false);
    line.start();

    std::unique_ptr<QSocketNotifier> signalled;
    if (signalPipe >= 0) {
        signalled = std::make_unique<QSocketNotifier>(signalPipe, QSocketNotifier::Read);
        QObject::connect(signalled.get(), &QSocketNotifier::activated, &app, [signalPipe] {
            if (const int caught = takeEndingSignal(signalPipe)) {
                logLine(QStringLiteral("ending on SIG") + QString::fromLatin1(sigabbrev_np(caught)),
                        false);
                QCoreApplication::quit();
            }
        });
    }
    app.exec();
    port->close();
    return 0;
}
