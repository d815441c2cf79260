#include "pjlink_rig.h"

#include "test_registry.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <sys/socket.h>

using namespace vx37;
using namespace vx37::pjlink;

namespace {

// The server's next line, without its CR; "closed" once it has closed the connection.
QByteArray nextLine(QTcpSocket& socket)
{
    const auto hasLine = [&socket] { return socket.peek(1024).contains('\r'); };
    if (!QTest::qWaitFor(
            [&] { return hasLine() || socket.state() == QAbstractSocket::UnconnectedState; }, 5000))
        return "nothing";
    if (!hasLine())
        return "closed";
    const QByteArray line = socket.readLine(1024);
    return line.left(line.indexOf('\r'));
}

std::unique_ptr<QTcpSocket> connected(const PjlinkRig& rig)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, rig.server.address().port);
    // Connected before the server sees it: a Qt client reset while still connecting
    // would not notice.
    socket->waitForConnected(5000);
    return socket;
}

// What the first command carries before it, after this greeting.
QByteArray digestFor(const QByteArray& greeting)
{
    if (!greeting.startsWith("PJLINK 1 "))
        return {};
    return QByteArray::fromStdString(authDigest(greeting.mid(9).toStdString(), "secret"));
}

// Plays a projector that is on, answering each frame of the line, for `ms` of virtual time.
void playOn(PjlinkRig& rig, std::int64_t ms)
{
    std::size_t answered = rig.port.writes().size();
    constexpr int kStepMs = 50;
    for (std::int64_t t = 0; t < ms; t += kStepMs) {
        rig.clock.advance(kStepMs);
        while (answered < rig.port.writes().size())
            rig.port.receive(rig.port.writes()[answered++] == "CR1\r" ? "1\r" : "00\r");
    }
}

} // namespace

// The server over loopback, its line in memory and its clock virtual.
class ServerTest : public QObject
{
    Q_OBJECT

private slots:
    // What a client sends after the greeting and what comes back; a client connected
    // before it is answered all the same, and the log holds no digest.
    void clients_data()
    {
        QTest::addColumn<bool>("password");
        QTest::addColumn<QByteArray>("sent"); // "<digest>": the right one
        QTest::addColumn<QByteArrayList>("received");
        const QByteArray longest = "%1NAME " + QByteArray(128, 'x') + '\r';
        QTest::newRow("136 bytes") << false << longest << QByteArrayList{"%1NAME=ERR2"};
        QTest::newRow("137 bytes")
            << false << "%1NAME x" + longest.mid(7) << QByteArrayList{"closed"};
        QTest::newRow("CR LF, two commands") << false << QByteArray("%1CLSS ?\r\n%1INF2 ?\r\n")
                                             << QByteArrayList{"%1CLSS=1", "%1INF2=VX37"};
        QTest::newRow("binary garbage")
            << false << QByteArray("\x01\xfe\x80\x00zz\r", 7) << QByteArrayList{"closed"};
        QTest::newRow("a body not of letters")
            << false << QByteArray("%1PO\0R ?\r", 9) << QByteArrayList{"closed"};
        QTest::newRow("half a line") << false << QByteArray("%1POW") << QByteArrayList{};
        QTest::newRow("digest and 136 bytes")
            << true << "<digest>" + longest << QByteArrayList{"%1NAME=ERR2"};
        QTest::newRow("digest on the first command only")
            << true << QByteArray("<digest>%1CLSS ?\r%1CLSS ?\r")
            << QByteArrayList{"%1CLSS=1", "%1CLSS=1"};
        QTest::newRow("wrong digest")
            << true << QByteArray("5d8409bc1c3fa39749434aa3a5c38682%1CLSS ?\r")
            << QByteArrayList{"PJLINK ERRA", "closed"};
        QTest::newRow("no digest")
            << true << QByteArray("%1CLSS ?\r") << QByteArrayList{"PJLINK ERRA", "closed"};
    }

