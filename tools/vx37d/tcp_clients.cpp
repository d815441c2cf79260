#include "tcp_clients.h"

#include "options.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vx37::daemon {

void TcpClient::send(const char* data, qint64 size)
{
    if (shut) {
        // Never blocking: what does not fit is lost with the connection.
        ::send(spare, data, static_cast<std::size_t>(size), MSG_NOSIGNAL | MSG_DONTWAIT);
    } else {
        socket->write(data, size);
        socket->flush();
    }
}

void reset(QTcpSocket& socket, int spare)
{
    const linger now{1, 0};
    const int fd = spare >= 0 ? spare : static_cast<int>(socket.socketDescriptor());
    if (fd >= 0)
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    socket.abort();
    if (spare >= 0)
        ::close(spare);
}

void release(int& spare)
{
    if (spare >= 0)
        ::close(spare);
    spare = -1;
}

std::pair<QString, QString> addressOf(const QTcpSocket& socket)
{
    QHostAddress address = socket.peerAddress();
    bool v4 = false;
    if (const quint32 ipv4 = address.toIPv4Address(&v4); v4)
        address = QHostAddress(ipv4);
    return {address.toString(), ListenAddress{address, socket.peerPort()}.text()};
}

void adopt(TcpClient& client, QTcpSocket* socket, qint64 readAhead)
{
    constexpr int kSystemSendBuffer = 4096;
    client.socket = socket;
    client.spare = ::fcntl(static_cast<int>(socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    socket->setReadBufferSize(readAhead);
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSystemSendBuffer);
}

} // namespace vx37::daemon
