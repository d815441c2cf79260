#include "web/panel_session.h"

#include "app/panel_clicks.h"
#include "commands/command_frame.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

namespace vx37::web {

namespace {

QString latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QJsonObject formObject(const FormState& form)
{
    return {{QStringLiteral("height"), form.height},
            {QStringLiteral("txdLine"), latin1(form.txdLine)},
            {QStringLiteral("rxdLine"), latin1(form.rxdLine)},
            {QStringLiteral("statusLine"), latin1(form.statusLine)},
            {QStringLiteral("frame8Visible"), form.frame8Visible},
            {QStringLiteral("portDescriptions"),
             QJsonArray{form.portDescriptions[0], form.portDescriptions[1]}},
            {QStringLiteral("option1Selected"), form.option1Selected},
            {QStringLiteral("option2Selected"), form.option2Selected},
            {QStringLiteral("option9Selected"), form.option9Selected},
            {QStringLiteral("option10Selected"), form.option10Selected},
            {QStringLiteral("command34Visible"), form.command34Visible},
            {QStringLiteral("command34Caption"), form.command34Caption},
            {QStringLiteral("text1"), form.text1}};
}

// A key as the page names it (KeyboardEvent.key): one printable ASCII character, a letter
// in either case; 0 for any other.
int keyCode(const QString& key)
{
    if (key.size() != 1 || key[0].unicode() < 0x20 || key[0].unicode() > 0x7E)
        return 0;
    return key[0].toUpper().unicode(); // Qt::Key_A... are the capitals' codes
}

} // namespace

PanelSession::PanelSession(ProjectorLine& line, const QString& portName, SessionTimers timers,
                           QObject* parent)
    : QObject(parent), comm_(line, portName), timers_(timers), panel_(comm_, timers.panel)
{
    timers_.heartbeat.setInterval(kHeartbeatMs);
    timers_.heartbeat.setTickHandler([this] { heartbeat(); });
    timers_.idle.setInterval(kIdleMs);
    timers_.idle.setTickHandler(
        [this] { end(QStringLiteral("closed: no event for %1 minutes").arg(kIdleMs / 60000)); });
    connect(&panel_, &Panel::propertyChanged, this, &PanelSession::formChanged);
    connect(&panel_, &Panel::warning, this, [this](const QString& text) {
        send({{QStringLiteral("dialog"), QJsonObject{{QStringLiteral("caption"), kWarningCaption},
                                                     {QStringLiteral("text"), text}}}});
    });
    connect(&panel_, &Panel::ended, this, [this] {
        // The window releases a held button as it closes, so does the page's session.
        releaseHeld();
        send({{QStringLiteral("ended"), true}});
        finish(QStringLiteral("ended by END"));
    });
}

PanelSession::~PanelSession()
{
    // The timers may outlive the session; none may call into it.
    for (IntervalTimer* timer :
         {&timers_.panel.timer1, &timers_.panel.timer2, &timers_.panel.timer3,
          &timers_.panel.timer4, &timers_.heartbeat, &timers_.idle}) {
        timer->stop();
        timer->setTickHandler({});
    }
}

void PanelSession::start()
{
    // No screen: the page places the panel itself.
    const ScreenMetrics screen{kClientWidth, kClientHeight, kClientWidth, kClientHeight};
    panel_.Form_Load(screen);
    timers_.idle.start();
}

void PanelSession::receive(const QByteArray& message)
{
    if (finished_ || message.size() > kLongestMessage)
        return;
    const QJsonDocument document = QJsonDocument::fromJson(message);
    if (!document.isObject() || !handle(document.object()) || finished_)
        return;
    timers_.idle.start();
    // A press starts the heartbeat, a release ends it.
    if (!panel_.heldButton()) {
        timers_.heartbeat.stop();
    } else if (!timers_.heartbeat.isActive()) {
        missedPongs_ = 0;
        timers_.heartbeat.start();
    }
}

bool PanelSession::handle(const QJsonObject& event)
{
    const QString kind = event.value(QStringLiteral("event")).toString();
    const std::string control = event.value(QStringLiteral("control")).toString().toStdString();
    if (kind == QStringLiteral("key")) {
        const int key = keyCode(event.value(QStringLiteral("key")).toString());
        if (key == 0)
            return false;
        Qt::KeyboardModifiers modifiers;
        modifiers.setFlag(Qt::ControlModifier, event.value(QStringLiteral("ctrl")).toBool());
        modifiers.setFlag(Qt::ShiftModifier, event.value(QStringLiteral("shift")).toBool());
        modifiers.setFlag(Qt::AltModifier, event.value(QStringLiteral("alt")).toBool());
        panel_.Form_KeyDown(key, modifiers);
        return true;
    }
    if (kind == QStringLiteral("text")) {
        const QJsonValue text = event.value(QStringLiteral("text"));
        if (control != "Text1" || !text.isString())
            return false;
        panel_.setText1(text.toString());
        return true;
    }
    // Held buttons act on press and release only, the others on a click, as in the window.
    if (const ButtonRow* row = findButton(control)) {
        const bool held = row->kind == ButtonKind::H;
        if (kind == QStringLiteral("click") && !held)
            panel_.Command_Click(*row);
        else if (kind == QStringLiteral("down") && held)
            panel_.Command_MouseDown(*row);
        else if (kind == QStringLiteral("up") && held)
            release(*row);
        else
            return false;
        return true;
    }
    if (kind == QStringLiteral("click")) {
        const PanelHandler handler = clickHandler(control);
        if (!handler)
            return false;
        std::invoke(handler, panel_);
        return true;
    }
    if (kind == QStringLiteral("dblclick") && control == "Image1") {
        panel_.Image1_DblClick();
        return true;
    }
    return false;
}

void PanelSession::drop()
{
    end(QStringLiteral("went away"));
}

void PanelSession::end(const QString& why)
{
    if (finished_)
        return;
    releaseHeld();
    panel_.Form_Unload();
    finish(why);
}

void PanelSession::release(const ButtonRow& row)
{
    // Its repeats that still wait for the line go with it.
    const std::string frame = buildFrame(panel_.variables().commandPrefix, row.code);
    panel_.Command_MouseUp(row);
    comm_.discardWaiting(frame);
}

void PanelSession::releaseHeld()
{
    if (const ButtonRow* held = panel_.heldButton())
        release(*held);
}

void PanelSession::heartbeat()
{
    if (!panel_.heldButton()) {
        timers_.heartbeat.stop();
    } else if (missedPongs_ >= kMissedPongs) {
        end(QStringLiteral("closed: no answer to a ping for %1 ms")
                .arg(kMissedPongs * kHeartbeatMs));
    } else {
        ++missedPongs_;
        emit ping();
    }
}

void PanelSession::formChanged()
{
    if (formPending_)
        return;
    formPending_ = true;
    QMetaObject::invokeMethod(this, &PanelSession::sendForm, Qt::QueuedConnection);
}

void PanelSession::sendForm()
{
    if (!formPending_ || finished_)
        return;
    formPending_ = false;
    emit message(QJsonDocument(QJsonObject{{QStringLiteral("form"), formObject(panel_.form())}})
                     .toJson(QJsonDocument::Compact));
}

void PanelSession::send(const QJsonObject& object)
{
    // After the form it follows.
    sendForm();
    if (!finished_)
        emit message(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void PanelSession::finish(const QString& why)
{
    if (finished_)
        return;
    finished_ = true;
    timers_.heartbeat.stop();
    timers_.idle.stop();
    emit finished(why);
}

} // namespace vx37::web
