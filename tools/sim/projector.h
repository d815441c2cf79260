#pragma once

// The simulated VX37: its state, what each command does to it, and the replies to the
// status queries. Time is passed in (milliseconds on any monotonic scale), so the same
// class runs on the wall clock in vx37-sim and on virtual time in the tests.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx37::sim {

enum class Power { StandBy, CountDown, On, Cooling };
enum class Input { Pc1 = 1, Pc2 = 2, Video = 3 };
enum class LampMode { Dual, No1, No2 }; // two lamps, or one of them alone
enum class KeyLock { None, RemoteControl, PanelKeys };
enum class ScreenSize { Regular, Wide };
enum class LevelId { Volume, Brightness, Zoom, Keystone };

// Where a run starts and how fast things happen.
struct ProjectorSettings
{
    Power power = Power::StandBy; // StandBy or On
    int countDownMs = 3000;       // stand-by -> on
    int coolingMs = 5000;         // on -> stand-by
    int lampHours = 1234;
    int hourMs = 60000; // lamp-lit time that counts as one lamp hour
    LampMode lampMode = LampMode::Dual;
    Input input = Input::Pc1;
    bool reverseTopBottom = false;
    bool reverseLeftRight = false;
    int pressureHpa = 1013;
    bool signal = true;    // a picture source is connected to the selected input
    double ambient = 25.0; // degrees Celsius; every sensor reads it when the lamps are cold
};

// What one command did: the reply to send back (CR included) and, for a person watching,
// the state change it caused.
struct Outcome
{
    std::string reply;
    std::string change; // empty when nothing changed
    bool known = true;  // false: the code is not one the projector knows
};

struct Level
{
    int value;
    int min;
    int max;
};

class Projector
{
public:
    static constexpr std::string_view kAck = "\x06\r";
    // The reply to a code the projector does not know, or could not read.
    static constexpr std::string_view kErrorReply = "ERR\r";
    // How fast the sensors follow the lamps: the gap to the final temperature shrinks by
    // a factor e every kHeatTimeConstantMs.
    static constexpr int kHeatTimeConstantMs = 20000;
    // How much warmer than the ambient each sensor ends up with the lamps lit.
    static constexpr double kHeatRise[3] = {8.0, 20.0, 35.0};

    explicit Projector(const ProjectorSettings& settings = {}, std::int64_t now = 0);

    // Moves the projector's clock to now; returns the changes that happened by themselves
    // on the way (the end of a count down or of a cooling down).
    std::vector<std::string> advanceTo(std::int64_t now);
    // When the next change by itself is due, if one is.
    std::optional<std::int64_t> nextChangeAt() const;

    // Carries out one command code (the frame without its CR) received at now.
    Outcome handle(std::string_view code, std::int64_t now);

    Power power() const { return power_; }
    bool lampsLit() const { return power_ == Power::CountDown || power_ == Power::On; }
    Input input() const { return input_; }
    const Level& level(LevelId id) const { return levels_[static_cast<int>(id)]; }
    bool soundMute() const { return soundMute_; }
    bool pictureMute() const { return pictureMute_; }
    bool freeze() const { return freeze_; }
    bool menu() const { return menu_; }
    int menuRow() const { return menuRow_; }
    ScreenSize screenSize() const { return screenSize_; }
    int preset() const { return preset_; } // 1..9 for the nine picture presets
    KeyLock keyLock() const { return keyLock_; }
    bool presentationTimer() const { return presentationTimer_; }
    std::string_view signalType(Input input) const;
    int lampHours() const;
    double temperature(int sensor) const { return temperatures_[sensor]; } // sensor 0..2

    // The reply to a status query, or nullopt for a code that is no status query.
    std::optional<std::string> statusReply(std::string_view code) const;

private:
    void settle(std::int64_t until);
    void setPower(Power power, std::int64_t at);
    Outcome apply(std::string_view code, std::int64_t now);
    std::string moveLevel(LevelId id, int step);

    ProjectorSettings settings_;
    std::int64_t now_;
    Power power_;
    std::int64_t phaseEndsAt_ = 0; // for CountDown and Cooling
    std::int64_t lampLitMs_ = 0;
    double temperatures_[3];
    Input input_;
    Level levels_[4] = {{20, 0, 40}, {50, 0, 100}, {0, 0, 20}, {0, -30, 30}};
    bool soundMute_ = false;
    bool pictureMute_ = false;
    bool freeze_ = false;
    bool menu_ = false;
    int menuRow_ = 0;
    ScreenSize screenSize_ = ScreenSize::Regular;
    int preset_ = 1;
    KeyLock keyLock_ = KeyLock::None;
    bool presentationTimer_ = false;
    std::string_view signalTypes_[3] = {"RGB", "RGB", "Auto"};
};

std::string_view powerName(Power power);

// The air pressure sensor's reading for a pressure in hPa: the inverse of the panel's
// conversion ((reading x 5 / 1024) - 0.204) / 0.00459 + 150.
int pressureReading(int hectopascal);

} // namespace vx37::sim
