#include "ctl/answer.h"

#include "commands/monitor_text.h"
#include "replies/status_decoders.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <charconv>

namespace vx37::ctl {

namespace {

// The RXD line's mark for a command that got no reply.
constexpr std::string_view kNoReplyMark = "X X X X";

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string_view trimmedBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

const StatusQuery* statusQueryFor(const CtlCommand& command)
{
    const auto queries = statusQueries();
    const auto query = std::find_if(queries.begin(), queries.end(),
                                    [&](const StatusQuery& q) { return q.code == command.code; });
    return query == queries.end() ? nullptr : &*query;
}

struct Decoded
{
    std::optional<std::string> status;
    std::int16_t pressureValue = 0;
};

// The status line the panel would show for this reply, if the command is a status query
// and its decoder has a text for the reply.
Decoded decode(const CtlCommand& command, const Answer& answer)
{
    Decoded decoded;
    if (const StatusQuery* query = statusQueryFor(command); query && !answer.reply.empty())
        decoded.status = query->decode(renderMonitorText(answer.reply), decoded.pressureValue);
    return decoded;
}

// The reply before its CR.
std::string_view replyBody(const Answer& answer)
{
    std::string_view body = answer.reply;
    if (answer.ended)
        body.remove_suffix(1);
    return body;
}

// A plain decimal number, blanks around it allowed; nothing else.
std::optional<double> decimal(std::string_view field)
{
    field = trimmedBlanks(field);
    double value = 0;
    const char* end = field.data() + field.size();
    const auto [rest, error] = std::from_chars(field.data(), end, value, std::chars_format::fixed);
    if (field.empty() || error != std::errc() || rest != end)
        return std::nullopt;
    return value;
}

// The numbers a script wants from a status reply, or an undefined value.
QJsonValue replyValue(const CtlCommand& command, const Answer& answer, const Decoded& decoded)
{
    // A reply cut off by the time-out carries no number a script can trust.
    if (!answer.ended)
        return QJsonValue(QJsonValue::Undefined);
    const std::string_view body = replyBody(answer);
    if (command.code == "CR3") {
        const bool digits =
            !body.empty() && body.size() <= 9 &&
            std::all_of(body.begin(), body.end(), [](char c) { return c >= '0' && c <= '9'; });
        return digits ? QJsonValue(std::stoi(std::string(body))) : QJsonValue();
    }
    if (command.code == "CR6") {
        // Three five-character fields, each after one separating character.
        QJsonObject sensors;
        for (const int sensor : {0, 1, 2}) {
            const auto at = static_cast<std::size_t>(sensor * 6);
            const auto value = decimal(at < body.size() ? body.substr(at, 5) : std::string_view());
            sensors.insert(QStringLiteral("S%1").arg(sensor + 1),
                           value ? QJsonValue(*value) : QJsonValue());
        }
        return sensors;
    }
    if (command.code == "CR PRESSURE" && decoded.status && *decoded.status != kPressureOutOfRange)
        return decoded.pressureValue;
    return QJsonValue(QJsonValue::Undefined);
}

} // namespace

std::optional<std::string> answerFault(const CtlCommand& command, const Answer& answer)
{
    const std::string within = " within " + std::to_string(command.replyTimeoutMs) + " ms";
    if (answer.reply.empty())
        return "no reply" + within;
    if (!answer.ended)
        return "the reply did not end (no CR" + within + ")";
    return std::nullopt;
}

std::string answerText(const CtlCommand& command, const Answer& answer)
{
    if (answer.reply.empty())
        return std::string(kNoReplyMark);
    if (const Decoded decoded = decode(command, answer); decoded.status)
        return std::string(trimmedBlanks(*decoded.status));
    return std::string(trimmedBlanks(renderMonitorText(answer.reply)));
}

std::string answerJson(const CtlCommand& command, const Answer& answer)
{
    QJsonObject object{
        {QStringLiteral("name"), QString::fromStdString(command.name)},
        {QStringLiteral("code"), QString::fromStdString(command.code)},
        // Each received byte is one character, as on the RXD line.
        {QStringLiteral("reply"), answer.reply.empty() ? QJsonValue() : latin1(answer.reply)},
    };
    const Decoded decoded = decode(command, answer);
    if (decoded.status)
        object.insert(QStringLiteral("status"), latin1(trimmedBlanks(*decoded.status)));
    if (const QJsonValue value = replyValue(command, answer, decoded); !value.isUndefined())
        object.insert(QStringLiteral("value"), value);
    if (const auto fault = answerFault(command, answer))
        object.insert(QStringLiteral("error"), QString::fromStdString(*fault));
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace vx37::ctl
