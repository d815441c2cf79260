// Figures of vx37d's MQTT front-end against vx37-sim and Debian's mosquitto on loopback:
// - the simulator's state changed (count-down over, cooling over) to the retained state
//   published, with --poll 1 (target p50 <= the poll interval + 50 ms);
// - a command published to its frame read at the simulator (target p50 <= 5 ms);
// - a site: 20 vx37d and 20 simulators on one broker: every command answered, the resident
//   memory of each vx37d, the broker's message rate at rest.
//
// Usage: vx37-mqtt-bench [--quick]    (--quick: fewer samples, 5 instances)
// Exits 1 when a figure could not be taken.

#include "bench_support.h"
#include "mosquitto_process.h"
#include "sim/pty_server.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <mosquitto.h>

#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

using namespace vx37;
using vx37::bench::median;

namespace {

// A blocking libmosquitto client of the bench's own, every message stamped as it comes.
struct Client
{
    struct Got
    {
        std::int64_t ns;
        std::string topic, payload;
    };
    explicit Client(quint16 port, const char* filter)
    {
        m = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(m, [](mosquitto*, void* self, const mosquitto_message* msg) {
            static_cast<Client*>(self)->got.push_back(
                {sim::monotonicNanoseconds(), msg->topic,
                 std::string(static_cast<const char*>(msg->payload), msg->payloadlen)});
        });
        ok = mosquitto_connect(m, "127.0.0.1", port, 60) == MOSQ_ERR_SUCCESS &&
             mosquitto_subscribe(m, nullptr, filter, 1) == MOSQ_ERR_SUCCESS;
    }
    ~Client() { mosquitto_destroy(m); }
    void publish(const std::string& topic, const std::string& payload)
    {
        mosquitto_publish(m, nullptr, topic.c_str(), int(payload.size()), payload.data(), 1, false);
    }
    // Runs the client until the last message matches, or ms pass; its stamp, or -1.
    std::int64_t waitFor(const std::string& topic, const std::string& payload, int ms)
    {
        const std::int64_t end = sim::monotonicNanoseconds() + ms * 1000000LL;
        for (std::size_t seen = got.size(); sim::monotonicNanoseconds() < end;) {
            mosquitto_loop(m, 2, 1);
            for (; seen < got.size(); ++seen)
                if (got[seen].topic == topic && got[seen].payload == payload)
                    return got[seen].ns;
        }
        return -1;
    }
    void runFor(int ms) { waitFor({}, "\x01", ms); }
    mosquitto* m;
    bool ok = false;
    std::vector<Got> got;
};

// The simulator on a thread of its own, each frame it reads stamped with its bytes.
struct Sim
{
    explicit Sim(bool on)
    {
        sim::SimOptions options = bench::quietSimOptions(dir);
        options.projector.power = on ? sim::Power::On : sim::Power::StandBy;
        options.projector.countDownMs = options.projector.coolingMs = 1000;
        server = std::make_unique<sim::PtyServer>(options);
        server->onRead = [this](std::int64_t ns, std::string_view bytes) {
            std::lock_guard lock(mutex);
            frames.emplace_back(ns, std::string(bytes));
        };
        std::string error;
        ok = server->open(&error) && ::pipe2(stop, O_CLOEXEC) == 0;
        if (ok)
            thread = std::thread([this] { server->serve(stop[0]); });
    }
    ~Sim()
    {
        if (thread.joinable()) {
            [[maybe_unused]] const auto ignored = ::write(stop[1], "s", 1);
            thread.join();
        }
    }
    // The stamp of the first frame from index on that starts with code, or -1.
    std::int64_t frame(std::size_t from, const std::string& code)
    {
        std::lock_guard lock(mutex);
        for (std::size_t i = from; i < frames.size(); ++i)
            if (frames[i].second.starts_with(code))
                return frames[i].first;
        return -1;
    }
    std::size_t count()
    {
        std::lock_guard lock(mutex);
        return frames.size();
    }
    QTemporaryDir dir;
    std::unique_ptr<sim::PtyServer> server;
    std::mutex mutex;
    std::vector<std::pair<std::int64_t, std::string>> frames;
    std::thread thread;
    int stop[2] = {-1, -1};
    bool ok = false;
};

std::unique_ptr<QProcess> daemonOn(const QString& link, const QString& name, const QString& url,
                                   const QString& poll)
{
    auto process = std::make_unique<QProcess>();
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(QStringLiteral(VX37D_PATH),
                   {"--port", link, "--http", "off", "--share", "off", "--pjlink", "off",
                    "--poll", poll, "--name", name, "--mqtt", url});
    return process;
}

long residentKiBOf(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    mosquitto_lib_init();
    MosquittoProcess broker;
    const std::string root = "vx37/bench/";
    bool done = true;

    // State changed to state published, and command to frame, on one instance.
    std::vector<double> published, toWire;
    {
        Sim sim(false);
        const auto daemon = daemonOn(QString::fromStdString(sim.server->path()), "bench",
                                     broker.url(), "1");
        Client client(broker.port(), "vx37/bench/#");
        done = sim.ok && client.ok && client.waitFor(root + "state", "standby", 10000) > 0;
        for (int i = 0; done && i < (quick ? 4 : 15); ++i) {
            const bool on = i % 2 == 0;
            const std::size_t from = sim.count();
            client.publish(root + "power/set", on ? "ON" : "OFF");
            const std::int64_t at = client.waitFor(root + "state", on ? "on" : "standby", 5000);
            const std::int64_t frame = sim.frame(from, on ? "C00" : "C01");
            done = at > 0 && frame > 0;
            published.push_back((at - frame - 1000 * 1000000LL) / 1e6);
        }
        for (int i = 0; done && i < (quick ? 20 : 200); ++i) {
            client.runFor(30); // the read-back of the last one done with
            const std::size_t from = sim.count();
            const std::int64_t sent = sim::monotonicNanoseconds();
            client.publish(root + "picture_mute/set", i % 2 ? "OFF" : "ON");
            const std::string code = i % 2 ? "C0E" : "C0D";
            std::int64_t frame = -1;
            for (int wait = 0; frame < 0 && wait < 1000; ++wait, client.runFor(1))
                frame = sim.frame(from, code);
            done = frame > 0;
            toWire.push_back((frame - sent) / 1e6);
        }
        daemon->terminate();
        daemon->waitForFinished(5000);
    }
    if (!done) {
        std::printf("one instance: FAILED (no state or frame came)\n");
        return 1;
    }
    std::printf("state changed at the simulator to retained state published (--poll 1), %zu changes:\n"
                "    median %.1f ms, 90th percentile %.1f ms (target median <= 1050 ms: %s)\n",
                published.size(), median(published), bench::percentile(published, 0.9),
                bench::verdict(median(published) <= 1050));
    std::printf("command published to frame at the simulator, %zu commands:\n"
                "    median %.2f ms, 90th percentile %.2f ms (target median <= 5 ms: %s)\n",
                toWire.size(), median(toWire), bench::percentile(toWire, 0.9),
                bench::verdict(median(toWire) <= 5));

    // A site: every instance on its own simulator, all on one broker.
    const int instances = quick ? 5 : 20;
    std::vector<std::unique_ptr<Sim>> sims;
    std::vector<std::unique_ptr<QProcess>> daemons;
    Client site(broker.port(), "vx37/#");
    for (int i = 0; i < instances; ++i) {
        sims.push_back(std::make_unique<Sim>(true));
        daemons.push_back(daemonOn(QString::fromStdString(sims.back()->server->path()),
                                   QStringLiteral("site%1").arg(i), broker.url(), "5"));
    }
    int online = 0;
    for (int wait = 0; online < instances && wait < 100; ++wait) {
        site.runFor(100);
        online = 0;
        for (int i = 0; i < instances; ++i)
            for (auto it = site.got.rbegin(); it != site.got.rend(); ++it)
                if (it->topic == "vx37/site" + std::to_string(i) + "/availability") {
                    online += it->payload == "online";
                    break;
                }
    }
    site.runFor(3000);
    site.got.clear();
    for (int i = 0; i < instances; ++i)
        site.publish("vx37/site" + std::to_string(i) + "/command", "status");
    int answered = 0;
    for (int wait = 0; answered < instances && wait < 100; ++wait) {
        site.runFor(100);
        answered = 0;
        for (const Client::Got& got : site.got)
            answered += got.topic.ends_with("/answer") && got.payload.find("\"error\"") == std::string::npos;
    }
    // At rest: the polls go on, the values stay.
    site.runFor(5000);
    site.got.clear();
    const int restSeconds = quick ? 10 : 65;
    site.runFor(restSeconds * 1000);
    std::vector<double> resident;
    for (const auto& daemon : daemons)
        resident.push_back(residentKiBOf(daemon->processId()) / 1024.0);
    std::printf("a site of %d vx37d and %d simulators on one broker:\n"
                "    online %d of %d; commands answered %d of %d (%s)\n"
                "    resident memory of each vx37d: median %.1f MB, largest %.1f MB\n"
                "    messages at rest, a slow poll round included: %zu in %d s (%.2f a second)\n",
                instances, instances, online, instances, answered, instances,
                bench::verdict(answered == instances), median(resident),
                *std::max_element(resident.begin(), resident.end()), site.got.size(),
                restSeconds, double(site.got.size()) / restSeconds);
    for (const auto& daemon : daemons) {
        daemon->terminate();
        daemon->waitForFinished(5000);
    }
    return answered == instances ? 0 : 1;
}
