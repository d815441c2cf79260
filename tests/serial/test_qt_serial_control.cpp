#include "link/serial/qt_serial_control.h"

#include "pseudo_terminal.h"
#include "test_registry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace vx37;

class QtSerialControlTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir_;

    QString linkTo(const PseudoTerminal& pty, const QString& name = QStringLiteral("com1"))
    {
        const QString link = dir_.filePath(name);
        QFile::remove(link);
        if (!QFile::link(pty.terminalPath(), link))
            qFatal("cannot link %s", qPrintable(link));
        return link;
    }

    // Collects received characters until `expected` is complete or the bound passes.
    static QByteArray receiveUntil(QtSerialControl& comm, const QByteArray& expected)
    {
        QByteArray got;
        QSignalSpy events(&comm, &SerialControl::comm);
        QElapsedTimer elapsed;
        elapsed.start();
        while (got.size() < expected.size() && elapsed.elapsed() < 5000) {
            if (events.isEmpty() && !events.wait(5000))
                break;
            events.clear();
            if (comm.commEvent() != SerialControl::kEventReceive)
                break;
            got += QByteArray::fromStdString(comm.input());
        }
        return got;
    }

private slots:
    void init()
    {
        QVERIFY(dir_.isValid());
        qunsetenv("VX37_COM1");
    }

    void frameIsOnTheWireWhenOutputReturns()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        qputenv("VX37_COM1", pty.terminalPath().toLocal8Bit());
        QtSerialControl comm;
        comm.setCommPort(1);
        QVERIFY(comm.setSettings("19200,N,8,1"));
        QVERIFY2(comm.open(), qPrintable(comm.failureText()));
        comm.output("CF KEYDIS NONE\r");
        // No event loop has run: the bytes must already be at the other end.
        QCOMPARE(pty.readAvailable(1000), QByteArray("CF KEYDIS NONE\r"));
        comm.output(std::string("\x00\xff\x80", 3));
        QCOMPARE(pty.readAvailable(1000), QByteArray("\x00\xff\x80", 3));
    }

    void bytesFromTheOtherEndRaiseTheReceiveEvent()
    {
        PseudoTerminal pty;
        qputenv("VX37_COM1", pty.terminalPath().toLocal8Bit());
        QtSerialControl comm;
        QVERIFY(comm.open());
        pty.write("00\r");
        QCOMPARE(receiveUntil(comm, "00\r"), QByteArray("00\r"));
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all += char(i);
        pty.write(all);
        QCOMPARE(receiveUntil(comm, all), all);
    }

    void speedChangeTakesEffectOnTheOpenPort()
    {
        PseudoTerminal pty;
        qputenv("VX37_COM1", pty.terminalPath().toLocal8Bit());
        QtSerialControl comm;
        QVERIFY(comm.setSettings("19200,N,8,1"));
        QVERIFY(comm.open());
        QCOMPARE(pty.terminalSpeed(), 19200);
        QVERIFY(comm.setSettings("9600,N,8,1"));
        QCOMPARE(pty.terminalSpeed(), 9600);
        QVERIFY(comm.isOpen());
        QVERIFY(!comm.setSettings("fast"));
        QCOMPARE(comm.settings(), std::string("9600,N,8,1"));
    }

    void missingDeviceNamesThePathAndTheVariable()
    {
        const QString path = dir_.filePath(QStringLiteral("no-such-adapter"));
        qputenv("VX37_COM1", path.toLocal8Bit());
        QtSerialControl comm;
        QVERIFY(!comm.open());
        QVERIFY(!comm.isOpen());
        QVERIFY2(comm.failureText().contains(path), qPrintable(comm.failureText()));
        QVERIFY(comm.failureText().contains(QStringLiteral("VX37_COM1")));
        comm.output("C00\r"); // nothing to write to, and no crash
    }

    // One device under two names (a link and the terminal's own path) is one device: the
    // second opener is refused, even as root, and told who holds it.
    void secondOpenerIsToldWhoHoldsThePort()
    {
        PseudoTerminal pty;
        qputenv("VX37_COM1", linkTo(pty).toLocal8Bit());
        QtSerialControl first;
        QVERIFY(first.open());
        QtSerialControl second;
        second.setDevicePath(pty.terminalPath());
        QVERIFY(!second.open());
        const QString holder = QStringLiteral("in use by %1 (pid %2)")
                                   .arg(QCoreApplication::applicationName())
                                   .arg(QCoreApplication::applicationPid());
        QVERIFY2(second.failureText().contains(holder), qPrintable(second.failureText()));
    }

    // A line whose far end reads late: the bytes wait in order behind a long text, and the
    // port stays open; nothing is taken for a lost device.
    void aBusyLineKeepsItsBytesInOrder()
    {
        PseudoTerminal pty;
        qputenv("VX37_COM1", pty.terminalPath().toLocal8Bit());
        QtSerialControl comm;
        QVERIFY(comm.open());
        QSignalSpy lost(&comm, &SerialControl::deviceLost);
        const std::string paste(40000, 'p');
        comm.output(paste + '\r');
        comm.output("C00\r");
        comm.output("C01\r");
        const QByteArray expected = QByteArray::fromStdString(paste + "\rC00\rC01\r");
        QByteArray got;
        QElapsedTimer elapsed;
        elapsed.start();
        while (got.size() < expected.size() && elapsed.elapsed() < 10000) {
            QCoreApplication::processEvents();
            got += pty.readAvailable(20);
        }
        // Errors from a device still there (another reader, a full line) keep the port.
        for (const auto error :
             {QSerialPort::ReadError, QSerialPort::WriteError, QSerialPort::ResourceError})
            comm.onError(error);
        QCoreApplication::processEvents();
        QCOMPARE(got, expected);
        QVERIFY(lost.isEmpty());
        QVERIFY(comm.deviceConnected());
        comm.setLossProbe([] { return true; }); // the same from a device gone is a loss
        comm.onError(QSerialPort::ResourceError);
        QVERIFY(lost.wait(1000));
    }

    void lostDeviceIsReportedOnceAndReopenedWhenItReturns()
    {
        auto pty = std::make_unique<PseudoTerminal>();
        const QString link = linkTo(*pty);
        qputenv("VX37_COM1", link.toLocal8Bit());
        QtSerialControl comm;
        QSignalSpy lost(&comm, &SerialControl::deviceLost);
        QVERIFY(comm.open());

        pty.reset(); // the adapter is pulled
        QVERIFY(lost.wait(3000));
        QVERIFY2(lost.at(0).at(0).toString().contains(link),
                 qPrintable(lost.at(0).at(0).toString()));
        QTest::qWait(300); // a device that keeps failing must not be reported again
        QCOMPARE(lost.count(), 1);
        QVERIFY(comm.isOpen());
        QVERIFY(!comm.deviceConnected());
        comm.output("C00\r"); // written nowhere, quietly
        QTest::failOnWarning("QIODevice::read (QSerialPort): device not open");
        QCOMPARE(comm.input(), std::string()); // read from nowhere, quietly

        PseudoTerminal back; // the adapter comes back under the same name
        linkTo(back);
        QTRY_VERIFY_WITH_TIMEOUT(comm.deviceConnected(), 5000);
        comm.output("CR0\r");
        QCOMPARE(back.readAvailable(1000), QByteArray("CR0\r"));
        back.write("00\r");
        QCOMPARE(receiveUntil(comm, "00\r"), QByteArray("00\r"));
        QCOMPARE(lost.count(), 1);
    }

    void comPortIsFoundAtEachOpeningAndALostAdapterComesBackAsItself()
    {
        // No variable: COM1 is the first port present when the port opens.
        PortList present;
        QtSerialControl comm;
        comm.setRetryInterval(50);
        comm.setPortLister([&present] { return present; });
        QVERIFY(!comm.open());
        QVERIFY2(comm.failureText().startsWith(QStringLiteral("No serial port is present")),
                 qPrintable(comm.failureText()));

        auto adapter = std::make_unique<PseudoTerminal>(); // plugged in after the warning
        const QString byId = linkTo(*adapter, QStringLiteral("usb-B-port0"));
        present = {{adapter->terminalPath(), QStringLiteral("USB UART"), byId, false}};
        QVERIFY2(comm.open(), qPrintable(comm.failureText()));
        comm.output("C00\r");
        QCOMPARE(adapter->readAvailable(1000), QByteArray("C00\r"));

        // Pulled; an adapter that sorts first appears, then ours comes back: ours reopens.
        QSignalSpy lost(&comm, &SerialControl::deviceLost);
        adapter.reset();
        QVERIFY(lost.wait(3000));
        PseudoTerminal other;
        present = {{other.terminalPath(), {}, linkTo(other, QStringLiteral("usb-A-port0")), false}};
        PseudoTerminal back;
        linkTo(back, QStringLiteral("usb-B-port0"));
        QTRY_VERIFY_WITH_TIMEOUT(comm.deviceConnected(), 5000);
        comm.output("CR0\r");
        QCOMPARE(back.readAvailable(1000), QByteArray("CR0\r"));
        QCOMPARE(other.readAvailable(100), QByteArray());
    }

    void closingDuringTheWaitEndsIt()
    {
        auto pty = std::make_unique<PseudoTerminal>();
        const QString link = linkTo(*pty);
        qputenv("VX37_COM1", link.toLocal8Bit());
        QtSerialControl comm;
        QSignalSpy lost(&comm, &SerialControl::deviceLost);
        QVERIFY(comm.open());
        pty.reset();
        QVERIFY(lost.wait(3000));
        comm.close();
        PseudoTerminal back;
        linkTo(back);
        QTest::qWait(QtSerialControl::kRetryIntervalMs + 500);
        QVERIFY(!comm.deviceConnected());
        QVERIFY(!comm.isOpen());
    }
};

VX37_TEST(QtSerialControlTest)
#include "test_qt_serial_control.moc"
