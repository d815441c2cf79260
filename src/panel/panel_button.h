#pragma once

#include <QColor>
#include <QPushButton>

#include <functional>

namespace vx37 {

// A command button of the panel. With a face colour it is drawn filled in that colour
// (the graphical style); without one it is the toolkit's standard button.
//
// Every mouse button presses and releases it: mouseDown and mouseUp are raised for each,
// whatever the modifiers, and the release comes to the pressed button even when the
// pointer has left it. Enter clicks the focused button, as Space does.
class PanelButton final : public QPushButton
{
    Q_OBJECT

public:
    explicit PanelButton(const QString& caption, QColor face, QWidget* parent);

    QColor face() const { return face_; }

signals:
    void mouseDown();
    void mouseUp();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void withoutRepaintBeforeClick(const std::function<void()>& release);

    QColor face_;
};

} // namespace vx37
