#include "ctl_run.h"
#include "sim_process.h"

#include "test_registry.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

// vx37-ctl against vx37-sim: what a script sees on standard output, the exit status, and
// what standard error says.
class CtlLiveTest : public QObject
{
    Q_OBJECT

private slots:
    void answersAsThePanelShowsThem_data()
    {
        QTest::addColumn<QString>("simOptions");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("error"); // a part of standard error; empty: nothing there

        const auto args = [](const char* line) {
            return QString::fromUtf8(line).split(u' ', Qt::SkipEmptyParts);
        };
        QTest::newRow("two queries decoded")
            << "--power on --lamp-hours 1234" << args("status lamp-time") << 0
            << "Power ON\n0 1 2 3 4 CR  Hour Use\n"
            << "";
        QTest::newRow("plain command answered") << "" << args("power-on") << 0 << "ACK CR\n"
                                                << "";
        QTest::newRow("values in json")
            << "--lamp-hours 1234" << args("--json lamp-time") << 0
            << "{\"code\":\"CR3\",\"name\":\"lamp-time\",\"reply\":\"01234\\r\","
               "\"status\":\"0 1 2 3 4 CR  Hour Use\",\"value\":1234}\n"
            << "";
        QTest::newRow("silence") << "--silent" << args("status") << 1 << "X X X X\n"
                                 << "no reply within 500 ms";
        QTest::newRow("error reply is no answer") << "" << args("raw XYZ") << 1 << "E R R CR\n"
                                                  << "raw (XYZ) on /";
        QTest::newRow("reply of another form is no answer")
            << "--corrupt 0.5 --seed 7 --power on" << args("--json pressure") << 1
            << "{\"code\":\"CR PRESSURE\",\"error\":\"unexpected reply \\\"? ? ? CR\\\"; the "
               "answer is a number, then CR\",\"name\":\"pressure\",\"reply\":\"ÿÏÉ\\r\"}\n"
            << "pressure (CR PRESSURE)";
        QTest::newRow("late reply drained, not taken as the next answer")
            << "--late 700 --power on" << args("mode lamp-time") << 1 << "X X X X\nX X X X\n"
            << "lamp-time (CR3) on /";
        QTest::newRow("chatter on the line")
            << "--chatter 10 --late 20 --power on" << args("lamp-time") << 1 << "0 0 CR\n"
            << "more came than one answer";
        QTest::newRow("replies in pieces")
            << "--pieces 2 --piece-gap 20 --power on" << args("status lamp-time") << 0
            << "Power ON\n0 1 2 3 4 CR  Hour Use\n"
            << "";
        QTest::newRow("unknown name") << "" << args("power-on stauts") << 2 << ""
                                      << "unknown command 'stauts'; did you mean status?";
        QTest::newRow("missing device")
            << "" << args("--port /nonexistent/vx37-com1 status") << 3 << ""
            << "/nonexistent/vx37-com1";
        QTest::newRow("unreadable network port in VX37_COM1")
            << "" << args("VX37_COM1=socket://h:0 status") << 2 << ""
            << "COM1 (set by VX37_COM1): \"socket://h:0\": \"0\" is not a TCP port";
        QTest::newRow("network port refused")
            << "" << args("--port rfc2217://127.0.0.1:1 status") << 3 << ""
            << "vx37-ctl: 127.0.0.1:1 refused the connection (rfc2217://127.0.0.1:1).\n"
               "Nothing listens on that port";
    }

    void answersAsThePanelShowsThem()
    {
        QFETCH(QString, simOptions);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(QString, error);

        SimProcess sim(qPrintable(simOptions));
        QVERIFY2(sim.isServing(), qPrintable(sim.transcript()));
        // VX37_COM1=NAME first: COM1 stands for NAME.
        const bool variable = arguments.first().startsWith(QStringLiteral("VX37_COM1="));
        if (variable)
            qputenv("VX37_COM1", arguments.takeFirst().mid(10).toUtf8());
        else if (!arguments.contains(QStringLiteral("--port")))
            arguments.prepend(sim.link()), arguments.prepend(QStringLiteral("--port"));
        const CtlRun run = runCtl(arguments);
        qunsetenv("VX37_COM1");

        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.output, output);
        QVERIFY2(error.isEmpty() ? run.error.isEmpty() : run.error.contains(error),
                 qPrintable(run.error));
        // A refused command line sends nothing at all.
        if (exitCode == 2) {
            QTest::qWait(200);
            QCOMPARE(sim.linesWith(QStringLiteral("PC>VX37")), 0);
        }
    }

    // Answers that cannot be written are a failure, as for any tool a script relies on.
    void unwritableOutputFails_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("list") << QStringList{QStringLiteral("--list")};
        QTest::newRow("answers") << QStringList{QStringLiteral("status")};
    }

    void unwritableOutputFails()
    {
        QFETCH(QStringList, arguments);
        SimProcess sim("--quiet");
        QVERIFY(sim.isServing());
        const CtlRun run = runCtl(QStringList{QStringLiteral("--port"), sim.link()} + arguments,
                                  QStringLiteral("/dev/full"));
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.error.contains(QStringLiteral("write error on standard output")),
                 qPrintable(run.error));
    }

    // A peer that sends bytes without end and never a CR: the reply is cut at its bound, and
    // neither the program nor its output grows with the flood (64 MiB at most here).
    void anEndlessReplyIsCutShort()
    {
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost));
        qint64 sent = 0;
        QTimer flood;
        QObject::connect(&flood, &QTimer::timeout, &peer, [&] {
            for (QTcpSocket* socket : peer.findChildren<QTcpSocket*>()) {
                if (socket->bytesToWrite() < (1 << 20) && sent < (64 << 20))
                    sent += socket->write(QByteArray(1 << 16, 'Z'));
            }
        });
        QObject::connect(&peer, &QTcpServer::newConnection, &peer, [&] {
            peer.nextPendingConnection();
            flood.start(1);
        });
        const CtlRun run = runCtl({QStringLiteral("--port"),
                                   QStringLiteral("socket://127.0.0.1:%1").arg(peer.serverPort()),
                                   QStringLiteral("status")});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.error.contains(QStringLiteral("no end to the reply: 512 bytes without a CR")),
                 qPrintable(run.error.left(300)));
        QVERIFY2(run.output.size() < 2048, qPrintable(run.output.left(300)));
    }

    // A raw code of 100 KB waits for the line instead of being taken for a lost device,
    // and goes out whole: the projector reads it as 782 frames of at most 128 bytes.
    void longCodeGoesOutWhole()
    {
        SimProcess sim("--power on");
        QVERIFY(sim.isServing());
        const CtlRun run = runCtl(
            {QStringLiteral("--port"), sim.link(), QStringLiteral("raw"), QString(100'000, u'A')});
        QCOMPARE(run.exitCode, 1); // the projector answers each frame with its error reply
        QVERIFY2(!run.error.contains(QStringLiteral("went away")), qPrintable(run.error));
        QTRY_COMPARE(sim.linesWith(QStringLiteral("PC>VX37")), 782);
    }
};

VX37_TEST(CtlLiveTest)
#include "test_ctl_live.moc"
