#include "sim/projector.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace vx37::sim {

namespace {

enum class Op {
    PowerOn,
    PowerOff,
    SelectInput,
    SoundMute,
    PictureMute,
    Freeze,
    Menu,
    ScreenSizeOp,
    Arrow,
    Select,
    MoveLevel,
    AutoImage,
    ImageMenu,
    PresentationTimer,
    DisplayClear,
    Lock,
    Preset,
    SignalType,
};

struct Command
{
    std::string_view code;
    Op op;
    int arg = 0;
    int arg2 = 0;
};

constexpr std::array<std::string_view, 6> kSignalNames = {"RGB",  "Component", "Scart",
                                                          "Auto", "Video",     "S-Video"};
constexpr std::array<std::string_view, 9> kPresetNames = {
    "STAND", "REAL", "CINEMA", "IMAGE1", "IMAGE2", "IMAGE3", "IMAGE4", "B.Board", "Dynamic"};
constexpr std::array<std::string_view, 4> kArrowNames = {"up", "down", "left", "right"};
constexpr std::array<std::string_view, 4> kLevelNames = {"volume", "brightness", "zoom",
                                                         "keystone"};
constexpr int kMenuRows = 8;

constexpr int level(LevelId id)
{
    return static_cast<int>(id);
}

// Every code the projector knows besides the status queries.
constexpr std::array<Command, 51> kCommands{{
    {"C00", Op::PowerOn},
    {"C01", Op::PowerOff},
    {"C05", Op::SelectInput, 1},
    {"C06", Op::SelectInput, 2},
    {"C07", Op::SelectInput, 3},
    {"C0B", Op::SoundMute, 1},
    {"C0C", Op::SoundMute, 0},
    {"C0D", Op::PictureMute, 1},
    {"C0E", Op::PictureMute, 0},
    {"C43", Op::Freeze, 1},
    {"C44", Op::Freeze, 0},
    {"C1C", Op::Menu, 1},
    {"C1D", Op::Menu, 0},
    {"C0F", Op::ScreenSizeOp, 0},
    {"C10", Op::ScreenSizeOp, 1},
    {"C3C", Op::Arrow, 0},
    {"C3D", Op::Arrow, 1},
    {"C3B", Op::Arrow, 2},
    {"C3A", Op::Arrow, 3},
    {"C3F", Op::Select},
    {"C09", Op::MoveLevel, level(LevelId::Volume), +1},
    {"C0A", Op::MoveLevel, level(LevelId::Volume), -1},
    {"C20", Op::MoveLevel, level(LevelId::Brightness), +1},
    {"C21", Op::MoveLevel, level(LevelId::Brightness), -1},
    {"C30", Op::MoveLevel, level(LevelId::Zoom), +1},
    {"C31", Op::MoveLevel, level(LevelId::Zoom), -1},
    {"C8E", Op::MoveLevel, level(LevelId::Keystone), +1},
    {"C8F", Op::MoveLevel, level(LevelId::Keystone), -1},
    {"C89", Op::AutoImage},
    {"C27", Op::ImageMenu},
    {"C8A", Op::PresentationTimer},
    {"C1E", Op::DisplayClear},
    {"CF KEYDIS NONE", Op::Lock, 0},
    {"CF KEYDIS RC", Op::Lock, 1},
    {"CF KEYDIS KEY", Op::Lock, 2},
    {"C11", Op::Preset, 1},
    {"C12", Op::Preset, 2},
    {"C13", Op::Preset, 3},
    {"C14", Op::Preset, 4},
    {"C15", Op::Preset, 5},
    {"C16", Op::Preset, 6},
    {"C17", Op::Preset, 7},
    {"C18", Op::Preset, 8},
    {"C19", Op::Preset, 9},
    {"CF INPUT1 ANALOG", Op::SignalType, 1, 0},
    {"C25", Op::SignalType, 2, 0},
    {"C24", Op::SignalType, 2, 1},
    {"C26", Op::SignalType, 2, 2},
    {"C32", Op::SignalType, 3, 3},
    {"C33", Op::SignalType, 3, 4},
    {"C34", Op::SignalType, 3, 5},
}};

const Command* findCommand(std::string_view code)
{
    const auto found =
        std::find_if(kCommands.begin(), kCommands.end(),
                     [code](const Command& command) { return command.code == code; });
    return found == kCommands.end() ? nullptr : &*found;
}

std::string_view inputName(Input input)
{
    switch (input) {
    case Input::Pc1:
        return "PC1";
    case Input::Pc2:
        return "PC2";
    case Input::Video:
        return "Video";
    }
    return "?";
}

std::string_view onOff(bool on)
{
    return on ? "on" : "off";
}

std::string keyLockName(KeyLock lock)
{
    switch (lock) {
    case KeyLock::None:
        return "none";
    case KeyLock::RemoteControl:
        return "remote control keys";
    case KeyLock::PanelKeys:
        return "projector keys";
    }
    return "?";
}

std::string changeText(std::string_view what, std::string_view from, std::string_view to)
{
    std::string text(what);
    if (from == to)
        return text.append(" stays ").append(to);
    return text.append(" ").append(from).append(" -> ").append(to);
}

std::string changeFlag(std::string_view what, bool from, bool to)
{
    return changeText(what, onOff(from), onOff(to));
}

char hexDigit(int value)
{
    return "0123456789ABCDEF"[value & 0xF];
}

// Two hex digits and CR, built in place: GCC 12 at -O3 takes the chain of operator+ on
// one-character strings for an overlapping copy (a false -Wrestrict).
std::string twoDigitReply(int high, int low)
{
    return {hexDigit(high), hexDigit(low), '\r'};
}

} // namespace

