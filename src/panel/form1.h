#pragma once

#include "app/form_state.h"

#include <QMargins>
#include <QWidget>

#include <map>
#include <optional>
#include <string_view>

class QButtonGroup;
class QRadioButton;

namespace vx37 {

class EntryBox;
class MonitorLine;
class Panel;
class PanelButton;
struct ButtonRow;

// The window. It is built once from the control inventory, draws the panel's FormState
// and forwards every event to the panel's handlers; it decides nothing itself.
//
// Two things the toolkit does not give as designed are made here: the key preview (the
// panel sees every key press before the control with the focus, and the key goes on to
// that control), and the release of a held button that the platform loses (the window
// deactivates, the pointer is taken, the button is hidden), which would otherwise let
// the button repeat for ever.
class Form1 final : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(Panel& panel, QWidget* parent = nullptr);
    ~Form1() override;

    // The window's Load event: start-up with the screen the window opens on.
    void load();
    // The screen and the window as designed, in twips, as start-up centres the window.
    ScreenMetrics screenMetrics() const;

    // A control by its design name, or nullptr.
    QWidget* control(std::string_view name) const;

    // The frame around the client area, in pixels: what the platform reports, or the
    // assumed frame while it reports none (before the window is first shown, or on a
    // desktop without a window manager). Window heights are outer heights, so this is
    // what each height loses to the caption bar and borders.
    QMargins frame() const;
    void setAssumedFrame(const QMargins& frame);

    static constexpr QMargins kTypicalFrame{4, 26, 4, 4};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void connectControl(std::string_view name, QWidget* widget);
    void connectButton(PanelButton* button, const ButtonRow& row);
    void chainTabOrder();

    void redraw(FormProperty property);
    void applyGeometry();
    void showWarning(const QString& text);
    void releaseLostHold();
    bool isFirstReceiver(const QWidget* widget) const;

    Panel& panel_;
    std::map<std::string_view, QWidget*> controls_;
    std::map<QWidget*, QButtonGroup*> optionGroups_; // by container
    MonitorLine* label11_ = nullptr;
    MonitorLine* label12_ = nullptr;
    MonitorLine* label22_ = nullptr;
    QWidget* frame8_ = nullptr;
    QRadioButton* option1_ = nullptr;
    QRadioButton* option2_ = nullptr;
    QRadioButton* option9_ = nullptr;
    QRadioButton* option10_ = nullptr;
    PanelButton* command34_ = nullptr;
    EntryBox* text1_ = nullptr;

    QMargins assumedFrame_ = kTypicalFrame;
    QMargins appliedFrame_;
    QPoint screenOrigin_;
    std::optional<QPoint> placedAt_; // twips, as start-up placed the window
};

} // namespace vx37
