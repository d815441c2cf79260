#pragma once

#include <QLabel>

namespace vx37 {

// A one-line monitor field (TXD, RXD, status). It keeps its whole text, which tests and
// accessibility read, but draws only the head that fits: the RXD line can hold some
// 65,000 characters and is rewritten at every receive event, and laying out all of them
// for every paint would freeze the window under a fast stream of pieces.
class MonitorLine final : public QLabel
{
    Q_OBJECT

public:
    explicit MonitorLine(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void measureFont();

    int narrowestAdvance_ = 1; // of the characters a monitor text is made of
};

} // namespace vx37
