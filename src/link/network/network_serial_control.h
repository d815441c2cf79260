#pragma once

#include "link/line_settings.h"
#include "link/network/host_lookup.h"
#include "link/network/network_port.h"
#include "link/network/telnet_codec.h"
#include "link/serial_control.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace vx37 {

// The serial control on a serial device server's TCP port (network_port.h).
//
// Nothing here waits on the network. open() starts the name look-up (bounded by
// kNameLookupTimeoutMs) and the connection to each address found in turn (each bounded by
// kNetworkConnectTimeoutMs) and returns; the port is then open as the program sees it, but until
// the connection is up a send writes nothing, as on a closed port, and nothing is held back to go
// out later (five clicks while connecting never become five frames afterwards). Over Telnet the
// line is up once the server has set the line's speed; a later change of speed holds what is sent
// after it until the server says the speed is set. A connection that fails, takes too long, drops,
// or whose far end stops taking what is sent is reported once through deviceLost(), with the reason
// and what to do, and is then made again quietly, each try waiting twice as long as the one before,
// up to kLongestRetryMs. close() lets the connection go at the next pass of the event loop: an
// open() of the same port at the same settings before then keeps it.
class NetworkSerialControl final : public SerialControl
{
    Q_OBJECT

public:
    static constexpr int kFirstRetryMs = 500;
    static constexpr int kLongestRetryMs = 8000;
    // How long data waits for an rfc2217:// server to answer a change of speed.
    static constexpr int kSpeedAnswerMs = 1000;
    // What may wait to be written beyond what the system took: more is a far end that
    // does not read, and the connection is dropped as stalled.
    static constexpr qint64 kMostWaitingBytes = 1 << 20;
    // What a server says before it is sent any of the line's data, and then closes, is its
    // reason to turn the client away (a device server busy with another client).
    static constexpr int kMostGreetingBytes = 80;

    struct Bounds
    {
        int lookUpMs = kNameLookupTimeoutMs;
        int connectMs = kNetworkConnectTimeoutMs; // for each address
        int stallMs = kNetworkStallTimeoutMs;
        qint64 mostWaitingBytes = kMostWaitingBytes;
    };

    explicit NetworkSerialControl(QObject* parent = nullptr);
    ~NetworkSerialControl() override;

    // Where open() connects to.
    void setNetworkPort(const NetworkPort& where) { where_ = where; }
    const NetworkPort& networkPort() const { return where_; }
    // The port number the texts name ("COM1: ..."); 0 for a port given by its name.
    void setCommPort(int port) override { port_ = port; }
    int commPort() const override { return port_; }
    // Tests tighten the bounds and look names up their own way.
    void setBounds(const Bounds& bounds);
    void setResolver(HostLookup::Resolver resolver) { resolver_ = std::move(resolver); }
    bool setSettings(const std::string& settings) override;
    std::string settings() const override { return settingsText_; }
    bool open() override;
    void close() override;
    bool isOpen() const override { return wanted_; }
    QString failureText() const override { return {}; } // an opening fails later, if at all
    void output(const std::string& bytes) override;
    qint64 bytesToWrite() const override { return socket_.bytesToWrite() + held_.size(); }
    std::string input() override;
    int commEvent() const override { return commEvent_; }
    std::array<QString, 2> portDescriptions() const override;

    // What a failure text advises: waiting for the panel to reconnect, or running a
    // command again.
    void setRetryAdvice(RetryAdvice advice) { advice_ = advice; }
    // The line is up right now: connected, and over Telnet the line settings made.
    bool deviceConnected() const { return lineUp_; }

signals:
    // The line is up: after open(), and after every reconnection.
    void connected();
    // Something the operator should know that is no failure of the line: said once per
    // opening (an rfc2217:// server that refused to take the line settings).
    void notice(const QString& text);

private:
    void connectNow();
    void connectToNext();
    void tryFailed(NetworkFailure failure);
    void drop();
    void onConnected();
    void onBytesWritten();
    void lineUp();
    void noticeSpeedNotSet();
    void sendLineSettings();
    void speedSet();
    void onReadyRead();
    void fail(NetworkFailure failure, const QString& words = {});
    void later(void (NetworkSerialControl::*step)());
    void tell(void (NetworkSerialControl::*signal)(const QString&), const QString& text);
    void onError(QAbstractSocket::SocketError error);
    void write(const QByteArray& bytes);
    bool telnet() const { return where_.protocol == NetworkPort::Protocol::Rfc2217; }

    QTcpSocket socket_{this};
    QTimer lookUpTimer_;
    QTimer connectTimer_;
    QTimer stallTimer_; // runs while bytes wait to be written and none were taken
    QTimer retryTimer_;
    QTimer speedTimer_; // bounds the wait for the server's answer to SET-BAUDRATE
    NetworkPort where_;
    TelnetCodec codec_;
    Bounds bounds_;
    HostLookup::Resolver resolver_ = HostLookup::systemResolver;
    std::unique_ptr<HostLookup> lookUp_;
    HostLookup::Addresses addresses_; // of the host, tried in turn
    qsizetype nextAddress_ = 0;
    // Counts the connections: every timer's and queued call's work is for the one it saw.
    quint64 generation_ = 0;
    NetworkPort connectingTo_;   // where the connection is made, whatever where_ says now
    std::string openedSettings_; // the settings the connection was made for
    int port_ = 0;
    int nextRetryMs_ = kFirstRetryMs;
    RetryAdvice advice_ = RetryAdvice::ChooseThePort;
    std::string settingsText_ = "9600,N,8,1";
    LineSettings lineSettings_{9600};
    bool wanted_ = false;   // open as the program sees it
    bool trying_ = false;   // a connection is being made or is up
    bool tcpUp_ = false;    // the connection of this try came up
    bool lineUp_ = false;   // ... and over Telnet the server answered the COM-PORT-OPTION
    bool reported_ = false; // the current failure has been reported
    bool speedNoticed_ = false;
    int commEvent_ = 0;
    QByteArray inbox_;
    bool sentData_ = false; // a byte of the line's data was written on this connection
    bool heard_ = false;    // the line's data arrived after some was sent
    QByteArray greeting_;   // the server's first words, kMostGreetingBytes at most
    bool greetingCut_ = false;
    // Over Telnet, data sent while the server has yet to answer a SET-BAUDRATE waits here:
    // sent at once, it could reach the line before the new speed.
    int speedAnswerAwaited_ = 0; // the codec's count of answers that ends the wait; 0: none
    QByteArray held_;
};

} // namespace vx37
