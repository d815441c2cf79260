#include "http/status_json.h"

#include "commands/button_table.h"
#include "ctl/answer.h"
#include "ctl/command_names.h"
#include "replies/reply_forms.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <array>

namespace vx37::http {

namespace {

constexpr auto kReadings = std::to_array<StatusReading>({
    {"power", "CR0"},
    {"input", "CR1"},
    {"mutes", "CRA"},
    {"lampHours", "CR3"},
    {"lamps", "CR7"},
    {"temperatures", "CR6"},
    {"pressure", "CR PRESSURE"},
});

// The name vx37-ctl gives the query of a code.
std::string nameOf(const std::string& code)
{
    for (const ctl::ButtonName& button : ctl::buttonNames())
        if (const auto* row = findButton(button.control); row && row->code == code)
            return std::string(button.name);
    for (const ctl::TypedQueryName& query : ctl::typedQueryNames())
        if (query.code == code)
            return std::string(query.name);
    return code;
}

} // namespace

std::span<const StatusReading> statusReadings()
{
    return kReadings;
}

QJsonValue readingJson(const ProjectorLine& line, const std::string& code, std::int64_t now)
{
    const ProjectorLine::Reading* reading = line.lastReading(code);
    if (!reading)
        return QJsonValue::Null;
    ctl::Answer answer;
    answer.reply = reading->reply;
    answer.ended = !reading->reply.empty() && reading->reply.back() == '\r';
    answer.answered = isAnswerTo(code, reading->reply);
    const ctl::CtlCommand command{nameOf(code), code};
    QJsonObject object =
        QJsonDocument::fromJson(QByteArray::fromStdString(ctl::answerJson(command, answer)))
            .object();
    object.insert(QStringLiteral("ageMs"), static_cast<qint64>(now - reading->at));
    return object;
}

QJsonObject statusJson(const ProjectorLine& line, std::int64_t now)
{
    QJsonObject status{
        {QStringLiteral("line"), line.isUp() ? QStringLiteral("up") : QStringLiteral("down")}};
    QJsonArray errors;
    for (const StatusReading& reading : kReadings) {
        const QJsonValue value = readingJson(line, reading.code, now);
        status.insert(QLatin1String(reading.key), value);
        if (const QJsonValue error = value[QStringLiteral("error")]; error.isString())
            errors.append(QLatin1String(reading.key) + QStringLiteral(": ") + error.toString());
    }
    status.insert(QStringLiteral("errors"), errors);
    return status;
}

} // namespace vx37::http
