#include "live_panel.h"
#include "ser2net_process.h"
#include "sim_process.h"

#include "test_registry.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace vx37;
using namespace vx37::testing;

namespace {

constexpr int kBound = 5000; // generous: these check behaviour, the benchmark checks speed

QString firstWarning(const LivePanel& live)
{
    return live.warnings.isEmpty() ? QString() : live.warnings.first().first().toString();
}

} // namespace

class NetworkPortE2ETest : public QObject
{
    Q_OBJECT

private slots:
    // Over RFC 2217 the projector runs at 9600 behind a device server set to 19200: only
    // the panel's own "9600", sent over the COM-PORT-OPTION, gives clean replies.
    void aButtonAndAStatusQueryRoundTrip_data()
    {
        QTest::addColumn<QString>("simOptions");
        QTest::addColumn<bool>("rfc2217");
        QTest::newRow("socket://") << "" << false;
        QTest::newRow("rfc2217:// choosing 9600") << "--baud 9600" << true;
    }

    void aButtonAndAStatusQueryRoundTrip()
    {
        QFETCH(QString, simOptions);
        QFETCH(bool, rfc2217);
        SimProcess sim(qPrintable(simOptions));
        Ser2netProcess server(sim.link(), 19200); // sets the line to 19200 as a client connects
        QVERIFY2(sim.isServing() && server.start(),
                 "no vx37-sim or ser2net (scripts/install-deps)");
        LivePanel live(rfc2217 ? server.rfc2217Name() : server.socketName());
        for (int click = 0; click < 5; ++click)
            live.click("Command17"); // while connecting: nothing is written, nor kept for later
        QTRY_VERIFY_WITH_TIMEOUT(live.comm.deviceConnected(), kBound);
        if (rfc2217)
            live.panel.Option10_Click(); // 9600

        live.click("Command17"); // ON
        QTRY_COMPARE_WITH_TIMEOUT(live.rxd(), QStringLiteral(" ACK CR "), kBound);
        QTRY_VERIFY_WITH_TIMEOUT(!live.timer2.isActive(), kBound);
        live.click("Command44"); // STATUS
        QTRY_COMPARE_WITH_TIMEOUT(live.status(), QStringLiteral(" Count down"), kBound);
        QCOMPARE(sim.linesWith(QStringLiteral("PC>VX37  C 0 0 CR")), 1);
        QCOMPARE(sim.linesWith(QStringLiteral("garbled")), 0);
        QCOMPARE(live.warnings.count(), 0);
    }

    // One warning with the reason, after the connect time-out at the latest, while the
    // window's 10 ms heartbeat goes on; then the panel tries again, quietly.
    void aFailedConnectionIsReportedOnceWithItsReason_data()
    {
        QTest::addColumn<bool>("silent"); // a listener that never answers; else nothing listens
        QTest::addColumn<QString>("reason");
        QTest::newRow("refused") << false << "refused the connection";
        QTest::newRow("never answered") << true << "did not answer within 3 seconds";
    }

    void aFailedConnectionIsReportedOnceWithItsReason()
    {
        QFETCH(bool, silent);
        QFETCH(QString, reason);
        // A listener that never answers: its queue of connections not yet accepted (room
        // for one) is full, so the kernel drops every further connection request.
        QTcpServer listener;
        listener.setListenBacklogSize(0);
        listener.listen(QHostAddress::LocalHost);
        listener.pauseAccepting();
        QTcpSocket filler;
        filler.connectToHost(QHostAddress::LocalHost, listener.serverPort());
        QVERIFY(filler.waitForConnected(kBound));
        const quint16 port = silent ? listener.serverPort() : Ser2netProcess::freePort();
        QElapsedTimer sinceBeat;
        qint64 longestGap = 0;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, this,
                [&] { longestGap = std::max(longestGap, sinceBeat.restart()); });
        sinceBeat.start();
        heartbeat.start(10);

        QElapsedTimer opening;
        opening.start();
        LivePanel live(QStringLiteral("socket://127.0.0.1:%1").arg(port));
        QTRY_COMPARE_WITH_TIMEOUT(live.warnings.count(), 1, kNetworkConnectTimeoutMs + kBound);
        QVERIFY2(firstWarning(live).startsWith(
                     QStringLiteral("COM1: 127.0.0.1:%1 %2 (socket://").arg(port).arg(reason)),
                 qPrintable(firstWarning(live)));
        // A coarse timer may fire up to 5 % early.
        QVERIFY(opening.elapsed() >= (silent ? kNetworkConnectTimeoutMs * 9 / 10 : 0));
        QTest::qWait(NetworkSerialControl::kFirstRetryMs * 3);
        QCOMPARE(live.warnings.count(), 1);
        QVERIFY2(longestGap < 500,
                 qPrintable(QStringLiteral("%1 ms between beats").arg(longestGap)));
    }

    // ser2net serves one client per port and turns a second away with a few words.
    void aBusyDeviceServerIsAFailedConnectionInItsOwnWords()
    {
        SimProcess sim;
        Ser2netProcess server(sim.link(), 19200);
        QVERIFY2(sim.isServing() && server.start(),
                 "no vx37-sim or ser2net (scripts/install-deps)");
        LivePanel first(server.socketName());
        QTRY_VERIFY_WITH_TIMEOUT(first.comm.deviceConnected(), kBound);
        LivePanel second(server.socketName());
        QTRY_COMPARE_WITH_TIMEOUT(second.warnings.count(), 1, kBound);
        QVERIFY2(firstWarning(second).contains(QStringLiteral(" turned the connection away, saying "
                                                              "\"Port already in use\"")),
                 qPrintable(firstWarning(second)));
    }

    void aDeviceServerKilledDuringAHeldRepeatIsReportedOnceAndReconnected()
    {
        SimProcess sim;
        Ser2netProcess server(sim.link(), 19200);
        QVERIFY2(sim.isServing() && server.start(),
                 "no vx37-sim or ser2net (scripts/install-deps)");
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
        QVERIFY2(firstWarning(live).contains(QStringLiteral("closed the connection")),
                 qPrintable(firstWarning(live)));
        const int before = frames();
        QTRY_VERIFY_WITH_TIMEOUT(frames() >= before + 2, kBound);
        live.release("Command1");
        QCOMPARE(live.warnings.count(), 1);
    }
};

VX37_TEST(NetworkPortE2ETest)
#include "test_network_ports.moc"
