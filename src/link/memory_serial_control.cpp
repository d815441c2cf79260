#include "link/memory_serial_control.h"

#include "link/line_settings.h"
#include "link/port_messages.h"

namespace vx37 {

void MemorySerialControl::setCommPort(int port)
{
    port_ = port;
}

bool MemorySerialControl::setSettings(const std::string& settings)
{
    if (!parseLineSettings(settings))
        return false;
    settings_ = settings;
    return true;
}

bool MemorySerialControl::open()
{
    if (const auto refusal = refusals_.find(port_);
        refusal != refusals_.end() && openCount_ >= refusal->second.second) {
        failureText_ = refusal->second.first;
        return false;
    }
    open_ = true;
    connected_ = true;
    ++openCount_;
    return true;
}

void MemorySerialControl::close()
{
    open_ = false;
    connected_ = false;
    inbox_.clear();
}

void MemorySerialControl::output(const std::string& bytes)
{
    if (!open_ || !connected_)
        return;
    written_ += bytes;
    writes_.push_back(bytes);
}

std::string MemorySerialControl::input()
{
    std::string waiting;
    waiting.swap(inbox_);
    return waiting;
}

void MemorySerialControl::receive(const std::string& bytes)
{
    if (!open_ || !connected_)
        return;
    inbox_ += bytes;
    raiseEvent(kEventReceive);
}

void MemorySerialControl::raiseEvent(int code)
{
    commEvent_ = code;
    emit comm();
}

void MemorySerialControl::vanish()
{
    if (!open_ || !connected_)
        return;
    connected_ = false;
    inbox_.clear();
    emit deviceLost(deviceLostText(port_, memoryPortName(port_)));
}

void MemorySerialControl::comeBack()
{
    if (open_ && !connected_) {
        connected_ = true;
        ++openCount_;
    }
}

void MemorySerialControl::clearWritten()
{
    written_.clear();
    writes_.clear();
}

} // namespace vx37
