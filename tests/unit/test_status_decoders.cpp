#include "commands/monitor_text.h"
#include "replies/numeric_reading.h"
#include "replies/reply_forms.h"
#include "replies/status_decoders.h"

#include "test_registry.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace vx37;

namespace {

using Decoder = std::optional<std::string> (*)(std::string_view);

// The decoders read the RXD line, so the tests hand them the monitor text of a reply.
QString decode(Decoder decoder, const QByteArray& reply)
{
    const auto status = decoder(renderMonitorText(reply.toStdString()));
    return status ? QString::fromStdString(*status) : QStringLiteral("<unchanged>");
}

Decoder decoderNamed(const QByteArray& name)
{
    if (name == "CR0") return decodeOperatingState;
    if (name == "CR1") return decodeSelectedInput;
    if (name == "CR3") return decodeLampHours;
    if (name == "CR4") return decodePictureReversal;
    if (name == "CR6") return decodeTemperatures;
    if (name == "CR7") return decodeLampMode;
    if (name == "CR9") return decodeFreeText;
    if (name == "CRA") return decodeMuteAndSignal;
    qFatal("no decoder %s", name.constData());
}

} // namespace

class StatusDecoderTest : public QObject
{
    Q_OBJECT

private slots:
    void decodesReply_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("status");
        const auto row = [](const char* name, const char* query, const QByteArray& reply,
                            const char* status) {
            QTest::newRow(name) << QByteArray(query) << reply << QString::fromUtf8(status);
        };
        row("CR0 00", "CR0", "00\r", " Power ON");
        row("CR0 80", "CR0", "80\r", " Stand by");
        row("CR0 40", "CR0", "40\r", " Count down");
        row("CR0 20", "CR0", "20\r", " Cooling down");
        row("CR0 10", "CR0", "10\r", " Power Fail");
        row("CR0 08", "CR0", "08\r", " Temperature Warning");
        row("CR0 02", "CR0", "02\r", " NO Key input ");
        row("CR0 04", "CR0", "04\r", " Lamp OFF by PWR Management");
        row("CR0 28", "CR0", "28\r", " Temperature Warning & cooling down");
        row("CR0 24 has no leading blank", "CR0", "24\r", "Cooling down  PWR Management");
        row("CR0 88", "CR0", "88\r", " Temperature Warning and recoverd");
        row("CR0 21", "CR0", "21\r", " Cooling down (All Lamp FAIL)");
        row("CR0 81", "CR0", "81\r", " Cooling down & sutandby (All Lamp FAIL)");
        row("CR0 unlisted 99", "CR0", "99\r", "<unchanged>");
        row("CR0 half a reply", "CR0", "0", "<unchanged>");
        row("CR0 begins with ACK", "CR0", "\x06" "00\r", "<unchanged>");
        row("CR0 empty", "CR0", "", "<unchanged>");
        row("CR1 1", "CR1", "1\r", " Computer 1");
        row("CR1 only the first character counts", "CR1", "10", " Computer 1");
        row("CR1 2", "CR1", "2\r", " Computer 2");
        row("CR1 3", "CR1", "3\r", " Video");
        row("CR1 4", "CR1", "4\r", " Input mode 4");
        row("CR1 5", "CR1", "5\r", "<unchanged>");
        row("CR4 11", "CR4", "11\r", " Normally");
        row("CR4 10", "CR4", "10\r", " Top/Bottom reversal");
        row("CR4 01", "CR4", "01\r", " Left/Right reversal");
        row("CR4 00", "CR4", "00\r", " Top/Bottom , Left/Right reversal");
        row("CRA 00", "CRA", "00\r", " Video & Audio mute OFF");
        row("CRA 01", "CRA", "01\r", " Video mute ON");
        row("CRA 02", "CRA", "02\r", " Audio mute ON");
        row("CRA 03", "CRA", "03\r", " Video & Audio mute ON");
        row("CRA 80", "CRA", "80\r", " No signal");
        row("CRA FF", "CRA", "FF\r", " Stand by");
        row("CRA ff is not FF", "CRA", "ff\r", "<unchanged>");
        row("CR7 00", "CR7", "00\r", " All OFF : 2 Lamp mode");
        row("CR7 01", "CR7", "01\r", " No1 ON  : 2 Lamp mode");
        row("CR7 02", "CR7", "02\r", " No2 ON  : 2 Lamp mode");
        row("CR7 03", "CR7", "03\r", " No1,2 ON  : 2 Lamp mode");
        row("CR7 10", "CR7", "10\r", " All OFF : 1 Lamp mode(No1 USE)");
        row("CR7 11", "CR7", "11\r", " No1 ON  : 1 Lamp mode(No1 USE)");
        row("CR7 20", "CR7", "20\r", " All OFF : 1 Lamp mode(No2 USE)");
        row("CR7 22", "CR7", "22\r", " No2 ON  : 1 Lamp mode(No2 USE)");
        row("CR7 21", "CR7", "21\r", "<unchanged>");
        row("CR3 short reply keeps its CR", "CR3", "12345\r", " 1 2 3 4 5 CR  Hour Use");
        row("CR3 long reply cut at 19 characters", "CR3", "12345678901234567890123\r",
            " 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 Hour Use");
        row("CR3 nothing yet", "CR3", "", "  Hour Use");
        row("CR6 three fields", "CR6", "abcdefghijklmnopq\r",
            "  S1= a b c d e C  ,   S2=  h i j k C , S3= m n o p q C");
        row("CR6 typical", "CR6", "038.5 039.0 041.2\r",
            "  S1= 0 3 8 . 5 C  ,   S2=  3 9 . 0 C , S3= 0 4 1 . 2 C");
        row("CR6 short reply leaves fields empty", "CR6", "12\r",
            "  S1= 1 2 CR  C  ,   S2=  C , S3= C");
        row("CR9 shows the line", "CR9", "ABC\r", " A B C CR ");
    }

    void decodesReply()
    {
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, reply);
        QFETCH(QString, status);
        QCOMPARE(decode(decoderNamed(query), reply), status);
    }

    void dispatchOrderAndCodes()
    {
        QStringList codes;
        for (const StatusQuery& query : statusQueries())
            codes << QString::fromLatin1(query.code.data(), qsizetype(query.code.size()));
        QCOMPARE(codes, QStringList({"CR0", "CR1", "CR4", "CR3", "CR6", "CRA", "CR9", "CR PRESSURE",
                                     "CR7"}));
    }

    // Only a reply of the form of the command's answer is taken as its answer.
    void takesOnlyTheAnswersForm_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("answer");
        const auto row = [](const char* code, const QByteArray& reply, bool answer) {
            QTest::addRow("%s %s", code, reply.toPercentEncoding().constData())
                << QByteArray(code) << reply << answer;
        };
        row("C00", "\x06\r", true);
        row("C00", "ERR\r", false);
        row("CF KEYDIS NONE", "\x06", false); // no CR
        row("CR0", "00\r", true);
        row("CR0", "81\r", true);
        row("CR0", "01\r", false); // no key of its table
        row("CR0", "001\r", false);
        row("CR0", "\x06\r", false);
        row("CR1", "3\r", true);
        row("CR1", "13\r", false);
        row("CRA", "FF\r", true);
        row("CRA", "ff\r", false);
        row("CR7", "22\r", true);
        row("CR4", "12\r", false);
        row("CR3", "01234\r", true);
        row("CR3", "1\r", true);
        row("CR3", "\r", false);
        row("CR3", "0123456789\r", false); // more than a count fits
        row("CR3", "12 4\r", false);
        row("CR6", "025.0 033.0 040.0\r", true);
        row("CR6", "-05.5 033.0 040.0\r", true);
        row("CR6", "025.0 033.0 040.0", false);
        row("CR6", "025.0 033.0 0\xb3.0\r", false);
        row("CR6", "025.0,033.0,040.0\r", false);
        row("CR PRESSURE", "853\r", true);
        row("CR PRESSURE", "-12.5\r", true);
        row("CR PRESSURE", "8\xd3\xde\r", false);
        row("CR PRESSURE", "nan\r", false);
        row("CR PRESSURE", "\r", false);
        row("CR9", "VX37 SIMULATOR\r", true);
        row("CR9", "\r", true);
        row("CR9", "00\r00\r", false); // two answers
    }

    void takesOnlyTheAnswersForm()
    {
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, reply);
        QFETCH(bool, answer);
        QCOMPARE(isAnswerTo(code.toStdString(), reply.toStdString()), answer);
    }
};

