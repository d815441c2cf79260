#include "live_panel.h"
#include "ser2net_process.h"
#include "sim_process.h"

#include "test_registry.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTest>

#include <sys/socket.h>
#include <unistd.h>

#include <netinet/in.h>

using namespace vx37;
using namespace vx37::testing;

namespace {

constexpr int kBound = 5000; // generous: these check behaviour, the benchmark checks speed

// A listener on 127.0.0.1 that never answers: its queue of connections not yet accepted
// (room for one) is filled by a connection of its own, so the kernel drops every further
// connection request and the client waits.
class SilentListener
{
public:
    SilentListener()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        const auto* any = reinterpret_cast<sockaddr*>(&address);
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        filler_ = ::socket(AF_INET, SOCK_STREAM, 0);
        listening_ = ::bind(listener_, any, size) == 0 && ::listen(listener_, 0) == 0 &&
                     ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) == 0 &&
                     ::connect(filler_, any, size) == 0;
        port_ = ntohs(address.sin_port);
    }
    ~SilentListener()
    {
        ::close(filler_);
        ::close(listener_);
    }
    bool isListening() const { return listening_; }
    QString socketName() const { return QStringLiteral("socket://127.0.0.1:%1").arg(port_); }

private:
    int listener_ = -1;
    int filler_ = -1;
    quint16 port_ = 0;
    bool listening_ = false;
};

} // namespace

class NetworkPortE2ETest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ser2net")).isEmpty())
            QSKIP("ser2net is not installed (Debian package ser2net; scripts/install-deps)");
    }

    void aButtonAndAStatusQueryThroughRawTcp()
    {
        SimProcess sim;
        QVERIFY2(sim.isServing(), qPrintable(sim.transcript()));
        Ser2netProcess server(sim.link(), 19200);
        QVERIFY(server.start());
        LivePanel live(server.socketName());
        QTRY_VERIFY_WITH_TIMEOUT(live.comm.deviceConnected(), kBound);

        live.click("Command17"); // ON
        QTRY_COMPARE_WITH_TIMEOUT(live.rxd(), QStringLiteral(" ACK CR "), kBound);
        QTRY_VERIFY_WITH_TIMEOUT(!live.timer2.isActive(), kBound);
        live.click("Command44"); // STATUS
        QTRY_COMPARE_WITH_TIMEOUT(live.status(), QStringLiteral(" Count down"), kBound);
        QCOMPARE(live.warnings.count(), 0);
    }

    // The projector at 9600 and the device server set to 19200: only the panel's own
    // "9600", sent over the COM-PORT-OPTION, gives a clean reply.
    void theSpeedChoiceReachesTheFarLineThroughRfc2217()
    {
        SimProcess sim("--baud 9600");
        QVERIFY2(sim.isServing(), qPrintable(sim.transcript()));
        Ser2netProcess server(sim.link(), 19200);
        QVERIFY(server.start());
        LivePanel live(server.rfc2217Name());
        QTRY_VERIFY_WITH_TIMEOUT(live.comm.deviceConnected(), kBound);

        live.panel.Option10_Click(); // 9600
        live.click("Command44");
        QTRY_COMPARE_WITH_TIMEOUT(live.status(), QStringLiteral(" Stand by"), kBound);
        QCOMPARE(live.rxd(), QStringLiteral(" 8 0 CR "));
        QCOMPARE(sim.linesWith(QStringLiteral("port is at 9600 baud")), 1);
        QCOMPARE(sim.linesWith(QStringLiteral("garbled")), 0);
        QCOMPARE(live.warnings.count(), 0);
    }

    void aRefusedConnectionIsReportedOnceWithWhatToDo()
    {
        const QString name =
            QStringLiteral("socket://127.0.0.1:%1").arg(Ser2netProcess::freePort());
        LivePanel live(name);
        QTRY_COMPARE_WITH_TIMEOUT(live.warnings.count(), 1, kBound);
        const QString text = live.warnings.first().first().toString();
        QVERIFY2(text.startsWith(QStringLiteral("COM1: ") + name.mid(9) +
                                 QStringLiteral(" refused the connection")),
                 qPrintable(text));
        // The panel goes on trying, quietly.
        QTest::qWait(NetworkSerialControl::kFirstRetryMs * 3);
        QCOMPARE(live.warnings.count(), 1);
        QVERIFY(live.comm.isOpen());
    }

    void aListenerThatNeverAnswersTimesOutAndTheLoopKeepsBeating()
    {
        SilentListener silent;
        QVERIFY(silent.isListening());
        QElapsedTimer sinceBeat;
        qint64 longestGap = 0;
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        connect(&heartbeat, &QTimer::timeout, this,
                [&] { longestGap = std::max(longestGap, sinceBeat.restart()); });
        sinceBeat.start();
        heartbeat.start(10);

        QElapsedTimer opening;
        opening.start();
        LivePanel live(silent.socketName());
        QVERIFY(!live.comm.deviceConnected());
        live.click("Command17"); // nothing is written while connecting; the time-out marks it
        QTRY_COMPARE_WITH_TIMEOUT(live.warnings.count(), 1, kNetworkConnectTimeoutMs + kBound);
        QVERIFY2(opening.elapsed() >= kNetworkConnectTimeoutMs - 100,
                 qPrintable(QString::number(opening.elapsed())));
        QVERIFY2(live.warnings.first().first().toString().contains(
                     QStringLiteral("did not answer within 3 seconds")),
                 qPrintable(live.warnings.first().first().toString()));
        QCOMPARE(live.rxd(), QString());
        QVERIFY2(longestGap < 500,
                 qPrintable(QStringLiteral("%1 ms between beats").arg(longestGap)));
    }

    void aDeviceServerKilledDuringAHeldRepeatIsReportedOnceAndReconnected()
    {
        SimProcess sim;
        QVERIFY2(sim.isServing(), qPrintable(sim.transcript()));
        Ser2netProcess server(sim.link(), 19200);
        QVERIFY(server.start());
        LivePanel live(server.socketName());
        QTRY_VERIFY_WITH_TIMEOUT(live.comm.deviceConnected(), kBound);

        const auto frames = [&] { return sim.linesWith(QStringLiteral("PC>VX37")); };
        // The panel's warning box is modal: while it shows, the device server comes back
        // and the line is connected again, and closing it leaves the line up.
        connect(&live.panel, &Panel::warning, this, [&] {
            QVERIFY(server.start());
            QTRY_VERIFY_WITH_TIMEOUT(live.comm.deviceConnected(),
                                     NetworkSerialControl::kLongestRetryMs + kBound);
        });
        live.press("Command1"); // VOL +, every 250 ms
        QTRY_VERIFY_WITH_TIMEOUT(frames() >= 2, kBound);
        server.kill();
        QTRY_COMPARE_WITH_TIMEOUT(live.warnings.count(), 1, kBound);
        QVERIFY2(live.warnings.first().first().toString().contains(
                     QStringLiteral("closed the connection")),
                 qPrintable(live.warnings.first().first().toString()));
        QVERIFY(live.comm.deviceConnected());
        const int before = frames();
        QTRY_VERIFY_WITH_TIMEOUT(frames() >= before + 2, kBound);
        live.release("Command1");
        QCOMPARE(live.warnings.count(), 1);
    }
};

VX37_TEST(NetworkPortE2ETest)
#include "test_network_live.moc"
