// Any topic and payload a broker delivers, through the MQTT front-end onto a line in virtual
// time: at most a command and its read-back go out; what is published stays under the root,
// an answer being a JSON object.
#include "link/memory_serial_control.h"
#include "link/virtual_clock.h"
#include "mqtt/mqtt_front.h"
#include "pjlink/pjlink_bridge.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>

using namespace vx37;
using namespace vx37::mqtt;

struct Recorder : MqttLink
{
    bool ready() const override { return true; }
    void publish(const std::string& topic, const std::string& payload, bool) override
    {
        const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
        if (!topic.starts_with("vx37/fuzz/") ||
            (topic == "vx37/fuzz/answer" && !json.contains("name") && !json.contains("error")))
            std::abort();
    }
    void subscribe(const std::string&) override {}
};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static VirtualClock clock;
    static MemorySerialControl port;
    static const ProjectorLine::Clock now = [] { return clock.now(); };
    static ProjectorLine line(port, clock.createTimer(0), clock.createTimer(0),
                              clock.createTimer(0), now, 5000, pjlink::Bridge::polledQueries());
    static Recorder link;
    static MqttFront front(line, link, {"fuzz", "", "0"}, now);
    [[maybe_unused]] static const bool started = (line.start(), port.receive("80\r"), true);
    if (size == 0)
        return 0;
    // Byte 0: whether the projector acknowledges, whether the topic is under the root; then
    // the topic, a NUL, the payload.
    const bool acknowledges = data[0] & 1;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t nul = std::min(rest.find('\0'), rest.size());
    const std::string topic = (data[0] & 2 ? "vx37/fuzz/" : "") + std::string(rest.substr(0, nul));
    const std::string payload(rest.substr(std::min(nul + 1, rest.size())));
    clock.advance(ProjectorLine::kPollAnswerMs * 4); // the poll's own frames done with
    port.clearWritten();
    front.message(topic, payload);
    for (int i = 0; i < 4; ++i) {
        if (acknowledges)
            port.receive("\x06\r");
        clock.advance(MqttFront::kFollowUpMs);
    }
    if (port.writes().size() > 2 + pjlink::Bridge::polledQueries().size() * 2)
        std::abort();
    return 0;
}
