#pragma once

#include <QLineEdit>

namespace vx37 {

// The one-line entry box. Ctrl+K is the panel's service chord; the platform's line edit
// would also delete to the end of the line on it, and the typed command must survive.
class EntryBox final : public QLineEdit
{
    Q_OBJECT

public:
    // No length limit of its own: a pasted command is sent whole.
    explicit EntryBox(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace vx37
