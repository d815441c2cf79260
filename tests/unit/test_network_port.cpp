#include "link/network/network_port.h"
#include "link/network/network_serial_control.h"
#include "link/network/telnet_codec.h"

#include "ser2net_process.h"
#include "test_registry.h"

#include <QTcpServer>
#include <QTest>

#include <future>

using namespace vx37;

class NetworkPortNameTest : public QObject
{
    Q_OBJECT

private slots:
    // A good name reads back as its canonical name, a device path as "device"; a bad name
    // gives the start of its error.
    void readsTheTwoForms_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("read");
        QTest::addColumn<QString>("error");
        const auto row = [](const char* tag, const char* name, const char* read,
                            const char* error) { QTest::newRow(tag) << name << read << error; };
        row("raw TCP", "socket://127.0.0.1:4001", "socket://127.0.0.1:4001", "");
        row("RFC 2217 by name", "RFC2217://room-3.lan:2217", "rfc2217://room-3.lan:2217", "");
        row("IPv6 literal", "socket://[::1]:65535", "socket://[::1]:65535", "");
        row("device", "/dev/ttyUSB0", "device", "");
        row("no port", "socket://10.0.0.5", "",
            "\"socket://10.0.0.5\": the TCP port is missing; write it after the host, as in "
            "socket://10.0.0.5:4001");
        row("port 0", "socket://h:0", "", "\"socket://h:0\": \"0\" is not a TCP port; give");
        row("port 70000", "socket://h:70000", "", "\"socket://h:70000\": \"70000\" is not a");
        row("empty host", "socket://:4001", "", "\"socket://:4001\": the host is missing");
        row("unknown kind", "telnet://h:23", "", "\"telnet://h:23\": unknown kind of port");
        row("IPv6 without brackets", "socket://::1:4001", "", "\"socket://::1:4001\": an IPv6");
        row("garbage", "socket://a b;c:1", "", "\"socket://a b;c:1\": \"a b;c\" is not a host");
    }

    void readsTheTwoForms()
    {
        QFETCH(QString, name);
        QFETCH(QString, read);
        QFETCH(QString, error);
        QCOMPARE(isNetworkPortName(name), read != QLatin1String("device"));
        if (read == QLatin1String("device"))
            return;
        const ParsedNetworkPort parsed = parseNetworkPort(name);
        QCOMPARE(parsed.error.left(error.size()), error);
        QCOMPARE(parsed.error.isEmpty(), error.isEmpty());
        QCOMPARE(parsed.port ? parsed.port->name() : QString(), read);
    }
};

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    return QByteArray::fromStdString(std::string(values.begin(), values.end()));
}

constexpr int IAC = 255, SB = 250, SE = 240, NOP = 241, WILL = 251, WONT = 252, DO = 253,
              DONT = 254;
constexpr int BINARY = 0, ECHO = 1, SGA = 3, TTYPE = 24, COMPORT = 44;

} // namespace

class TelnetCodecTest : public QObject
{
    Q_OBJECT

private slots:
    // What the server sends after the client's start, split at every byte boundary: the
    // data the line gets, the client's answers, the COM-PORT-OPTION's state, and how often
    // the server answered a SET-BAUDRATE.
    void readsTheServer_data()
    {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<int>("comPort");
        QTest::addColumn<int>("speedAnswers");
        const int accepted = int(TelnetCodec::ComPort::Accepted);
        QTest::newRow("IAC doubled in the data")
            << bytes({'A', IAC, IAC, 'B', IAC, IAC, IAC, IAC}) << bytes({'A', IAC, 'B', IAC, IAC})
            << QByteArray() << 0 << 0;
        QTest::newRow("agreement, no answers")
            << bytes({IAC, DO, BINARY, IAC, DO, SGA, IAC, DO, COMPORT, IAC, WILL, BINARY, IAC, WILL,
                      SGA, '0', '\r'})
            << QByteArray("0\r") << QByteArray() << accepted << 0;
        QTest::newRow("COM-PORT-OPTION refused")
            << bytes({IAC, DONT, COMPORT}) << QByteArray() << QByteArray()
            << int(TelnetCodec::ComPort::Refused) << 0;
        QTest::newRow("echo and terminal type refused")
            << bytes({IAC, WILL, ECHO, IAC, DO, TTYPE, 'x'}) << QByteArray("x")
            << bytes({IAC, DONT, ECHO, IAC, WONT, TTYPE}) << 0 << 0;
        QTest::newRow("an agreed option switched off is acknowledged once")
            << bytes({IAC, DO, SGA, IAC, DONT, SGA, IAC, DONT, SGA}) << QByteArray()
            << bytes({IAC, WONT, SGA}) << 0 << 0;
        QTest::newRow("notifications dropped, an unterminated one at the next command")
            << bytes({IAC, SB,  COMPORT, 106, IAC,     IAC, IAC, SE, '1',     IAC,
                      NOP, '2', IAC,     SB,  COMPORT, 107, IAC, DO, COMPORT, '3'})
            << QByteArray("123") << QByteArray() << accepted << 0;
        QTest::newRow("the speed's answer counted, other answers not")
            << bytes({IAC, SB, COMPORT, 102, 8, IAC, SE, IAC, SB, COMPORT, 101, 0, 0, 0x25, 0x80,
                      IAC, SE, 'x'})
            << QByteArray("x") << QByteArray() << 0 << 1;
    }

