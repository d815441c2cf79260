#include "link/frame_exchange.h"
#include "link/memory_serial_control.h"
#include "link/virtual_clock.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37;

// One frame exchange in virtual time, played from a script of steps separated by ';':
//   CODE        a frame (reply time-out 500 ms) that goes as soon as the line is ready
//   +N          N ms pass
//   <TEXT       the projector sends TEXT ('|' stands for CR, '~N' for N bytes of 'Z')
//   open        the line was just connected
//   lost        the device goes away
//   settle N    answers stand alone N ms before they count (30 unless said)
// What it saw is a list of "@ms what": ">CODE" a frame written, "free" a drain ended, and
// each frame's result: "ok REPLY", "no reply", "unended TEXT", "overlong N",
// "after REPLY+TEXT", "unexpected REPLY" or "lost".
class FrameExchangeTest : public QObject
{
    Q_OBJECT

private slots:
    void eachFrameTakesOnlyItsOwnAnswer_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("seen");

        QTest::newRow("answer in pieces")
            << "CR0; +10; <0; +10; <0|; +100" << QStringList{"@0 >CR0", "@50 ok 00|"};
        QTest::newRow("the answer settles before it counts")
            << "CR0; <00|; +29; CR1; +1" << QStringList{"@0 >CR0", "@30 ok 00|", "@30 >CR1"};
        QTest::newRow("a late answer is drained, not taken by the next frame")
            << "CR0; +500; CRA; +300; <80|; +500; <00|; +30"
            << QStringList{"@0 >CR0",  "@500 no reply", "@1300 free",
                           "@1300 >CRA", "@1330 ok 00|"};
        QTest::newRow("a command's late ACK does not answer the next command")
            << "C00; +500; C05; +300; <\x06|; +500; <\x06|; +30"
            << QStringList{"@0 >C00", "@500 no reply", "@1300 free", "@1300 >C05",
                           "@1330 ok \x06|"};
        QTest::newRow("another form is no answer, and keeps the line its whole time")
            << "C00; <ERR|; C01; +530"
            << QStringList{"@0 >C00", "@30 unexpected ERR|", "@530 free", "@530 >C01"};
        QTest::newRow("something behind the answer")
            << "CR0; <00|; +10; <x; +600"
            << QStringList{"@0 >CR0", "@10 after 00|+x", "@510 free"};
        QTest::newRow("no settle time: judged at the CR")
            << "settle 0; CR0; <00|; CR1; <00|x" << QStringList{"@0 >CR0", "@0 ok 00|", "@0 >CR1",
                                                            "@0 after 00|+x"};
        QTest::newRow("a reply cut off by the time-out")
            << "CR3; <012; +500" << QStringList{"@0 >CR3", "@500 unended 012"};
        QTest::newRow("a reply with no end is cut at its bound, the flood drained for 3 s at most")
            << "CR0; <~600" + QString("; +400; <~100000").repeated(8) + "; CR1"
            << QStringList{"@0 >CR0", "@0 overlong 512", "@3200 free", "@3200 >CR1"};
        QTest::newRow("what a device server passes on at connection is no answer")
            << "open; +10; <\x06|; +50; C07; +100; <\x06|; +30"
            << QStringList{"@110 free", "@110 >C07", "@190 ok \x06|"};
        QTest::newRow("the device lost while waiting")
            << "CR0; +100; lost; +1000" << QStringList{"@0 >CR0", "@100 lost"};
        QTest::newRow("the device lost while draining")
            << "CR0; +500; +100; lost"
            << QStringList{"@0 >CR0", "@500 no reply", "@600 free"};
    }

    void eachFrameTakesOnlyItsOwnAnswer()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, seen);

        VirtualClock clock;
        MemorySerialControl port;
        port.open();
        FrameExchange exchange(port, clock.createTimer(0), [&] { return clock.now(); });
        QStringList saw;
        const auto at = [&](const QString& what) {
            saw << QStringLiteral("@%1 %2").arg(clock.now()).arg(what);
        };
        const auto latin1 = [](const std::string& text) {
            return QString::fromLatin1(text).replace(u'\r', u'|');
        };
        QStringList waiting; // frames asked for while the line was not ready
        std::function<void()> send;
        send = [&] {
            if (waiting.isEmpty() || !exchange.ready())
                return;
            const std::string code = waiting.takeFirst().toStdString();
            port.clearWritten();
            exchange.exchange(code, 500, [&](const FrameReply& r) {
                if (r.lost)
                    at(QStringLiteral("lost"));
                else if (r.answered)
                    at(QStringLiteral("ok ") + latin1(r.reply));
                else if (r.reply.empty())
                    at(QStringLiteral("no reply"));
                else if (r.overlong)
                    at(QStringLiteral("overlong %1").arg(r.reply.size()));
                else if (!r.ended)
                    at(QStringLiteral("unended ") + latin1(r.reply));
                else if (!r.after.empty())
                    at(QStringLiteral("after ") + latin1(r.reply) + u'+' + latin1(r.after));
                else
                    at(QStringLiteral("unexpected ") + latin1(r.reply));
                send();
            });
            at(u'>' + latin1(port.written()).remove(u'|'));
        };
        connect(&exchange, &FrameExchange::lineFree, this, [&] {
            at(QStringLiteral("free"));
            send();
        });

        for (QString step : script.split(u';')) {
            step = step.trimmed();
            if (step.startsWith(u'+')) {
                clock.advance(step.mid(1).toInt());
            } else if (step.startsWith(QLatin1String("<~"))) {
                port.receive(std::string(step.mid(2).toULongLong(), 'Z'));
            } else if (step.startsWith(u'<')) {
                port.receive(step.mid(1).replace(u'|', u'\r').toLatin1().toStdString());
            } else if (step == QLatin1String("open")) {
                exchange.lineOpened();
            } else if (step.startsWith(QLatin1String("settle "))) {
                exchange.setSettleMs(step.mid(7).toInt());
            } else if (step == QLatin1String("lost")) {
                port.vanish();
            } else {
                waiting << step;
                send();
            }
        }
        QCOMPARE(saw, seen);
    }
};

VX37_TEST(FrameExchangeTest)
#include "test_frame_exchange.moc"
