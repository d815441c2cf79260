#include "commands/monitor_text.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37;

class MonitorTextTest : public QObject
{
    Q_OBJECT

private slots:
    void rendersEachCharacterAsItsToken_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("empty text is one blank") << QByteArray() << QByteArray(" ");
        QTest::newRow("power-on frame") << QByteArray("C00\r") << QByteArray(" C 0 0 CR ");
        QTest::newRow("a blank keeps its own blank")
            << QByteArray("CF KEYDIS NONE\r") << QByteArray(" C F   K E Y D I S   N O N E CR ");
        QTest::newRow("ACK and CR") << QByteArray("\x06\r") << QByteArray(" ACK CR ");
        QTest::newRow("20 runs into the next token") << QByteArray("\x14" "A") << QByteArray(" &A ");
        QTest::newRow("line feed") << QByteArray("\n") << QByteArray(" LF ");
        QTest::newRow("z is the last printable") << QByteArray("z") << QByteArray(" z ");
        QTest::newRow("blank is the first printable") << QByteArray(" ") << QByteArray("   ");
        QTest::newRow("braces and tilde are unknown") << QByteArray("{}~|") << QByteArray(" ? ? ? ? ");
        QTest::newRow("DEL") << QByteArray("\x7f") << QByteArray(" ? ");
        QTest::newRow("tab, NUL and ESC")
            << QByteArray("\t\0\x1b", 3) << QByteArray(" ? ? ? ");
        QTest::newRow("bytes from 128 up") << QByteArray("\x80\xff\xe9") << QByteArray(" ? ? ? ");
        QTest::newRow("reply 00 CR") << QByteArray("00\r") << QByteArray(" 0 0 CR ");
    }

    void rendersEachCharacterAsItsToken()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, shown);
        const std::string rendered = renderMonitorText(text.toStdString());
        QCOMPARE(QByteArray::fromStdString(rendered), shown);
        QCOMPARE(monitorTextLength(text.toStdString()), rendered.size());
    }

    void printableCharacterStandsAtTwiceItsPosition()
    {
        std::string text;
        for (char c = 32; c <= 122; ++c)
            text += c;
        const std::string shown = renderMonitorText(text);
        for (std::size_t n = 1; n <= text.size(); ++n) {
            QCOMPARE(shown[2 * n - 1], text[n - 1]); // position 2n, counted from 1
            QCOMPARE(shown[2 * n - 2], ' ');
        }
    }
};

VX37_TEST(MonitorTextTest)
#include "test_monitor_text.moc"
