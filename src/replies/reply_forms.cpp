#include "replies/reply_forms.h"

#include "commands/monitor_text.h"
#include "replies/status_decoders.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace vx37 {

namespace {

constexpr std::string_view kAcknowledge = "\x06\r";
// More digits than this are no lamp-hour count: the value must fit a long everywhere.
constexpr std::size_t kMostLampHourDigits = 9;
// CR6: three fields of five characters, each field after the first behind one blank.
constexpr std::size_t kTemperatureField = 5;
constexpr std::size_t kTemperaturesLength = 3 * kTemperatureField + 2;

const StatusQuery* statusQueryOf(std::string_view code)
{
    const auto queries = statusQueries();
    const auto found =
        std::find_if(queries.begin(), queries.end(),
                     [code](const StatusQuery& query) { return query.code == code; });
    return found == queries.end() ? nullptr : &*found;
}

// A plain decimal number, blanks around it allowed; nothing else.
std::optional<double> decimal(std::string_view field)
{
    const auto first = field.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return std::nullopt;
    field = field.substr(first, field.find_last_not_of(' ') - first + 1);
    if (field.front() == '+')
        field.remove_prefix(1); // from_chars takes a minus only
    double value = 0;
    const char* end = field.data() + field.size();
    const auto [rest, error] = std::from_chars(field.data(), end, value, std::chars_format::fixed);
    if (error != std::errc() || rest != end || !std::isfinite(value)) // "nan", "inf"
        return std::nullopt;
    return value;
}

// A key of a lookup query's table, and nothing after it: the decoder knows the text.
bool isTableKey(const StatusQuery& query, std::string_view body)
{
    std::int16_t unused = 0;
    return body.size() == query.keyCharacters &&
           query.decode(renderMonitorText(body), unused).has_value();
}

} // namespace

ReplyForm replyFormOf(std::string_view code)
{
    const StatusQuery* query = statusQueryOf(code);
    return query ? query->form : ReplyForm::Acknowledge;
}

std::string_view replyBody(std::string_view reply)
{
    if (!reply.empty() && reply.back() == '\r')
        reply.remove_suffix(1);
    return reply;
}

bool isAnswerTo(std::string_view code, std::string_view reply)
{
    // One answer: it ends at its CR, and no CR comes before.
    if (reply.empty() || reply.find('\r') != reply.size() - 1)
        return false;
    const std::string_view body = replyBody(reply);
    switch (replyFormOf(code)) {
    case ReplyForm::Acknowledge:
        return reply == kAcknowledge;
    case ReplyForm::TableKey:
        return isTableKey(*statusQueryOf(code), body);
    case ReplyForm::LampHours:
        return lampHours(reply).has_value();
    case ReplyForm::Temperatures:
        return temperatures(reply).has_value();
    case ReplyForm::Number:
        return decimal(body).has_value();
    case ReplyForm::Text:
        return true;
    }
    return false;
}

std::optional<long> lampHours(std::string_view reply)
{
    const std::string_view body = replyBody(reply);
    if (body.empty() || body.size() > kMostLampHourDigits || reply.size() != body.size() + 1 ||
        !std::all_of(body.begin(), body.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    long hours = 0;
    std::from_chars(body.data(), body.data() + body.size(), hours);
    return hours;
}

std::optional<std::array<double, 3>> temperatures(std::string_view reply)
{
    const std::string_view body = replyBody(reply);
    if (body.size() != kTemperaturesLength || reply.size() != body.size() + 1 ||
        body[kTemperatureField] != ' ' || body[2 * kTemperatureField + 1] != ' ')
        return std::nullopt;
    std::array<double, 3> sensors{};
    for (std::size_t i = 0; i < sensors.size(); ++i) {
        const auto value = decimal(body.substr(i * (kTemperatureField + 1), kTemperatureField));
        if (!value)
            return std::nullopt;
        sensors[i] = *value;
    }
    return sensors;
}

} // namespace vx37
