#include "line/named_command.h"

#include "ctl/answer.h"
#include "ctl/command_line.h"
#include "replies/reply_forms.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace vx37 {

namespace {

std::string errorJson(std::string_view name, const std::string& error)
{
    const QJsonObject object{{QStringLiteral("name"), QString::fromStdString(std::string(name))},
                             {QStringLiteral("error"), QString::fromStdString(error)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

void runNamedCommand(ProjectorLine& line, std::string_view name,
                     std::function<void(const NamedAnswer&)> done)
{
    // Names only, never a raw code: a front-end's client puts no frame of its own choosing
    // on the line.
    const std::optional<ctl::CtlCommand> command = ctl::commandNamed(name);
    if (!command) {
        done({NamedAnswer::Outcome::UnknownName,
              errorJson(name, ctl::unknownNameFault(std::string(name)))});
        return;
    }
    if (!line.isUp()) {
        done({NamedAnswer::Outcome::LineDown,
              errorJson(name, "the projector's line is down: nothing was sent")});
        return;
    }
    // Relayed, so that an answer of another form is seen rather than taken for no answer;
    // the frame still has only its own time on the line.
    line.relay(command->code, [command = *command, done = std::move(done)](
                                  const ProjectorLine::Reply& reply) {
        ctl::Answer answer;
        if (reply) {
            answer.reply = *reply;
            answer.ended = !reply->empty() && reply->back() == '\r';
            answer.answered = isAnswerTo(command.code, *reply);
        }
        const auto outcome = !reply || reply->empty() ? NamedAnswer::Outcome::NoAnswer
                             : answer.answered        ? NamedAnswer::Outcome::Answered
                                                      : NamedAnswer::Outcome::Unexpected;
        done({outcome, ctl::answerJson(command, answer)});
    });
}

} // namespace vx37
