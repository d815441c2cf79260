#include "pjlink_rig.h"

#include "test_registry.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>

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
    return socket;
}

// What the first command carries before it, after this greeting.
QByteArray digestFor(const QByteArray& greeting)
{
    if (!greeting.startsWith("PJLINK 1 "))
        return {};
    return QByteArray::fromStdString(authDigest(greeting.mid(9).toStdString(), "secret"));
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

    void idleClose()
    {
        PjlinkRig rig;
        QVERIFY(rig.server.listen({QHostAddress::LocalHost, 0}));
        const auto client = connected(rig);
        QCOMPARE(nextLine(*client), "PJLINK 0");
        rig.clock.advance(Server::kIdleMs - Server::kSweepMs);
        client->write("%1CLSS ?\r");
        QCOMPARE(nextLine(*client), "%1CLSS=1");
        rig.clock.advance(Server::kIdleMs - Server::kSweepMs);
        QVERIFY(
            !QTest::qWaitFor([&] { return client->state() != QTcpSocket::ConnectedState; }, 100));
        rig.clock.advance(Server::kSweepMs);
        QCOMPARE(nextLine(*client), "closed");
    }

    void connectionCap()
    {
        PjlinkRig rig({}, 2);
        QVERIFY(rig.server.listen({QHostAddress::LocalHost, 0}));
        const auto first = connected(rig);
        const auto second = connected(rig);
        QCOMPARE(nextLine(*first), "PJLINK 0");
        QCOMPARE(nextLine(*second), "PJLINK 0");
        const auto third = connected(rig);
        QCOMPARE(nextLine(*third), "closed");
        second->write("%1CLSS ?\r");
        QCOMPARE(nextLine(*second), "%1CLSS=1");
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