std::string_view powerName(Power power)
{
    switch (power) {
    case Power::StandBy:
        return "stand-by";
    case Power::CountDown:
        return "count down";
    case Power::On:
        return "on";
    case Power::Cooling:
        return "cooling down";
    }
    return "?";
}

int pressureReading(int hectopascal)
{
    const double volts = (hectopascal - 150) * 0.00459 + 0.204;
    return static_cast<int>(std::lround(volts * 1024.0 / 5.0));
}

Projector::Projector(const ProjectorSettings& settings, std::int64_t now)
    : settings_(settings), now_(now), power_(settings.power), input_(settings.input)
{
    if (power_ != Power::On)
        power_ = Power::StandBy;
    for (int sensor = 0; sensor < 3; ++sensor) {
        temperatures_[sensor] = settings_.ambient;
        if (power_ == Power::On)
            temperatures_[sensor] += kHeatRise[sensor]; // warmed up already
    }
}

std::string_view Projector::signalType(Input input) const
{
    return signalTypes_[static_cast<int>(input) - 1];
}

int Projector::lampHours() const
{
    const std::int64_t hours = settings_.lampHours + lampLitMs_ / std::max(1, settings_.hourMs);
    return static_cast<int>(std::min<std::int64_t>(hours, 99999));
}

std::optional<std::int64_t> Projector::nextChangeAt() const
{
    if (power_ == Power::CountDown || power_ == Power::Cooling)
        return phaseEndsAt_;
    return std::nullopt;
}

void Projector::settle(std::int64_t until)
{
    // The lamps and the sensors change continuously; nothing else does.
    if (until <= now_)
        return;
    const std::int64_t elapsed = until - now_;
    if (lampsLit())
        lampLitMs_ += elapsed;
    const double keep = std::exp(-static_cast<double>(elapsed) / kHeatTimeConstantMs);
    for (int sensor = 0; sensor < 3; ++sensor) {
        const double target = settings_.ambient + (lampsLit() ? kHeatRise[sensor] : 0.0);
        temperatures_[sensor] = target + (temperatures_[sensor] - target) * keep;
    }
    now_ = until;
}

std::vector<std::string> Projector::advanceTo(std::int64_t now)
{
    std::vector<std::string> changes;
    while (const auto due = nextChangeAt()) {
        if (*due > now)
            break;
        settle(*due);
        const Power from = power_;
        setPower(power_ == Power::CountDown ? Power::On : Power::StandBy, *due);
        changes.push_back(changeText("power", powerName(from), powerName(power_)));
    }
    settle(now);
    return changes;
}

