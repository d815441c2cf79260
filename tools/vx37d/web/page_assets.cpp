#include "web/page_assets.h"

#include "app/form_state.h"
#include "commands/button_table.h"
#include "panel/control_inventory.h"

#include <QFile>
#include <QHash>

#include <cmath>

namespace vx37::web {

namespace {

// What the window's heights lose to its caption bar and borders (Form1::kTypicalFrame,
// the frame the window assumes while the platform reports none): the page has neither,
// and shows the client area the window shows at each height.
constexpr int kFramePixelsVertical = 26 + 4;

constexpr double kPointsPerInch = 72.0;
constexpr double kDesignDpi = 96.0;

int px(int twips)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

QByteArray utf8(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// Text for an HTML element or attribute.
QByteArray escaped(std::string_view text)
{
    return QString::fromUtf8(utf8(text)).toHtmlEscaped().toUtf8();
}

QByteArray cssColour(std::int32_t rgb)
{
    return '#' + QByteArray::number(rgb, 16).rightJustified(6, '0');
}

QByteArray fontClass(FontKey key)
{
    return "f" + QByteArray::number(static_cast<int>(fontSpec(key).key));
}

// The web faces stand for the window's two faces: the fixed-pitch one and the
// proportional one, as the font table names them.
QByteArray webFamily(const FontSpec& font)
{
    const bool proportional = font.face == fontSpec(FontKey::P9).face;
    return proportional ? "\"VX37 Panel PGothic\"" : "\"VX37 Panel Gothic\"";
}

QByteArray fontRules()
{
    QByteArray css;
    for (const auto& [name, family] : {std::pair{"gothic", "VX37 Panel Gothic"},
                                       std::pair{"pgothic", "VX37 Panel PGothic"}})
        css += QByteArray("@font-face{font-family:\"") + family + "\";src:url(/fonts/" + name +
               ".woff2) format(\"woff2\");font-display:swap}\n";
    for (const FontSpec& font : fontTable()) {
        const int pixels = static_cast<int>(std::lround(font.points * kDesignDpi / kPointsPerInch));
        css += '.' + fontClass(font.key) + "{font:" + (font.bold ? "bold " : "") +
               QByteArray::number(pixels) + "px " + webFamily(font) + ",sans-serif}\n";
    }
    return css;
}

QByteArray kindClass(ControlKind kind)
{
    switch (kind) {
    case ControlKind::Frame:
        return "frame";
    case ControlKind::Label:
        return "label";
    case ControlKind::Button:
        return "button";
    case ControlKind::Option:
        return "option";
    case ControlKind::TextBox:
        return "text";
    case ControlKind::Picture:
        return "picture";
    }
    return {};
}

QByteArray tag(ControlKind kind)
{
    switch (kind) {
    case ControlKind::Button:
        return "button";
    case ControlKind::TextBox:
        return "input";
    case ControlKind::Option:
        return "label";
    case ControlKind::Frame:
    case ControlKind::Label:
    case ControlKind::Picture:
        break;
    }
    return "div";
}

QByteArray openingTag(const ControlSpec& item)
{
    QByteArray classes = kindClass(item.kind);
    if (item.border)
        classes += " line";
    if (item.font != FontKey::Panel)
        classes += ' ' + fontClass(item.font);
    if (item.align != TextAlign::Left)
        classes += item.align == TextAlign::Centre ? " centre" : " right";
    if (!item.visibleAtStart)
        classes += " hidden";

    QByteArray style = "left:" + QByteArray::number(px(item.left)) +
                       "px;top:" + QByteArray::number(px(item.top)) +
                       "px;width:" + QByteArray::number(px(item.width)) +
                       "px;height:" + QByteArray::number(px(item.height)) + "px";
    if (item.back != kNoColour)
        style += ";background-color:" + cssColour(item.back);
    if (item.text != kNoColour)
        style += ";color:" + cssColour(item.text);

    const std::string_view spoken = spokenName(item.name);
    QByteArray html = '<' + tag(item.kind) + " class=\"" + classes + "\" data-control=\"" +
                      utf8(item.name) + "\" aria-label=\"" +
                      escaped(spoken.empty() ? item.caption : spoken) + "\" style=\"" + style +
                      '"';
    if (item.tabIndex >= 0)
        html += " tabindex=\"" + QByteArray::number(item.tabIndex + 1) + '"';
    else if (item.kind == ControlKind::Button)
        html += " tabindex=\"-1\"";
    if (item.kind == ControlKind::Frame)
        html += " role=\"group\"";
    if (item.kind == ControlKind::Button) {
        html += " type=\"button\"";
        if (const ButtonRow* row = findButton(item.name); row && row->kind == ButtonKind::H)
            html += " data-hold";
    }
    if (item.kind == ControlKind::TextBox)
        html += " type=\"text\" autocomplete=\"off\" spellcheck=\"false\"";
    if (item.kind == ControlKind::Label && item.border)
        html += " role=\"status\"";
    return html + '>';
}

QByteArray content(const ControlSpec& item)
{
    switch (item.kind) {
    case ControlKind::Option:
        return "<input type=\"radio\" tabindex=\"-1\" aria-hidden=\"true\">" +
               escaped(item.caption);
    case ControlKind::Picture:
        return "<img src=\"/logo.png\" srcset=\"/logo@2x.png 2x\" alt=\"\" draggable=\"false\">";
    case ControlKind::Button:
        return "<span>" + escaped(item.caption) + "</span>";
    case ControlKind::Label:
        return item.border ? QByteArray() : escaped(item.caption);
    case ControlKind::Frame:
    case ControlKind::TextBox:
        break;
    }
    return {};
}

// The controls, each inside its container, in the inventory's order: a later control lies
// above an earlier one, as in the window.
QByteArray controls(std::string_view container)
{
    QByteArray html;
    for (const ControlSpec& item : controlInventory()) {
        if (item.container != container)
            continue;
        html += openingTag(item) + content(item);
        if (item.kind == ControlKind::Frame)
            html += controls(item.name);
        if (item.kind != ControlKind::TextBox)
            html += "</" + tag(item.kind) + '>';
        html += '\n';
    }
    return html;
}

QByteArray outline()
{
    QByteArray svg = "<svg class=\"outline\" width=\"" + QByteArray::number(px(kClientWidth)) +
                     "\" height=\"" + QByteArray::number(px(kClientHeight)) +
                     "\" aria-hidden=\"true\" stroke=\"" + cssColour(kOutlineColour) +
                     "\" stroke-width=\"" + QByteArray::number(kOutlinePixels) +
                     "\" stroke-linecap=\"square\">";
    for (const LineSpec& line : arrowOutline())
        svg += "<line x1=\"" + QByteArray::number(px(line.x1)) + "\" y1=\"" +
               QByteArray::number(px(line.y1)) + "\" x2=\"" + QByteArray::number(px(line.x2)) +
               "\" y2=\"" + QByteArray::number(px(line.y2)) + "\"/>";
    return svg + "</svg>\n";
}

// The view button's captions with the names a screen reader says for them.
QByteArray spokenCaptions()
{
    QByteArray json = "{";
    for (const QString& caption : {kCaptionShowData, kCaptionHideData, kCaptionClose}) {
        const QByteArray key = caption.toUtf8();
        json += '"' + key + "\":\"" + utf8(spokenCaption(key.toStdString())) + "\",";
    }
    json.chop(1);
    return json + '}';
}

QByteArray resource(const QString& name)
{
    QFile file(QStringLiteral(":/page/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray page()
{
    const FontSpec& formFont = fontSpec(kFormFont);
    return "<!doctype html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">\n"
           "<title>" +
           escaped(kFormCaption) +
           "</title>\n<link rel=\"icon\" href=\"/icon.png\">\n"
           "<link rel=\"preload\" href=\"/fonts/gothic.woff2\" as=\"font\" type=\"font/woff2\" "
           "crossorigin>\n<link rel=\"preload\" href=\"/fonts/pgothic.woff2\" as=\"font\" "
           "type=\"font/woff2\" crossorigin>\n<style>\n" +
           fontRules() + resource(QStringLiteral("panel.css")) +
           "</style>\n<script src=\"/panel.js\" defer></script>\n</head>\n<body>\n"
           "<div id=\"stage\"><div id=\"Form1\" class=\"" +
           fontClass(formFont.key) + "\" style=\"width:" + QByteArray::number(px(kClientWidth)) +
           "px;height:" + QByteArray::number(px(kClientHeight)) + "px;background-color:" +
           cssColour(kFormBackground) + "\" data-frame=\"" +
           QByteArray::number(kFramePixelsVertical) + "\" data-spoken-captions=\"" +
           QString::fromUtf8(spokenCaptions()).toHtmlEscaped().toUtf8() + "\">\n" + outline() +
           controls({}) +
           "</div></div>\n<dialog id=\"dialog\"><h1></h1><p></p><form method=\"dialog\">"
           "<button autofocus>OK</button></form></dialog>\n"
           "<div id=\"gone\" class=\"hidden\" role=\"alert\"></div>\n</body></html>\n";
}

} // namespace

std::optional<Asset> pageAsset(const QString& path)
{
    static const QHash<QString, Asset> assets = [] {
        QHash<QString, Asset> all;
        all.insert(QStringLiteral("/"), {"text/html; charset=utf-8", page()});
        const std::pair<const char*, QByteArray> files[] = {
            {"panel.js", "text/javascript; charset=utf-8"},
            {"logo.png", "image/png"},
            {"logo@2x.png", "image/png"},
            {"icon.png", "image/png"},
            {"fonts/gothic.woff2", "font/woff2"},
            {"fonts/pgothic.woff2", "font/woff2"},
            {"fonts/LICENSE.txt", "text/plain; charset=utf-8"},
        };
        for (const auto& [name, type] : files)
            all.insert(QLatin1Char('/') + QLatin1StringView(name),
                       {type, resource(QLatin1StringView(name))});
        return all;
    }();
    const auto found = assets.constFind(path);
    if (found == assets.constEnd())
        return std::nullopt;
    return *found;
}

} // namespace vx37::web