    void readsTheServer()
    {
        QFETCH(QByteArray, server);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, answers);
        QFETCH(int, comPort);
        QFETCH(int, speedAnswers);
        for (qsizetype split = 0; split <= server.size(); ++split) {
            TelnetCodec codec;
            QCOMPARE(codec.start(), bytes({IAC, WILL, BINARY, IAC, WILL, SGA, IAC, WILL, COMPORT,
                                           IAC, DO, BINARY, IAC, DO, SGA}));
            QByteArray said;
            QByteArray got = codec.receive(server.left(split), said);
            got += codec.receive(server.mid(split), said);
            QCOMPARE(got, data);
            QCOMPARE(said, answers);
            QCOMPARE(int(codec.comPort()), comPort);
            QCOMPARE(codec.baudRateAnswers(), speedAnswers);
        }
    }

    void sendsDataAndLineSettingsWithIacDoubled()
    {
        QCOMPARE(TelnetCodec::escape(bytes({'C', IAC, '\r'})), bytes({'C', IAC, IAC, '\r'}));
        // 255 baud, even parity (3), 7 data bits, 1.5 stop bits (3).
        QCOMPARE(TelnetCodec::lineSettings(*parseLineSettings("255,E,7,1.5")),
                 bytes({IAC, SB,  COMPORT, 1,   0,  0,       0,  IAC, IAC, IAC,     SE,
                        IAC, SB,  COMPORT, 2,   7,  IAC,     SE, IAC, SB,  COMPORT, 3,
                        3,   IAC, SE,      IAC, SB, COMPORT, 4,  3,   IAC, SE}));
    }
};

// The control against peers on loopback that misbehave, each bounded in size and time.
class NetworkControlTest : public QObject
{
    Q_OBJECT

private slots:
    void aHostilePeerCostsLittleAndIsNamedForWhatItIs_data()
    {
        QTest::addColumn<QString>("name");     // PORT: the peer's
        QTest::addColumn<QByteArray>("sends"); // once the client has spoken, or at once
        QTest::addColumn<bool>("closes");      // after sending
        QTest::addColumn<QString>("said");     // the first warning or notice begins so
        const auto row = [](const char* tag, const char* name, const QByteArray& sends, bool closes,
                            const char* said) {
            QTest::newRow(tag) << name << sends << closes << said;
        };
        QByteArray refused; // more answers than may wait, with the COM-PORT-OPTION's answer
        for (int option = 60; option < 100; ++option)
            refused += bytes({IAC, DO, option});
        row("option refused, asked for ever, never reading", "rfc2217://127.0.0.1:PORT",
            bytes({IAC, DO, 99, IAC, DONT, 99}).repeated(4 << 20), false,
            "rfc2217://127.0.0.1:PORT does not let this computer set the line (it did not");
        row("option switched on and off for ever, never reading", "rfc2217://127.0.0.1:PORT",
            bytes({IAC, DO, SGA, IAC, DONT, SGA}).repeated(4 << 20), false,
            "127.0.0.1:PORT stopped answering");
        row("a write failing as the server answers", "rfc2217://127.0.0.1:PORT",
            refused + bytes({IAC, DO, COMPORT}), false, "127.0.0.1:PORT stopped answering");
        row("text, then closed: busy", "socket://127.0.0.1:PORT", "Port <b>already</b> in use\r\n",
            true,
            "127.0.0.1:PORT turned the connection away, saying \"Port b already /b in use\" (");
        row("a name server that never answers", "socket://never.lan:PORT", {}, false,
            "The name never.lan of socket://never.lan:PORT could not be resolved");
        row("only IPv6, dropping everything: the name as written", "socket://only6.lan:PORT", {},
            false, "only6.lan:PORT did not answer within");
        row("IPv6 dropping everything, IPv4 answering", "socket://v6-v4.lan:PORT", "hi", false, "");
    }

