#include "panel/picture.h"

#include <QMouseEvent>

namespace vx37 {

void Picture::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    event->accept();
}

} // namespace vx37