void Projector::setPower(Power power, std::int64_t at)
{
    power_ = power;
    if (power == Power::CountDown)
        phaseEndsAt_ = at + settings_.countDownMs;
    else if (power == Power::Cooling)
        phaseEndsAt_ = at + settings_.coolingMs;
    if (power == Power::Cooling || power == Power::StandBy) {
        // The picture goes with the lamps: what was frozen or shown on top is gone.
        freeze_ = false;
        menu_ = false;
    }
}

std::optional<std::string> Projector::statusReply(std::string_view code) const
{
    if (code == "CR0") {
        switch (power_) {
        case Power::On:
            return "00\r";
        case Power::StandBy:
            return "80\r";
        case Power::CountDown:
            return "40\r";
        case Power::Cooling:
            return "20\r";
        }
    }
    if (code == "CR1")
        return std::to_string(static_cast<int>(input_)) + "\r";
    if (code == "CR3") {
        char text[16];
        std::snprintf(text, sizeof text, "%05d\r", lampHours());
        return text;
    }
    if (code == "CR4")
        return std::string(settings_.reverseLeftRight ? "0" : "1") +
               (settings_.reverseTopBottom ? "0" : "1") + "\r";
    if (code == "CR6") {
        // Three fields of five characters, blank-separated: "025.0 045.0 060.0".
        char text[32];
        const auto field = [this](int sensor) {
            return std::clamp(temperatures_[sensor], 0.0, 999.9);
        };
        std::snprintf(text, sizeof text, "%05.1f %05.1f %05.1f\r", field(0), field(1), field(2));
        return text;
    }
    if (code == "CR7") {
        const int mode = static_cast<int>(settings_.lampMode);
        const int lampsInUse = settings_.lampMode == LampMode::Dual  ? 3
                               : settings_.lampMode == LampMode::No1 ? 1
                                                                     : 2;
        return twoDigitReply(mode, lampsLit() ? lampsInUse : 0);
    }
    if (code == "CR9")
        return "VX37 SIMULATOR\r";
    if (code == "CRA") {
        if (power_ != Power::On)
            return "FF\r";
        if (!settings_.signal)
            return "80\r";
        return twoDigitReply(0, (pictureMute_ ? 1 : 0) | (soundMute_ ? 2 : 0));
    }
    if (code == "CR PRESSURE")
        return std::to_string(pressureReading(settings_.pressureHpa)) + "\r";
    return std::nullopt;
}

Outcome Projector::handle(std::string_view code, std::int64_t now)
{
    advanceTo(now);
    if (auto reply = statusReply(code))
        return {std::move(*reply), {}, true};
    return apply(code, now);
}

std::string Projector::moveLevel(LevelId id, int step)
{
    Level& target = levels_[static_cast<int>(id)];
    const int from = target.value;
    target.value = std::clamp(from + step, target.min, target.max);
    const std::string_view name = kLevelNames[static_cast<int>(id)];
    if (target.value == from)
        return std::string(name) + " stays " + std::to_string(from) +
               (step > 0 ? " (maximum)" : " (minimum)");
    return changeText(name, std::to_string(from), std::to_string(target.value));
}

