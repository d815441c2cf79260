#include "sim/transcript.h"

#include "test_registry.h"

#include <QTest>

using namespace vx37::sim;

class TranscriptTest : public QObject
{
    Q_OBJECT

private slots:
    void formatsEachKindOfLine_data()
    {
        QTest::addColumn<qint64>("time");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("note");
        QTest::addColumn<QByteArray>("line");
        using Kind = TranscriptEntry::Kind;
        QTest::newRow("command with its change")
            << qint64(1204) << int(Kind::FromPanel) << QByteArray("C00\r")
            << QByteArray("power stand-by -> count down")
            << QByteArray("       1.204  PC>VX37  C 0 0 CR                               "
                          "power stand-by -> count down");
        QTest::newRow("reply without a note, no trailing blanks")
            << qint64(1204) << int(Kind::ToPanel) << QByteArray("\x06\r") << QByteArray()
            << QByteArray("       1.204  VX37>PC  ACK CR");
        QTest::newRow("event")
            << qint64(4204) << int(Kind::Event) << QByteArray()
            << QByteArray("power count down -> on")
            << QByteArray("       4.204  --                                              "
                          "power count down -> on");
        QTest::newRow("long bytes push the note out")
            << qint64(65000) << int(Kind::FromPanel) << QByteArray("CR PRESSURE CR PRESSURE\r")
            << QByteArray("unknown code")
            << QByteArray(
                   "      65.000  PC>VX37  C R   P R E S S U R E   C R   P R E S S U R E CR  "
                   "unknown code");
        QTest::newRow("unprintable bytes as the monitor shows them")
            << qint64(7) << int(Kind::ToPanel) << QByteArray("\x80\x14Z\n") << QByteArray()
            << QByteArray("       0.007  VX37>PC  ? &Z LF");
    }

    void formatsEachKindOfLine()
    {
        QFETCH(qint64, time);
        QFETCH(int, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, note);
        QFETCH(QByteArray, line);
        const TranscriptEntry entry{time, static_cast<TranscriptEntry::Kind>(kind),
                                    bytes.toStdString(), note.toStdString()};
        QCOMPARE(QByteArray::fromStdString(formatTranscriptEntry(entry)), line);
    }
};

VX37_TEST(TranscriptTest)
#include "test_transcript.moc"
