#include "sim/uart.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37::sim;

class UartTest : public QObject
{
    Q_OBJECT

private slots:
    void sameSpeedPassesEveryByte()
    {
        std::string all;
        for (int c = 0; c < 256; ++c)
            all.push_back(static_cast<char>(c));
        QCOMPARE(resampleUart(all, 19200, 19200), all);
        QCOMPARE(resampleUart(all, 9600, 9600), all);
    }

    void workedBytes_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("sentBaud");
        QTest::addColumn<int>("readBaud");
        QTest::addColumn<QByteArray>("read");
        // Sent at 9600, read at 19200: every sent bit lasts two read bits. The start bit
        // stretches into data bit 0, and the rest of the byte reads as the high line.
        QTest::newRow("FF slow into fast")
            << QByteArray("\xff") << 9600 << 19200 << QByteArray("\xfe");
        // Sent at 19200, read at 9600: every read bit spans two sent bits; the stop bit
        // and the idle line fill the upper half.
        QTest::newRow("00 fast into slow")
            << QByteArray("\x00", 1) << 19200 << 9600 << QByteArray("\xf8");
        QTest::newRow("nothing") << QByteArray() << 19200 << 9600 << QByteArray();
    }

    void workedBytes()
    {
        QFETCH(QByteArray, sent);
        QFETCH(int, sentBaud);
        QFETCH(int, readBaud);
        QFETCH(QByteArray, read);
        QCOMPARE(QByteArray::fromStdString(resampleUart(sent.toStdString(), sentBaud, readBaud)),
                 read);
    }

    void replyComesOutGarbled_data()
    {
        QTest::addColumn<int>("sentBaud");
        QTest::addColumn<int>("readBaud");
        QTest::newRow("projector 19200, panel 9600") << 19200 << 9600;
        QTest::newRow("projector 9600, panel 19200") << 9600 << 19200;
    }

    void replyComesOutGarbled()
    {
        QFETCH(int, sentBaud);
        QFETCH(int, readBaud);
        for (const std::string reply : {"00\r", "80\r", "\x06\r", "VX37 SIMULATOR\r", "853\r"}) {
            const std::string read = resampleUart(reply, sentBaud, readBaud);
            QVERIFY(!read.empty());
            QVERIFY(read != reply);
            // A faster reader sees each character split in two, a slower one about
            // half as many characters.
            if (readBaud > sentBaud)
                QVERIFY(read.size() > reply.size());
            else
                QVERIFY(read.size() <= (reply.size() + 1) / 2 + 1);
        }
    }
};

VX37_TEST(UartTest)
#include "test_uart.moc"
