// vx37-geometry-dump: builds the desktop window offscreen and prints, for each view, the
// gestures that reach it and every control's box in window pixels, as JSON. The browser
// test reaches each view on the page with the same gestures and compares the boxes.

#include "app/virtual_panel.h"
#include "panel/control_inventory.h"
#include "panel/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <string_view>

namespace {

using namespace vx37;

struct View
{
    const char* name;
    std::initializer_list<std::string_view> gestures; // "key:K" (with Ctrl), "click:X", "dblclick:X"
};

// The four views, and "COM" clicked for the port option frame.
const View kViews[] = {
    {"compact", {}},
    {"port", {"click:Command33"}},
    {"service", {"key:K"}},
    {"data", {"key:K", "click:Command34", "click:Command34"}},
    {"full", {"key:K", "dblclick:Image1"}},
};

QJsonObject dump(const View& view)
{
    VirtualPanel rig;
    Form1 form(rig.panel);
    form.load();
    QJsonArray gestures;
    for (const std::string_view gesture : view.gestures) {
        const QString text = QString::fromLatin1(gesture.data(), qsizetype(gesture.size()));
        gestures.append(text);
        const QString target = text.section(QLatin1Char(':'), 1);
        if (text.startsWith(QLatin1String("key:")))
            rig.panel.Form_KeyDown(Qt::Key_K, Qt::ControlModifier);
        else if (text.startsWith(QLatin1String("dblclick:")))
            rig.panel.Image1_DblClick();
        else
            qobject_cast<QAbstractButton*>(form.control(target.toStdString()))->click();
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
            {QStringLiteral("visible"), widget->isVisibleTo(&form)},
        });
    }
    return {{QStringLiteral("name"), QLatin1String(view.name)},
            {QStringLiteral("gestures"), gestures},
            {QStringLiteral("width"), form.width()},
            {QStringLiteral("height"), form.height()},
            {QStringLiteral("controls"), controls}};
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QJsonArray views;
    for (const View& view : kViews)
        views.append(dump(view));
    std::fputs(QJsonDocument(views).toJson(QJsonDocument::Compact).constData(), stdout);
    return 0;
}