    void aHostilePeerCostsLittleAndIsNamedForWhatItIs()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, sends);
        QFETCH(bool, closes);
        QFETCH(QString, said);
        // IPv6 goes nowhere at the peer's port: a listener with its queue full.
        QTcpServer full;
        full.setListenBacklogSize(0);
        if (!full.listen(QHostAddress::LocalHostIPv6) && name.contains(".lan"))
            QSKIP("no IPv6 loopback here");
        full.pauseAccepting();
        QTcpSocket filler;
        filler.connectToHost(QHostAddress::LocalHostIPv6, full.serverPort());
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost, full.serverPort()));
        QVERIFY(filler.waitForConnected(5000) || !full.isListening());
        QTcpSocket* client = nullptr;
        const auto act = [&] {
            client->write(sends);
            if (closes)
                client->disconnectFromHost();
        };
        connect(&peer, &QTcpServer::newConnection, this, [&] {
            client = peer.nextPendingConnection();
            if (!name.startsWith("rfc2217"))
                return act();
            connect(client, &QTcpSocket::readyRead, this, act, Qt::SingleShotConnection);
        });
        std::promise<void> release; // the name server answers as the test ends
        NetworkSerialControl control;
        control.setBounds({300, 300, 300, 64});
        control.setResolver([released = release.get_future().share()](const std::string& host) {
            if (host == "never.lan")
                released.wait();
            if (host == "only6.lan")
                return HostLookup::Addresses{QHostAddress::LocalHostIPv6};
            return HostLookup::Addresses{QHostAddress::LocalHostIPv6, QHostAddress::LocalHost};
        });
        const QString port = QString::number(peer.serverPort());
        control.setNetworkPort(*parseNetworkPort(QString(name).replace("PORT", port)).port);
        QStringList told;
        bool connected = false;
        connect(&control, &SerialControl::deviceLost, this, [&](const QString& t) { told << t; });
        connect(&control, &NetworkSerialControl::notice, this,
                [&](const QString& t) { told << t; });
        connect(&control, &NetworkSerialControl::connected, this, [&] { connected = true; });
        QTest::failOnWarning(QRegularExpression(QStringLiteral("device not open")));
        control.open();
        // Until the peer has said all, or been dropped, and the control said its piece.
        QTRY_VERIFY_WITH_TIMEOUT((!client || !client->bytesToWrite() ||
                                  client->state() != QAbstractSocket::ConnectedState) &&
                                     (said.isEmpty() ? connected : !told.isEmpty()),
                                 10000);
        QCOMPARE(told.value(0).left(said.size()), said.replace("PORT", port));
        QVERIFY(control.bytesToWrite() <= 64);
        release.set_value();
    }

    // The panel opens its port, closes it and opens it again as it starts.
    void aReopeningKeepsItsConnectionAndHearsNothingOfTheOneBefore()
    {
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost));
        NetworkSerialControl control;
        QStringList told;
        int connections = 0;
        connect(&control, &SerialControl::deviceLost, this, [&](const QString& t) { told << t; });
        connect(&control, &NetworkSerialControl::connected, this, [&] { ++connections; });
        control.setNetworkPort(
            {NetworkPort::Protocol::Raw, "127.0.0.1", Ser2netProcess::freePort()});
        control.open(); // refused, and opened elsewhere before the warning is told
        connect(
            control.findChild<QTcpSocket*>(), &QTcpSocket::errorOccurred, this,
            [&] {
                control.close();
                control.setNetworkPort(
                    {NetworkPort::Protocol::Raw, "127.0.0.1", peer.serverPort()});
                control.open();
            },
            Qt::SingleShotConnection);
        QTRY_COMPARE(connections, 1);
        control.close();
        control.open();
        QTRY_COMPARE(connections, 2);
        peer.nextPendingConnection()->write("x"); // on the connection made first
        std::string got;
        QTRY_COMPARE((got += control.input()), std::string("x"));
        QCOMPARE(told, QStringList());
    }
};

VX37_TEST(NetworkPortNameTest)
VX37_TEST(NetworkControlTest)
VX37_TEST(TelnetCodecTest)
#include "test_network_port.moc"
