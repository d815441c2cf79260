// Figures of vx37d's shared line against vx37-sim over a pseudo-terminal:
// - "↑" held at a 5 ms repeat through the shared line: every frame answered, none lost
//   (frames sent, replies back, frames the simulator read);
// - 4 shared-line clients asking back to back beside 50 PJLink clients asking POWR ?:
//   PJLink p99 within 2 s, and no reply that answers another frame.

#include "bench_support.h"
#include "replies/reply_forms.h"
#include "sim_process.h"
#include "vx37d_process.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace vx37::bench {

namespace {

const QStringList kShared{"--max-connections", "64", "--max-per-address", "64"};

std::unique_ptr<QTcpSocket> sharedClient(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    if (!socket->waitForConnected(5000))
        return nullptr;
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return socket;
}

// Calls `reply` with each reply that comes, CR included.
void onReplies(QTcpSocket& socket, std::function<void(const QByteArray&)> reply)
{
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&socket, reply] {
        while (socket.peek(1024).contains('\r'))
            reply(socket.read(socket.peek(1024).indexOf('\r') + 1));
    });
}

void runFor(const QElapsedTimer& since, int ms, const std::function<bool()>& done = {})
{
    while (!since.hasExpired(ms) && !(done && done()))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

bool heldArrow(int seconds)
{
    SimProcess sim("--power on");
    Bridge daemon(sim.link(), kShared);
    const auto socket = daemon.sharePort() ? sharedClient(daemon.sharePort()) : nullptr;
    if (!sim.isServing() || !socket)
        return false;
    const std::string code(testing::tableButton("Command5").code); // ↑
    const QByteArray frame = QByteArray::fromStdString(code) + '\r';
    int sent = 0;
    int acknowledged = 0;
    int other = 0;
    onReplies(*socket,
              [&](const QByteArray& reply) { ++(reply == "\x06\r" ? acknowledged : other); });
    QTimer repeat;
    repeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&repeat, &QTimer::timeout, [&] {
        socket->write(frame);
        ++sent;
    });
    QElapsedTimer running;
    running.start();
    repeat.start(5);
    runFor(running, seconds * 1000);
    repeat.stop();
    const double sending = msSince(running);
    QElapsedTimer draining;
    draining.start();
    runFor(draining, 10000, [&] { return acknowledged + other >= sent; });
    const double drained = msSince(draining);
    runFor(draining, static_cast<int>(drained) + 300); // the simulator's transcript
    QString transcriptCode;
    for (const char c : code)
        transcriptCode += QString(QLatin1Char(c)) + QLatin1Char(' ');
    const int seen = sim.linesWith(QStringLiteral("PC>VX37  ") + transcriptCode + "CR");
    std::printf("\n\"↑\" (%s) held at 5 ms through the shared line for %.1f s:\n"
                "    %d frames sent (%.0f a second), %d acknowledged, %d other replies, %d read "
                "by the simulator; the last reply %.0f ms after the last frame sent\n"
                "    (target: every frame answered, none lost: %s)\n",
                code.c_str(), sending / 1000, sent, sent * 1000 / sending, acknowledged, other,
                seen, drained, verdict(acknowledged == sent && seen == sent && other == 0));
    return sent > 0;
}

bool busyMix(int seconds)
{
    SimProcess sim("--quiet --power on");
    Bridge daemon(sim.link(), kShared);
    if (!sim.isServing() || !daemon.sharePort())
        return false;
    QElapsedTimer running;
    running.start();
    int foreign = 0;
    int sharedReplies = 0;
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (const char* code : {"CR0", "CR1", "CR3", "CR6"}) {
        auto socket = sharedClient(daemon.sharePort());
        if (!socket)
            return false;
        QTcpSocket* s = socket.get();
        onReplies(*s, [&, s, code](const QByteArray& reply) {
            ++sharedReplies;
            foreign += !isAnswerTo(code, reply.toStdString());
            if (!running.hasExpired(seconds * 1000))
                s->write(QByteArray(code) + '\r');
        });
        s->write(QByteArray(code) + '\r');
        sockets.push_back(std::move(socket));
    }
    std::vector<double> pjlink;
    const QRegularExpression powr(QStringLiteral("^%1POWR=[0-3]\r$"));
    for (int i = 0; i < 50; ++i) {
        auto socket = client(daemon.port());
        if (!socket)
            return false;
        QTcpSocket* s = socket.get();
        auto sent = std::make_shared<QElapsedTimer>();
        onReplies(*s, [&, s, sent](const QByteArray& reply) {
            pjlink.push_back(msSince(*sent));
            foreign += !powr.match(QString::fromLatin1(reply)).hasMatch();
            if (!running.hasExpired(seconds * 1000)) {
                sent->start();
                s->write("%1POWR ?\r");
            }
        });
        sent->start();
        s->write("%1POWR ?\r");
        sockets.push_back(std::move(socket));
    }
    runFor(running, seconds * 1000 + 3000);
    for (const auto& socket : sockets)
        socket->disconnect();
    const double p99 = percentile(pjlink, 0.99);
    std::printf("\n4 shared-line clients (CR0, CR1, CR3, CR6 back to back) beside 50 PJLink "
                "clients (POWR ? back to back), %d s:\n"
                "    %d shared-line replies, %zu PJLink answers; PJLink median %.3f ms, 99th "
                "percentile %.3f ms (target 2 s: %s)\n"
                "    replies not of their own frame's form: %d (target 0: %s)\n",
                seconds, sharedReplies, pjlink.size(), median(pjlink), p99, verdict(p99 <= 2000),
                foreign, verdict(foreign == 0));
    return sharedReplies > 0 && !pjlink.empty();
}

} // namespace

bool shareFigures(bool quick)
{
    std::printf("\nthe shared line (the projector's own protocol on loopback)\n");
    return heldArrow(quick ? 2 : 5) && busyMix(quick ? 4 : 10);
}

} // namespace vx37::bench
