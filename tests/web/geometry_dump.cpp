// vx37-geometry-dump: builds the desktop window offscreen and prints, as JSON, for each
// view the gestures that reach it, the client area and every control's box in window
// pixels. The browser test takes the page to each view with the same gestures.

#include "app/virtual_panel.h"
#include "panel/control_inventory.h"
#include "panel/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

using namespace vx37;

// "key:K" is Ctrl+K; "click:X" and "dblclick:X" act on control X. "port" is "COM" clicked.
const std::pair<const char*, QStringList> kViews[] = {
    {"compact", {}},
    {"port", {QStringLiteral("click:Command33")}},
    {"service", {QStringLiteral("key:K")}},
    {"data", {QStringLiteral("key:K"), QStringLiteral("click:Command34"), QStringLiteral("click:Command34")}},
    {"full", {QStringLiteral("key:K"), QStringLiteral("dblclick:Image1")}},
};

QJsonObject dump(const char* name, const QStringList& gestures)
{
    VirtualPanel rig;
    Form1 form(rig.panel);
    form.load();
    for (const QString& gesture : gestures) {
        const std::string target = gesture.section(QLatin1Char(':'), 1).toStdString();
        if (gesture.startsWith(QLatin1String("key:")))
            rig.panel.Form_KeyDown(Qt::Key_K, Qt::ControlModifier);
        else if (gesture.startsWith(QLatin1String("dblclick:")))
            rig.panel.Image1_DblClick();
        else
            qobject_cast<QAbstractButton*>(form.control(target))->click();
    }
    QJsonArray controls;
    for (const ControlSpec& item : controlInventory()) {
        const QWidget* widget = form.control(item.name);
        const QPoint at = widget->mapTo(&form, QPoint(0, 0));
        controls.append(QJsonObject{
            {QStringLiteral("name"), QString::fromLatin1(item.name.data(), qsizetype(item.name.size()))},
            {QStringLiteral("x"), at.x()},
            {QStringLiteral("y"), at.y()},
            {QStringLiteral("width"), widget->width()},
            {QStringLiteral("height"), widget->height()},
            {QStringLiteral("visible"), widget->isVisibleTo(&form)}});
    }
    return {{QStringLiteral("name"), QLatin1String(name)},
            {QStringLiteral("gestures"), QJsonArray::fromStringList(gestures)},
            {QStringLiteral("width"), form.width()},
            {QStringLiteral("height"), form.height()},
            {QStringLiteral("controls"), controls}};
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QJsonArray views;
    for (const auto& [name, gestures] : kViews)
        views.append(dump(name, gestures));
    std::fputs(QJsonDocument(views).toJson(QJsonDocument::Compact).constData(), stdout);
    return 0;
}