class PressureDecoderTest : public QObject
{
    Q_OBJECT

private slots:
    void readsLeadingNumber_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("monitor text of 512 CR") << QByteArray(" 5 1 2 CR ") << 512.0;
        QTest::newRow("no number reads as 0") << QByteArray(" A B C ") << 0.0;
        QTest::newRow("empty") << QByteArray("") << 0.0;
        QTest::newRow("tabs and line feeds deleted") << QByteArray("\t1\n2 3") << 123.0;
        QTest::newRow("carriage return stops") << QByteArray("12\r3") << 12.0;
        QTest::newRow("minus") << QByteArray(" - 4 2 ") << -42.0;
        QTest::newRow("plus") << QByteArray("+7") << 7.0;
        QTest::newRow("two signs read 0") << QByteArray("--7") << 0.0;
        QTest::newRow("sign alone") << QByteArray("-") << 0.0;
        QTest::newRow("decimals") << QByteArray("12.75x") << 12.75;
        QTest::newRow("leading point") << QByteArray(".5") << 0.5;
        QTest::newRow("trailing point") << QByteArray("5.") << 5.0;
        QTest::newRow("second point stops") << QByteArray("1.2.3") << 1.2;
        QTest::newRow("exponent E") << QByteArray("1E3") << 1000.0;
        QTest::newRow("exponent D with sign") << QByteArray("25D-1") << 2.5;
        QTest::newRow("exponent lower case") << QByteArray("2e2") << 200.0;
        QTest::newRow("exponent without digits stops before E") << QByteArray("7E+") << 7.0;
        QTest::newRow("exponent across blanks") << QByteArray(" 1 E + 2 ") << 100.0;
        QTest::newRow("hexadecimal") << QByteArray("&H1F") << 31.0;
        QTest::newRow("hexadecimal lower case") << QByteArray("&hff") << 255.0;
        QTest::newRow("hexadecimal FFFF is not negative") << QByteArray("&HFFFF") << 65535.0;
        QTest::newRow("hexadecimal stops at G") << QByteArray("&H1G") << 1.0;
        QTest::newRow("octal") << QByteArray("&O17") << 15.0;
        QTest::newRow("octal stops at 8") << QByteArray("&O78") << 7.0;
        QTest::newRow("ampersand alone") << QByteArray("&") << 0.0;
        QTest::newRow("prefix without digits") << QByteArray("&H") << 0.0;
        QTest::newRow("sign before a prefix reads 0") << QByteArray("-&H10") << 0.0;
        QTest::newRow("tiny exponent underflows to 0") << QByteArray("1E-400") << 0.0;
        QTest::newRow("zero with a huge exponent") << QByteArray("0E999") << 0.0;
    }

    void readsLeadingNumber()
    {
        QFETCH(QByteArray, text);
        QFETCH(double, value);
        QCOMPARE(readLeadingNumber(text.toStdString()), value);
    }

    void hugeReadingsAreInfinite()
    {
        QCOMPARE(readLeadingNumber("1E999"), std::numeric_limits<double>::infinity());
        QCOMPARE(readLeadingNumber("-0.5E400"), -std::numeric_limits<double>::infinity());
        QCOMPARE(readLeadingNumber(std::string(400, '9')), std::numeric_limits<double>::infinity());
        QCOMPARE(readLeadingNumber("&H" + std::string(300, 'F')),
                 std::numeric_limits<double>::infinity());
    }

    void roundsHalfToEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("rounded");
        QTest::newRow("0.5") << 0.5 << 0.0;
        QTest::newRow("1.5") << 1.5 << 2.0;
        QTest::newRow("2.5") << 2.5 << 2.0;
        QTest::newRow("-0.5") << -0.5 << 0.0;
        QTest::newRow("-1.5") << -1.5 << -2.0;
        QTest::newRow("-2.5") << -2.5 << -2.0;
        QTest::newRow("2.4999") << 2.4999 << 2.0;
        QTest::newRow("2.5001") << 2.5001 << 3.0;
        QTest::newRow("-7.6") << -7.6 << -8.0;
    }

    void roundsHalfToEven()
    {
        QFETCH(double, value);
        QFETCH(double, rounded);
        QCOMPARE(roundHalfEven(value), rounded);
    }

    void convertsToHectopascal_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("pressureValue");
        QTest::newRow("0") << QByteArray("0\r") << "106 hPa" << 106;
        QTest::newRow("100") << QByteArray("100\r") << "212 hPa" << 212;
        QTest::newRow("512") << QByteArray("512\r") << "650 hPa" << 650;
        QTest::newRow("1023") << QByteArray("1023\r") << "1194 hPa" << 1194;
        QTest::newRow("first piece 5") << QByteArray("5") << "111 hPa" << 111;
        QTest::newRow("no number is a reading of 0") << QByteArray("ERR\r") << "106 hPa" << 106;
        QTest::newRow("half rounds to even: 0.5 is 0") << QByteArray("0.5\r") << "106 hPa" << 106;
        QTest::newRow("negative result") << QByteArray("-100\r") << "-1 hPa" << -1;
        QTest::newRow("far negative") << QByteArray("-1000\r") << "-958 hPa" << -958;
        QTest::newRow("highest reading") << QByteArray("6553\r") << "7077 hPa" << 7077;
        QTest::newRow("lowest reading") << QByteArray("-6553\r") << "-6865 hPa" << -6865;
        QTest::newRow("6553.4 rounds into range") << QByteArray("6553.4\r") << "7077 hPa" << 7077;
    }

    void convertsToHectopascal()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, status);
        QFETCH(int, pressureValue);
        std::int16_t value = 12345;
        const auto shown = decodePressure(renderMonitorText(reply.toStdString()), value);
        QVERIFY(shown);
        QCOMPARE(QString::fromStdString(*shown), status);
        QCOMPARE(int(value), pressureValue);
    }

    // A reading whose product with 5 leaves 16 bits must neither wrap into a wrong number
    // nor crash: the status line says so and pressureValue keeps its last value.
    void readingOutOfRangeIsSaidPlainly_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("6554") << QByteArray("6554\r");
        QTest::newRow("6553.5 rounds to 6554") << QByteArray("6553.5\r");
        QTest::newRow("-6554") << QByteArray("-6554\r");
        QTest::newRow("32767") << QByteArray("32767\r");
        QTest::newRow("1E300") << QByteArray("1E300\r");
        QTest::newRow("1E999") << QByteArray("1E999\r");
        QTest::newRow("-1D999") << QByteArray("-1D999\r");
        QTest::newRow("&HFFFF") << QByteArray("&HFFFF\r");
        QTest::newRow("&O777777") << QByteArray("&O777777\r");
        QTest::newRow("400 nines") << QByteArray(400, '9');
        // The C of the CR token continues a hexadecimal number: &H200 CR reads as &H200C.
        QTest::newRow("&H200 CR") << QByteArray("&H200\r");
    }

    void readingOutOfRangeIsSaidPlainly()
    {
        QFETCH(QByteArray, reply);
        std::int16_t value = 650;
        const auto shown = decodePressure(renderMonitorText(reply.toStdString()), value);
        QVERIFY(shown);
        QCOMPARE(*shown, std::string(kPressureOutOfRange));
        QCOMPARE(int(value), 650);
    }

    void inRangeHexadecimalIsConverted()
    {
        std::int16_t value = 0;
        const auto shown = decodePressure(renderMonitorText("&H200"), value);
        QCOMPARE(QString::fromStdString(*shown), QStringLiteral("650 hPa"));
    }
};

VX37_TEST(StatusDecoderTest)
VX37_TEST(PressureDecoderTest)
#include "test_status_decoders.moc"
