#include "pjlink_rig.h"
#include "share/share_server.h"
#include "sim_process.h"

#include "test_registry.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <sys/socket.h>

using namespace vx37;
using vx37::share::ShareServer;

namespace {

// The shared line on the rig's line; its projector answers each frame with the frame's
// last bytes and "!", or with replySize bytes.
struct ShareRig : PjlinkRig
{
    ShareServer share{line, 64, 64, clock.createTimer(0), now};
    std::size_t answered = 0;

    void play(int replySize = 0)
    {
        while (answered < port.writes().size()) {
            std::string body = port.writes()[answered++];
            body.erase(0, body.size() > 9 ? body.size() - 9 : 0).pop_back(); // its CR
            port.receive((replySize > 0 ? std::string(replySize, 'r') : body) + "!\r");
        }
    }
    std::unique_ptr<QTcpSocket> client()
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, share.address().port);
        socket->waitForConnected(5000);
        return socket;
    }
    // What the client has once it has `bytes`, or is closed, the projector playing meanwhile.
    QByteArray received(QTcpSocket& socket, qsizetype bytes)
    {
        const auto done = [&] { return socket.state() != QTcpSocket::ConnectedState; };
        (void)QTest::qWaitFor([&] { return play(), socket.bytesAvailable() >= bytes || done(); });
        return socket.bytesAvailable() > 0 ? socket.readAll() : "closed";
    }
};

} // namespace

class ShareTest : public QObject
{
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<bool>("shut"); // the client shuts its sending side after the frames
        const QByteArray longest(ShareServer::kLongestFrame, 'x');
        QTest::newRow("ten at once")
            << QByteArray("A1\rA2\rA3\rA4\rA5\rA6\rA7\rA8\rA9\rA10\r")
            << QByteArray("A1!\rA2!\rA3!\rA4!\rA5!\rA6!\rA7!\rA8!\rA9!\rA10!\r") << false;
        QTest::newRow("sending side shut")
            << QByteArray("A1\rA2\r") << QByteArray("A1!\rA2!\r") << true;
        QTest::newRow("LF and NUL in a frame")
            << QByteArray("B\n\0\r", 4) << QByteArray("B\n\0!\r", 5) << false;
        QTest::newRow("longest") << longest + '\r' << QByteArray("xxxxxxxx!\r") << false;
        QTest::newRow("one byte more") << longest + "x\r" << QByteArray("closed") << false;
    }

    // What a client sends comes back answered, frame by frame, while the first of another
    // client's waits on the line; that one's reply reaches it alone, first, and nothing
    // that came unasked reaches anyone. A frame too long closes its client, unseen.
    void frames()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, received);
        QFETCH(bool, shut);
        ShareRig rig;
        QVERIFY(rig.share.listen({QHostAddress::LocalHost, 0}));
        const auto other = rig.client();
        const auto client = rig.client();
        rig.port.receive("late\r");
        other->write("O1\rO2\r");
        QTRY_COMPARE(rig.port.writes().size(), 1u);
        client->write(sent);
        if (shut && client->flush())
            ::shutdown(static_cast<int>(client->socketDescriptor()), SHUT_WR);
        QTest::qWait(100); // for the client's first frame to reach the queue
        QCOMPARE(rig.received(*client, received.size()), received);
        QCOMPARE(rig.received(*other, 8), "O1!\rO2!\r");
        const bool closed = received == "closed";
        QCOMPARE(rig.port.writes().size(), std::size_t(sent.count('\r') + 2 - closed));
        QCOMPARE(rig.port.writes()[closed ? 1 : 2], "O2\r");
        QTRY_VERIFY(!shut || client->state() == QTcpSocket::UnconnectedState);
    }

    // A client that sends without reading stops being read, and is reset at last.
    void neverReads()
    {
        ShareRig rig;
        QVERIFY(rig.share.listen({QHostAddress::LocalHost, 0}));
        const auto client = rig.client();
        client->setReadBufferSize(16);
        client->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1024);
        for (int i = 0; i < 2000; ++i)
            client->write("CR0\r");
        for (int s = 0; s * ShareServer::kSweepMs <= ShareServer::kUnreadMs + 2000; ++s) {
            QTest::qWait(10);
            rig.play(400);
            rig.clock.advance(ShareServer::kSweepMs);
        }
        QCOMPARE(rig.share.connectionCount(), 0);
        QVERIFY2(rig.port.writes().size() < 500, std::to_string(rig.port.writes().size()).c_str());
    }

    // vx37-ctl through vx37d's shared line while a PJLink client polls.
    void beside_pjlink()
    {
        SimProcess sim("--power on");
        QVERIFY(sim.isServing());
        QProcess daemon;
        daemon.start(VX37D_PATH, {"--port", sim.link(), "--pjlink", "127.0.0.1:0", "--share",
                                  "127.0.0.1:0", "--http", "127.0.0.1:0", "--poll", "1"});
        QString log;
        const QRegularExpression ready(R"(PJLink class 1 on 127.0.0.1:(\d+)[\s\S]*shared line on )"
                                       R"(127.0.0.1:(\d+)[\s\S]*the projector answers)");
        QVERIFY(QTest::qWaitFor(
            [&] {
                log += QString::fromUtf8(daemon.readAllStandardError());
                return ready.match(log).hasMatch();
            },
            10000));
        const auto ports = ready.match(log);
        QTcpSocket pjlink;
        QByteArrayList answers;
        connect(&pjlink, &QTcpSocket::readyRead, [&] {
            while (pjlink.peek(64).contains('\r')) {
                answers << pjlink.read(pjlink.peek(64).indexOf('\r') + 1);
                pjlink.write("%1POWR ?\r");
            }
        });
        pjlink.connectToHost(QHostAddress::LocalHost, ports.captured(1).toUShort());
        QProcess ctl;
        ctl.start(VX37_CTL_PATH, {"--port", "socket://127.0.0.1:" + ports.captured(2), "status"});
        QVERIFY(QTest::qWaitFor([&] { return ctl.state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(ctl.readAllStandardOutput(), "Power ON\n");
        QVERIFY(answers.size() > 2);
        QCOMPARE(answers.count("%1POWR=1\r"), answers.size() - 1); // all but the greeting
        daemon.terminate();
        daemon.waitForFinished(5000);
    }
};

VX37_TEST(ShareTest)
#include "test_share.moc"