    void clients()
    {
        QFETCH(bool, password);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArrayList, received);
        PjlinkRig rig(password ? "secret" : "");
        QSignalSpy logged(&rig.server, &Server::logged);
        QVERIFY(rig.server.listen({QHostAddress::LocalHost, 0}));
        const auto bystander = connected(rig);
        const auto client = connected(rig);
        const QByteArray bystanderGreeting = nextLine(*bystander);
        const QByteArray greeting = nextLine(*client);
        const QRegularExpression expected(password ? "^PJLINK 1 [0-9a-f]{8}$" : "^PJLINK 0$");
        QVERIFY2(expected.match(QString::fromLatin1(greeting)).hasMatch(), greeting);
        QVERIFY(!password || greeting != bystanderGreeting);
        client->write(QByteArray(sent).replace("<digest>", digestFor(greeting)));
        for (const QByteArray& line : received)
            QCOMPARE(nextLine(*client), line);
        bystander->write(digestFor(bystanderGreeting) + "%1CLSS ?\r");
        QCOMPARE(nextLine(*bystander), "%1CLSS=1");
        for (const QList<QVariant>& line : logged)
            QVERIFY(!password ||
                    !line.at(0).toString().contains(QLatin1String(digestFor(greeting))));
    }

    // A client is closed 10 s after its greeting without a command, 30 s after its last.
    void idleClose()
    {
        PjlinkRig rig;
        QVERIFY(rig.server.listen({QHostAddress::LocalHost, 0}));
        const auto client = connected(rig);
        const auto silent = connected(rig);
        QCOMPARE(nextLine(*client), "PJLINK 0");
        QCOMPARE(nextLine(*silent), "PJLINK 0");
        rig.clock.advance(Server::kLoginMs - Server::kSweepMs);
        client->write("%1CLSS ?\r");
        QCOMPARE(nextLine(*client), "%1CLSS=1");
        rig.clock.advance(2 * Server::kSweepMs);
        QCOMPARE(nextLine(*silent), "closed");
        rig.clock.advance(Server::kIdleMs - 3 * Server::kSweepMs);
        QVERIFY(
            !QTest::qWaitFor([&] { return client->state() != QTcpSocket::ConnectedState; }, 100));
        rig.clock.advance(Server::kSweepMs);
        QCOMPARE(nextLine(*client), "closed");
    }

    void connectionCap_data()
    {
        QTest::addColumn<int>("most");
        QTest::addColumn<int>("perAddress");
        QTest::newRow("in all") << 2 << 64;
        QTest::newRow("from one address") << 64 << 2;
    }

    // One client too many is reset; one that reads none of its answers is closed at last,
    // and counts no more while it is.
    void connectionCap()
    {
        QFETCH(int, most);
        QFETCH(int, perAddress);
        PjlinkRig rig({}, most, perAddress);
        QVERIFY(rig.server.listen({QHostAddress::LocalHost, 0}));
        const auto first = connected(rig);
        const auto second = connected(rig);
        QCOMPARE(nextLine(*first), "PJLINK 0");
        QCOMPARE(nextLine(*second), "PJLINK 0");
        QCOMPARE(nextLine(*connected(rig)), "closed");
        second->write("%1CLSS ?\r");
        QCOMPARE(nextLine(*second), "%1CLSS=1");

        first->setReadBufferSize(16);
        first->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1024);
        for (int i = 0; i < 10000; ++i)
            first->write("%1INF2 ?\r");
        QTest::qWait(200); // for the answers to fill what lies between
        playOn(rig, Server::kIdleMs);
        QVERIFY(!QTest::qWaitFor([&] { return rig.server.closingCount() == 0; }, 100));
        QCOMPARE(nextLine(*connected(rig)), "PJLINK 0");
        rig.clock.advance(Server::kClosingMs + Server::kSweepMs);
        QCOMPARE(rig.server.closingCount(), 0);
    }

    // A client that shuts its sending side gets the answer to what it sent, then the close.
    void halfClose()
    {
        PjlinkRig rig;
        QVERIFY(rig.server.listen({QHostAddress::LocalHost, 0}));
        const auto client = connected(rig);
        QCOMPARE(nextLine(*client), "PJLINK 0");
        client->write("%1POWR ?\r");
        client->flush();
        ::shutdown(static_cast<int>(client->socketDescriptor()), SHUT_WR);
        QTRY_COMPARE(rig.port.written(), "CR0\r");
        QTest::qWait(100); // for the server to see the end of what the client sends
        rig.port.receive("00\r");
        QCOMPARE(nextLine(*client), "%1POWR=1");
        QCOMPARE(nextLine(*client), "closed");
    }

    // While the projector does not answer, new clients are reset before any greeting, and
    // the log tells of the first few only; once it answers, they are served.
    void deadLine()
    {
        PjlinkRig rig;
        QSignalSpy logged(&rig.server, &Server::logged);
        QVERIFY(rig.server.listen({QHostAddress::LocalHost, 0}));
        for (int i = 0; i < 20 && rig.line.isUp(); ++i)
            rig.clock.advance(ProjectorLine::kProbeMs);
        for (int i = 0; i < LogLimiter::kBurst + 2; ++i)
            QCOMPARE(nextLine(*connected(rig)), "closed");
        QCOMPARE(logged.size(), LogLimiter::kBurst);
        rig.clock.advance(LogLimiter::kWindowMs);
        QCOMPARE(logged.size(), LogLimiter::kBurst + 1);
        playOn(rig, 2 * ProjectorLine::kProbeMs);
        QCOMPARE(nextLine(*connected(rig)), "PJLINK 0");
    }

    // After a wrong digest, the next connection from that address is greeted after a wait.
    void wrongDigestWait()
    {
        PjlinkRig rig("secret");
        QVERIFY(rig.server.listen({QHostAddress::LocalHost, 0}));
        const auto guesser = connected(rig);
        QVERIFY(nextLine(*guesser).startsWith("PJLINK 1"));
        guesser->write(QByteArray(32, '0') + "%1CLSS ?\r");
        QCOMPARE(nextLine(*guesser), "PJLINK ERRA");
        const auto next = connected(rig);
        QVERIFY(!QTest::qWaitFor([&] { return next->bytesAvailable() > 0; }, 200));
        rig.clock.advance(LoginPenalties::kFirstMs + Server::kSweepMs);
        QVERIFY(nextLine(*next).startsWith("PJLINK 1"));
    }

    // The wait doubles with each wrong digest; of too many addresses, the one due soonest
    // is forgotten.
    void loginPenalties()
    {
        LoginPenalties penalties;
        for (int i = 0; i < 3; ++i)
            penalties.failed("x", 0);
        for (std::size_t i = 0; i < LoginPenalties::kMostAddresses; ++i)
            penalties.failed(QString::number(i), 1);
        QCOMPARE(penalties.greetAt("x", 0), 4 * LoginPenalties::kFirstMs);
        QCOMPARE(penalties.greetAt("0", 0), 0);
        QCOMPARE(penalties.greetAt("1", 0), 1 + LoginPenalties::kFirstMs);
    }

    // Fifty clients ask at once: one frame on the line answers them all.
    void fiftyClients()
    {
        PjlinkRig rig;
        QVERIFY(rig.server.listen({QHostAddress::LocalHost, 0}));
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < 50; ++i)
            clients.push_back(connected(rig));
        for (const auto& client : clients) {
            QCOMPARE(nextLine(*client), "PJLINK 0");
            client->write("%1POWR ?\r");
        }
        QTRY_COMPARE(rig.port.written(), "CR0\r");
        rig.port.receive("00\r");
        for (const auto& client : clients)
            QCOMPARE(nextLine(*client), "%1POWR=1");
        QCOMPARE(rig.port.written(), "CR0\r");
    }
};

VX37_TEST(ServerTest)
#include "test_server.moc"
