#include "ctl_run.h"
#include "sim_process.h"

#include "test_registry.h"

#include <QTest>

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
                                 << "status (CR0): no reply within 500 ms";
        QTest::newRow("unknown name") << "" << args("power-on stauts") << 2 << ""
                                      << "unknown command 'stauts'; did you mean status?";
        QTest::newRow("missing device")
            << "" << args("--port /nonexistent/vx37-com1 status") << 3 << ""
            << "/nonexistent/vx37-com1";
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
        if (!arguments.contains(QStringLiteral("--port")))
            arguments.prepend(sim.link()), arguments.prepend(QStringLiteral("--port"));
        const CtlRun run = runCtl(arguments);

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
};

VX37_TEST(CtlLiveTest)
#include "test_ctl_live.moc"
