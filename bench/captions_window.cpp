// vx37-captions-window: a floor for vx37-window-bench's start-up figure between the bare
// window and the panel. Like vx37-bare-window it is one QWidget of the panel's compact size
// and colour, but it draws, in one paint and with no child widgets, the captions the panel
// shows at start-up, each in the panel's font for it and at its place: what drawing the
// panel's text costs, before any of its controls.

#include "app/form_state.h"
#include "panel/control_inventory.h"
#include "panel/panel_fonts.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>

#include <vector>

namespace {

// The panel's compact client area, in pixels, as vx37-bare-window has it.
constexpr int kWidth = 633;
constexpr int kHeight = 331;

struct Caption
{
    QFont font;
    QRect place;
    QString text;
};

// The captions of the controls that show in the compact view, in window coordinates.
std::vector<Caption> startUpCaptions()
{
    std::vector<Caption> captions;
    const int px = vx37::kTwipsPerPixel;
    for (const vx37::ControlSpec& item : vx37::controlInventory()) {
        QPoint origin(item.left, item.top);
        bool shown = item.visibleAtStart;
        for (auto* c = vx37::findControl(item.container); c; c = vx37::findControl(c->container)) {
            origin += QPoint(c->left, c->top);
            shown = shown && c->visibleAtStart;
        }
        if (!shown || item.caption.empty() || origin.y() / px >= kHeight)
            continue;
        captions.push_back(
            {vx37::panelFont(item.font == vx37::FontKey::Panel ? vx37::kFormFont : item.font),
             QRect(origin / px, QSize(item.width / px, item.height / px)),
             QString::fromUtf8(item.caption.data(), qsizetype(item.caption.size()))});
    }
    return captions;
}

class CaptionsWindow final : public QWidget
{
public:
    CaptionsWindow() : captions_(startUpCaptions()) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        for (const Caption& caption : captions_) {
            p.setFont(caption.font);
            p.drawText(caption.place, Qt::AlignCenter, caption.text);
        }
    }

private:
    std::vector<Caption> captions_;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    vx37::installFontSubstitutes();
    CaptionsWindow window;
    QPalette grey = window.palette();
    grey.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    window.setPalette(grey);
    window.setAutoFillBackground(true);
    window.resize(kWidth, kHeight);
    window.show();
    return app.exec();
}
