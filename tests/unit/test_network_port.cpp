#include "link/network_port.h"
#include "link/telnet_codec.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37;

class NetworkPortNameTest : public QObject
{
    Q_OBJECT

private slots:
    // A good name reads back as "kind host port"; a bad one gives the start of its error.
    void readsTheTwoForms_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("read");
        QTest::addColumn<QString>("error");
        QTest::newRow("raw TCP") << "socket://127.0.0.1:4001"
                                 << "raw 127.0.0.1 4001"
                                 << "";
        QTest::newRow("RFC 2217 by name") << "RFC2217://projector-room.lan:2217"
                                          << "rfc2217 projector-room.lan 2217"
                                          << "";
        QTest::newRow("IPv6 literal") << "socket://[::1]:65535"
                                      << "raw ::1 65535"
                                      << "";
        QTest::newRow("no port") << "socket://10.0.0.5"
                                 << ""
                                 << "\"socket://10.0.0.5\": the TCP port is missing; write it "
                                    "after the host, as in socket://10.0.0.5:4001";
        QTest::newRow("colon, no port") << "rfc2217://h:"
                                        << ""
                                        << "\"rfc2217://h:\": the TCP port is missing";
        QTest::newRow("port 0") << "socket://h:0"
                                << ""
                                << "\"socket://h:0\": \"0\" is not a TCP port";
        QTest::newRow("port 70000") << "socket://h:70000"
                                    << ""
                                    << "\"socket://h:70000\": \"70000\" is not a TCP port";
        QTest::newRow("signed port") << "socket://h:+80"
                                     << ""
                                     << "\"socket://h:+80\": \"+80\" is not a TCP port";
        QTest::newRow("empty host") << "socket://:4001"
                                    << ""
                                    << "\"socket://:4001\": the host is missing";
        QTest::newRow("nothing after the kind") << "rfc2217://"
                                                << ""
                                                << "\"rfc2217://\": the host is missing";
        QTest::newRow("unknown kind") << "telnet://h:23"
                                      << ""
                                      << "\"telnet://h:23\": unknown kind of port \"telnet://\"";
        QTest::newRow("IPv6 without brackets")
            << "socket://::1:4001"
            << ""
            << "\"socket://::1:4001\": an IPv6 address goes in brackets";
        QTest::newRow("not IPv6 in brackets")
            << "socket://[nope]:1"
            << ""
            << "\"socket://[nope]:1\": \"nope\" is not an IPv6 address";
        QTest::newRow("garbage host")
            << "socket://a b;c:1"
            << ""
            << "\"socket://a b;c:1\": \"a b;c\" is not a host name or address";
        QTest::newRow("garbage after the port")
            << "socket://h:4001/x?y"
            << ""
            << "\"socket://h:4001/x?y\": \"4001/x?y\" is not a TCP port";
        QTest::newRow("long garbage is shortened")
            << "socket://h:" + QString(500, u'9') << ""
            << "\"socket://h:" + QString(49, u'9') + QChar(0x2026) + "\": \"";
    }

    void readsTheTwoForms()
    {
        QFETCH(QString, name);
        QFETCH(QString, read);
        QFETCH(QString, error);
        QVERIFY(isNetworkPortName(name));
        const ParsedNetworkPort parsed = parseNetworkPort(name);
        QCOMPARE(parsed.error.left(error.size()), error);
        QCOMPARE(parsed.error.isEmpty(), error.isEmpty());
        QCOMPARE(parsed.port.has_value(), !read.isEmpty());
        if (parsed.port) {
            const bool raw = parsed.port->protocol == NetworkPort::Protocol::Raw;
            QCOMPARE(QStringLiteral("%1 %2 %3")
                         .arg(raw ? "raw" : "rfc2217", parsed.port->host)
                         .arg(parsed.port->port),
                     read);
            QCOMPARE(parseNetworkPort(parsed.port->name()).port, parsed.port);
        }
    }

    void devicePathsAreNoNetworkPorts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("device") << "/dev/ttyUSB0";
        QTest::newRow("relative link") << "tmp/vx37-com1";
        QTest::newRow("path holding ://") << "/tmp/a://b";
        QTest::newRow("Windows port") << "COM3";
    }

    void devicePathsAreNoNetworkPorts()
    {
        QFETCH(QString, name);
        QVERIFY(!isNetworkPortName(name));
    }
};

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int value : values)
        out.append(char(value));
    return out;
}

constexpr int IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;
constexpr int BINARY = 0, ECHO = 1, SGA = 3, TTYPE = 24, COMPORT = 44;

} // namespace

