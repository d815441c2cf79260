#pragma once

#include <QRadioButton>

namespace vx37 {

// An option button that takes a click anywhere on its area, not only on its circle and
// caption, as the window's design expects. Its exclusive group is set by the window.
class OptionButton final : public QRadioButton
{
    Q_OBJECT

public:
    using QRadioButton::QRadioButton;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

} // namespace vx37