Outcome Projector::apply(std::string_view code, std::int64_t now)
{
    const Command* command = findCommand(code);
    if (!command)
        return {std::string(kErrorReply), "unknown code", false};

    Outcome outcome{std::string(kAck), {}, true};
    const bool anyTime =
        command->op == Op::PowerOn || command->op == Op::PowerOff || command->op == Op::Lock;
    if (!anyTime && power_ != Power::On) {
        // Accepted, as the projector takes every known code, but with the lamps off there
        // is no picture or sound to change.
        outcome.change = "not applied: projector " + std::string(powerName(power_));
        return outcome;
    }

    switch (command->op) {
    case Op::PowerOn: {
        const Power from = power_;
        if (power_ == Power::StandBy)
            setPower(Power::CountDown, now);
        outcome.change = from == Power::Cooling
                             ? "power on refused while cooling down"
                             : changeText("power", powerName(from), powerName(power_));
        break;
    }
    case Op::PowerOff: {
        const Power from = power_;
        if (power_ == Power::On || power_ == Power::CountDown)
            setPower(Power::Cooling, now);
        outcome.change = changeText("power", powerName(from), powerName(power_));
        break;
    }
    case Op::SelectInput: {
        const Input from = input_;
        input_ = static_cast<Input>(command->arg);
        outcome.change = changeText("input", inputName(from), inputName(input_));
        break;
    }
    case Op::SoundMute:
        outcome.change = changeFlag("sound mute", soundMute_, command->arg != 0);
        soundMute_ = command->arg != 0;
        break;
    case Op::PictureMute:
        outcome.change = changeFlag("picture mute", pictureMute_, command->arg != 0);
        pictureMute_ = command->arg != 0;
        break;
    case Op::Freeze:
        outcome.change = changeFlag("freeze", freeze_, command->arg != 0);
        freeze_ = command->arg != 0;
        break;
    case Op::Menu:
        outcome.change = changeFlag("menu", menu_, command->arg != 0);
        if (command->arg != 0 && !menu_)
            menuRow_ = 0;
        menu_ = command->arg != 0;
        break;
    case Op::ScreenSizeOp: {
        const auto name = [](ScreenSize size) {
            return size == ScreenSize::Regular ? "regular" : "wide";
        };
        const ScreenSize to = command->arg == 0 ? ScreenSize::Regular : ScreenSize::Wide;
        outcome.change = changeText("screen size", name(screenSize_), name(to));
        screenSize_ = to;
        break;
    }
    case Op::Arrow: {
        const std::string_view arrow = kArrowNames[command->arg];
        if (!menu_) {
            outcome.change = "arrow " + std::string(arrow) + ": no menu shown";
            break;
        }
        if (command->arg <= 1) {
            const int from = menuRow_;
            menuRow_ = std::clamp(menuRow_ + (command->arg == 0 ? -1 : 1), 0, kMenuRows - 1);
            outcome.change =
                changeText("menu row", std::to_string(from + 1), std::to_string(menuRow_ + 1));
        } else {
            outcome.change = "menu row " + std::to_string(menuRow_ + 1) + " adjusted " +
                             (command->arg == 2 ? "down" : "up");
        }
        break;
    }
    case Op::Select:
        outcome.change = menu_ ? "menu row " + std::to_string(menuRow_ + 1) + " selected"
                               : std::string("select: no menu shown");
        break;
    case Op::MoveLevel:
        outcome.change = moveLevel(static_cast<LevelId>(command->arg), command->arg2);
        break;
    case Op::AutoImage:
        outcome.change = "picture adjusted to the signal";
        break;
    case Op::ImageMenu:
        outcome.change = changeFlag("menu", menu_, true) + " (picture page)";
        if (!menu_)
            menuRow_ = 0;
        menu_ = true;
        break;
    case Op::PresentationTimer:
        outcome.change = changeFlag("presentation timer", presentationTimer_, !presentationTimer_);
        presentationTimer_ = !presentationTimer_;
        break;
    case Op::DisplayClear:
        outcome.change = changeFlag("menu", menu_, false) + " (display cleared)";
        menu_ = false;
        break;
    case Op::Lock: {
        const auto to = static_cast<KeyLock>(command->arg);
        outcome.change = changeText("key lock", keyLockName(keyLock_), keyLockName(to));
        keyLock_ = to;
        break;
    }
    case Op::Preset:
        outcome.change =
            changeText("picture preset", kPresetNames[preset_ - 1], kPresetNames[command->arg - 1]);
        preset_ = command->arg;
        break;
    case Op::SignalType: {
        const auto input = static_cast<Input>(command->arg);
        std::string_view& type = signalTypes_[command->arg - 1];
        outcome.change = changeText(std::string(inputName(input)) + " signal", type,
                                    kSignalNames[command->arg2]);
        type = kSignalNames[command->arg2];
        break;
    }
    }
    return outcome;
}

} // namespace vx37::sim
