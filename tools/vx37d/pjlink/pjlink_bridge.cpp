#include "pjlink/pjlink_bridge.h"

#include "commands/button_table.h"
#include "replies/reply_forms.h"

#include <algorithm>
#include <array>

namespace vx37::pjlink {

namespace {

std::string codeOf(Query query)
{
    return std::string(queryCode(query));
}

} // namespace

Bridge::Bridge(ProjectorLine& line, Identity identity, ProjectorLine::Clock now)
    : line_(line), identity_(std::move(identity)), now_(std::move(now))
{
}

std::vector<std::string> Bridge::polledQueries()
{
    return {codeOf(Query::Power), codeOf(Query::Input), codeOf(Query::Mute)};
}

void Bridge::answer(const Command& command, Answer answer)
{
    // The class 1 commands: what answers "?", and whether other parameters are sets.
    using Handler = void (Bridge::*)(const Request&);
    struct CommandRow
    {
        std::string_view body;
        Handler query;
        bool sets;
    };
    static constexpr auto kCommands = std::to_array<CommandRow>({
        {"POWR", &Bridge::power, true},
        {"INPT", &Bridge::input, true},
        {"AVMT", &Bridge::mute, true},
        {"ERST", &Bridge::errors, false},
        {"LAMP", &Bridge::lamps, false},
        {"INST", &Bridge::inputs, false},
        {"NAME", &Bridge::name, false},
        {"INF1", &Bridge::manufacturer, false},
        {"INF2", &Bridge::product, false},
        {"INFO", &Bridge::info, false},
        {"CLSS", &Bridge::pjlinkClass, false},
    });
    const Request request{command, now_() + kAnswerMs, std::move(answer)};
    const auto row = std::find_if(kCommands.begin(), kCommands.end(),
                                  [&](const CommandRow& r) { return r.body == command.body; });
    if (command.header != "%1" || row == kCommands.end())
        request("ERR1");
    else if (command.badParameter)
        request("ERR2");
    else if (command.parameter == "?")
        (this->*row->query)(request);
    else if (row->sets)
        set(request);
    else
        request("ERR2");
}

template <typename Row>
void Bridge::lookUp(const Request& request, Query query, const Row* (*rowOf)(std::string_view),
                    std::string_view Row::*value)
{
    line_.ask(codeOf(query), request.deadline, [request, rowOf, value](const auto& reply) {
        const Row* row = reply ? rowOf(*reply) : nullptr;
        request(row ? row->*value : "ERR3");
    });
}

void Bridge::power(const Request& request)
{
    lookUp(request, Query::Power, powerRow, &PowerRow::powr);
}

void Bridge::input(const Request& request)
{
    line_.ask(codeOf(Query::Input), request.deadline, [this, request](const auto& reply) {
        if (const InputRow* row = reply ? inputRow(*reply) : nullptr)
            request(row->pjlink);
        else // the first input INST ? lists
            whileOn(request, selectableInputs().substr(0, 2));
    });
}

void Bridge::mute(const Request& request)
{
    line_.ask(codeOf(Query::Mute), request.deadline, [this, request](const auto& reply) {
        const MuteRow* row = reply ? muteRow(*reply) : nullptr;
        if (row && row->avmt != "ERR3")
            request(row->avmt);
        else
            whileOn(request, "30");
    });
}

void Bridge::whileOn(const Request& request, const std::string& neutral)
{
    line_.ask(codeOf(Query::Power), request.deadline, [request, neutral](const auto& reply) {
        const PowerRow* state = reply ? powerRow(*reply) : nullptr;
        request(state && (state->powr == "1" || state->powr == "3") ? neutral : "ERR3");
    });
}

void Bridge::errors(const Request& request)
{
    lookUp(request, Query::Power, powerRow, &PowerRow::erst);
}

void Bridge::lamps(const Request& request)
{
    // The lamps in use and which are lit, then the one count of hours the projector keeps.
    line_.ask(codeOf(Query::Lamps), request.deadline, [this, request](const auto& reply) {
        const LampRow* lamps = reply ? lampRow(*reply) : nullptr;
        if (!lamps) {
            request("ERR3");
            return;
        }
        line_.ask(codeOf(Query::LampHours), request.deadline,
                  [request, lit = lamps->lit](const auto& reply) {
                      const auto hours = reply ? lampHours(*reply) : std::nullopt;
                      if (!hours) {
                          request("ERR3");
                          return;
                      }
                      std::string value;
                      for (const char lamp : lit) {
                          if (!value.empty())
                              value += ' ';
                          value += std::to_string(*hours) + ' ' + lamp;
                      }
                      request(value);
                  });
    });
}

void Bridge::inputs(const Request& request)
{
    request(selectableInputs());
}

void Bridge::name(const Request& request)
{
    request(identity_.name);
}

void Bridge::manufacturer(const Request& request)
{
    request(identity_.manufacturer);
}

void Bridge::product(const Request& request)
{
    request(identity_.product);
}

void Bridge::info(const Request& request)
{
    request(identity_.info);
}

void Bridge::pjlinkClass(const Request& request)
{
    request("1");
}

void Bridge::set(const Request& request)
{
    const SetRow* row = setRow(request.command.body, request.command.parameter);
    if (!row) {
        request("ERR2");
        return;
    }
    if (row->guard == Guard::None) {
        press(request, *row, 0);
        return;
    }
    line_.ask(codeOf(Query::Power), request.deadline, [this, request, row](const auto& reply) {
        const PowerRow* state = reply ? powerRow(*reply) : nullptr;
        const bool allowed =
            state && (row->guard == Guard::NotCooling ? state->powr != "2" : state->powr == "1");
        if (allowed)
            press(request, *row, 0);
        else
            request("ERR3");
    });
}

void Bridge::press(const Request& request, const SetRow& row, std::size_t control)
{
    const std::string code(findButton(row.controls[control])->code);
    line_.send(code, request.deadline, [this, request, &row, control](const auto& reply) {
        if (!reply)
            request("ERR3");
        else if (control + 1 < row.controls.size() && !row.controls[control + 1].empty())
            press(request, row, control + 1);
        else
            request("OK");
    });
}

} // namespace vx37::pjlink
