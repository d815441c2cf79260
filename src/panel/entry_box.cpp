#include "panel/entry_box.h"

#include <QKeyEvent>

namespace vx37 {

void EntryBox::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::DeleteEndOfLine)) {
        event->ignore();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace vx37
