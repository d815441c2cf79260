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
    {"port", {"click:Command33"}},
    {"service", {"key:K"}},
    {"data", {"key:K", "click:Command34", "click:Command34"}},
    {"full", {"key:K", "dblclick:Image1"}},
};

QJsonObject dump(const char* name, const QStringList& gestures)
{
    VirtualPanel rig;
    Form1 form(rig.panel);
    form.load();
    for (const QString& gesture : gestures) {
        if (gesture.startsWith("key:"))
            rig.panel.Form_KeyDown(Qt::Key_K, Qt::ControlModifier);
        else if (gesture.startsWith("dblclick:"))
            rig.panel.Image1_DblClick();
        else
            qobject_cast<QAbstractButton*>(form.control(gesture.section(':', 1).toStdString()))->click();
    }
    QJsonArray controls;
    for (const ControlSpec& item : controlInventory()) {
        const QWidget* widget = form.control(item.name);
        const QRect box(widget->mapTo(&form, QPoint(0, 0)), widget->size());
        controls.append(QJsonObject{{"name", QString::fromUtf8(item.name.data(), qsizetype(item.name.size()))},
                                    {"x", box.x()}, {"y", box.y()}, {"width", box.width()},
                                    {"height", box.height()}, {"visible", widget->isVisibleTo(&form)}});
    }
    return {{"name", name}, {"gestures", QJsonArray::fromStringList(gestures)}, {"width", form.width()},
            {"height", form.height()}, {"controls", controls}};
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
