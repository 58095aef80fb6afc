#include "cursor.h"

#include <QApplication>

namespace gui {

namespace {
Cursor current = Cursor::Default;
}

void setScreenCursor(Cursor cursor)
{
    if (cursor == current)
        return;
    if (current != Cursor::Default)
        QApplication::restoreOverrideCursor();
    current = cursor;
    if (cursor == Cursor::HourGlass)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (cursor == Cursor::HandPoint)
        QApplication::setOverrideCursor(Qt::PointingHandCursor);
}

Cursor screenCursor()
{
    return current;
}

} // namespace gui
