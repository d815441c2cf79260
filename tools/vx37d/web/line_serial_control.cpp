#include "web/line_serial_control.h"

#include "link/line_settings.h"

#include <QPointer>

#include <algorithm>

namespace vx37::web {

LineSerialControl::LineSerialControl(ProjectorLine& line, QString portName, QObject* parent)
    : SerialControl(parent), line_(line), portName_(std::move(portName))
{
}

bool LineSerialControl::setSettings(const std::string& settings)
{
    if (!parseLineSettings(settings))
        return false;
    settings_ = settings;
    return true;
}

bool LineSerialControl::open()
{
    open_ = true;
    return true;
}

void LineSerialControl::close()
{
    // A frame already relayed cannot be taken back; its reply is dropped if it comes
    // while the port is closed.
    open_ = false;
    partial_.clear();
    waiting_.clear();
    waitingBytes_ = 0;
    inbox_.clear();
}

void LineSerialControl::output(const std::string& bytes)
{
    if (!open_)
        return;
    std::size_t from = 0;
    for (std::size_t cr = bytes.find('\r'); cr != std::string::npos;
         from = cr + 1, cr = bytes.find('\r', from)) {
        std::string frame = std::exchange(partial_, {});
        frame.append(bytes, from, cr - from);
        if (waitingBytes_ + frame.size() + 1 > kMostWaiting ||
            std::find(waiting_.begin(), waiting_.end(), frame) != waiting_.end())
            continue;
        waitingBytes_ += frame.size() + 1;
        waiting_.push_back(std::move(frame));
    }
    partial_.append(bytes, from);
    if (partial_.size() > kMostWaiting)
        partial_.clear(); // no CR in sight: no frame the line could carry
    pump();
}

qint64 LineSerialControl::bytesToWrite() const
{
    return static_cast<qint64>(waitingBytes_ + partial_.size());
}

std::string LineSerialControl::input()
{
    return std::exchange(inbox_, {});
}

std::array<QString, 2> LineSerialControl::portDescriptions() const
{
    // Both choices stand for the one line: the page cannot choose vx37d's port.
    const QString text = QStringLiteral("vx37d: %1 (%2)")
                             .arg(portName_, line_.isUp() ? QStringLiteral("answering")
                                                          : QStringLiteral("not answering"));
    return {text, text};
}

void LineSerialControl::discardWaiting(const std::string& frame)
{
    if (frame.empty() || frame.back() != '\r')
        return;
    const std::string_view body(frame.data(), frame.size() - 1);
    std::erase_if(waiting_, [&](const std::string& waiting) {
        if (waiting != body)
            return false;
        waitingBytes_ -= waiting.size() + 1;
        return true;
    });
}

void LineSerialControl::pump()
{
    // The line fails a frame at once while it is down: the loop goes on, not a recursion.
    if (pumping_)
        return;
    pumping_ = true;
    while (open_ && !onLine_ && !waiting_.empty()) {
        const std::string frame = std::move(waiting_.front());
        waiting_.pop_front();
        waitingBytes_ -= frame.size() + 1;
        onLine_ = true;
        line_.relay(frame, [self = QPointer(this)](const ProjectorLine::Reply& reply) {
            if (self)
                self->answered(reply);
        });
    }
    pumping_ = false;
}

void LineSerialControl::answered(const ProjectorLine::Reply& reply)
{
    onLine_ = false;
    if (reply && open_) {
        inbox_ += *reply;
        commEvent_ = kEventReceive;
        emit comm();
    }
    pump();
}

} // namespace vx37::web
