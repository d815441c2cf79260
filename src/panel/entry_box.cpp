#include "panel/entry_box.h"

#include <QKeyEvent>

#include <limits>

namespace vx37 {

EntryBox::EntryBox(QWidget* parent) : QLineEdit(parent)
{
    setMaxLength(std::numeric_limits<int>::max());
}

void EntryBox::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::DeleteEndOfLine)) {
        event->ignore();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace vx37
