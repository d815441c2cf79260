#include "ctl/answer.h"

#include "app/form_state.h"
#include "commands/monitor_text.h"
#include "replies/reply_forms.h"
#include "replies/status_decoders.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace vx37::ctl {

namespace {

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

// What a command's answer looks like, for a message that says it did not come.
std::string_view formText(ReplyForm form)
{
    switch (form) {
    case ReplyForm::Acknowledge:
        return "ACK CR";
    case ReplyForm::TableKey:
        return "one of the codes the panel decodes, then CR";
    case ReplyForm::LampHours:
        return "lamp-hour digits, then CR";
    case ReplyForm::Temperatures:
        return "three temperature fields, then CR";
    case ReplyForm::Number:
        return "a number, then CR";
    case ReplyForm::Text:
        return "text, then CR";
    }
    return {};
}

struct Decoded
{
    std::optional<std::string> status;
    std::int16_t pressureValue = 0;
};

// The status line the panel would show for the command's own answer to a status query.
Decoded decode(const CtlCommand& command, const Answer& answer)
{
    Decoded decoded;
    if (!answer.answered)
        return decoded;
    const auto queries = statusQueries();
    const auto query = std::find_if(queries.begin(), queries.end(),
                                    [&](const StatusQuery& q) { return q.code == command.code; });
    if (query != queries.end())
        decoded.status = query->decode(renderMonitorText(answer.reply), decoded.pressureValue);
    return decoded;
}

// The numbers a script wants from a status answer, or an undefined value.
QJsonValue replyValue(const CtlCommand& command, const Answer& answer, const Decoded& decoded)
{
    if (!decoded.status)
        return QJsonValue(QJsonValue::Undefined);
    switch (replyFormOf(command.code)) {
    case ReplyForm::LampHours:
        return QJsonValue(static_cast<qint64>(*lampHours(answer.reply)));
    case ReplyForm::Temperatures: {
        const auto sensors = *temperatures(answer.reply);
        return QJsonObject{{QStringLiteral("S1"), sensors[0]},
                           {QStringLiteral("S2"), sensors[1]},
                           {QStringLiteral("S3"), sensors[2]}};
    }
    case ReplyForm::Number:
        if (*decoded.status != kPressureOutOfRange)
            return decoded.pressureValue;
        break;
    default:
        break;
    }
    return QJsonValue(QJsonValue::Undefined);
}

} // namespace

std::optional<std::string> answerFault(const CtlCommand& command, const Answer& answer)
{
    if (answer.unwritten > 0)
        return "the device did not take the frame: " + std::to_string(answer.unwritten) +
               " bytes of it were still waiting; nothing reads the line at the far end, or "
               "its flow control holds it";
    const std::string within = " within " + std::to_string(command.replyTimeoutMs) + " ms";
    if (answer.reply.empty())
        return "no reply" + within;
    if (answer.overlong)
        return "no end to the reply: " + std::to_string(answer.reply.size()) +
               " bytes without a CR, more than any answer has: " +
               monitorTextForMessage(answer.reply);
    if (!answer.ended)
        return "the reply did not end (no CR" + within + "): " + monitorTextForMessage(answer.reply);
    if (!answer.after.empty())
        return "more came than one answer: \"" + monitorTextForMessage(answer.reply) + "\", then \"" +
               monitorTextForMessage(answer.after) + "\"" +
               "; something else talks on the line, so neither is taken as the answer";
    if (!isAnswerTo(command.code, answer.reply))
        return "unexpected reply \"" + monitorTextForMessage(answer.reply) + "\"; the answer is " +
               std::string(formText(replyFormOf(command.code)));
    return std::nullopt;
}

std::string answerText(const CtlCommand& command, const Answer& answer)
{
    if (answer.reply.empty())
        return std::string(trimmedBlanks(kNoReplyMark));
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
