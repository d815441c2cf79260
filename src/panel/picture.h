#pragma once

#include <QLabel>

namespace vx37 {

// A picture shown at its own size; it reports double-clicks.
class Picture final : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

} // namespace vx37