class TelnetCodecTest : public QObject
{
    Q_OBJECT

private slots:
    void offersBinarySuppressGoAheadAndTheComPortOption()
    {
        TelnetCodec codec;
        QCOMPARE(codec.start(), bytes({IAC, WILL, BINARY, IAC, WILL, SGA, IAC, WILL, COMPORT, IAC,
                                       DO, BINARY, IAC, DO, SGA}));
        QCOMPARE(codec.comPort(), TelnetCodec::ComPort::Asked);
    }

    // What the server sends after the client's start, in pieces split at every byte
    // boundary: the data the line gets, the client's answers, and the COM-PORT-OPTION.
    void readsTheServer_data()
    {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<int>("comPort");
        const int accepted = int(TelnetCodec::ComPort::Accepted);
        QTest::newRow("plain data")
            << QByteArray("00\r") << QByteArray("00\r") << QByteArray() << 0;
        QTest::newRow("IAC doubled in the data")
            << bytes({'A', IAC, IAC, 'B', IAC, IAC, IAC, IAC}) << bytes({'A', IAC, 'B', IAC, IAC})
            << QByteArray() << 0;
        QTest::newRow("agreement, no answers")
            << bytes({IAC, DO, BINARY, IAC, DO, SGA, IAC, DO, COMPORT, IAC, WILL, BINARY, IAC, WILL,
                      SGA, '0', '0', '\r'})
            << QByteArray("00\r") << QByteArray() << accepted;
        QTest::newRow("COM-PORT-OPTION refused")
            << bytes({IAC, DONT, COMPORT}) << QByteArray() << QByteArray()
            << int(TelnetCodec::ComPort::Refused);
        QTest::newRow("echo and terminal type refused")
            << bytes({IAC, WILL, ECHO, IAC, DO, TTYPE, 'x'}) << QByteArray("x")
            << bytes({IAC, DONT, ECHO, IAC, WONT, TTYPE}) << 0;
        QTest::newRow("an agreed option switched off is acknowledged once")
            << bytes({IAC, DO, SGA, IAC, DONT, SGA, IAC, DONT, SGA}) << QByteArray()
            << bytes({IAC, WONT, SGA}) << 0;
        QTest::newRow("notifications dropped, their IACs too")
            << bytes({IAC, SB, COMPORT, 106,  IAC, IAC, IAC, SE,  IAC,           SB, COMPORT, 101,
                      0,   0,  0x25,    0x80, IAC, SE,  '1', IAC, 241 /* NOP */, '2'})
            << QByteArray("12") << QByteArray() << 0;
        QTest::newRow("unterminated subnegotiation ends at the next command")
            << bytes({IAC, SB, COMPORT, 107, IAC, DO, COMPORT, 'z'}) << QByteArray("z")
            << QByteArray() << accepted;
    }

    void readsTheServer()
    {
        QFETCH(QByteArray, server);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, answers);
        QFETCH(int, comPort);
        for (qsizetype split = 0; split <= server.size(); ++split) {
            TelnetCodec codec;
            codec.start();
            QByteArray said;
            QByteArray got = codec.receive(server.left(split), said);
            got += codec.receive(server.mid(split), said);
            QCOMPARE(got, data);
            QCOMPARE(said, answers);
            QCOMPARE(int(codec.comPort()), comPort);
        }
    }

    void doublesIacInTheDataSent()
    {
        QCOMPARE(TelnetCodec::escape(bytes({'C', IAC, '\r'})), bytes({'C', IAC, IAC, '\r'}));
    }

    void setsSpeedDataSizeParityAndStopSize()
    {
        QCOMPARE(TelnetCodec::lineSettings(*parseLineSettings("9600,N,8,1")),
                 bytes({IAC, SB,      COMPORT, 1,  0,       0,  0x25, 0x80, IAC,     SE, IAC,
                        SB,  COMPORT, 2,       8,  IAC,     SE, IAC,  SB,   COMPORT, 3,  1,
                        IAC, SE,      IAC,     SB, COMPORT, 4,  1,    IAC,  SE}));
        // A speed with a 255 in it has the IAC doubled; even parity is 3, 1.5 stop bits 3.
        QCOMPARE(TelnetCodec::lineSettings(*parseLineSettings("255,E,7,1.5")),
                 bytes({IAC, SB,  COMPORT, 1,   0,  0,       0,  IAC, IAC, IAC,     SE,
                        IAC, SB,  COMPORT, 2,   7,  IAC,     SE, IAC, SB,  COMPORT, 3,
                        3,   IAC, SE,      IAC, SB, COMPORT, 4,  3,   IAC, SE}));
    }
};

VX37_TEST(NetworkPortNameTest)
VX37_TEST(TelnetCodecTest)
#include "test_network_port.moc"
